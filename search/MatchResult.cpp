#include "search/MatchResult.h"

QString MatchResult::Value(const QString& name) const
{
    for (const NamedField& field : fields) {
        if (field.name == name)
            return field.value;
    }
    return {};
}
