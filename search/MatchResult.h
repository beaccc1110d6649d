#pragma once

#include "search/NamedField.h"

#include <QList>
#include <QString>

// One match of a template; a result that was not found is all empty.
struct MatchResult {
    bool found = false;
    int position = 0;   // UTF-16 code units from the start of the searched text
    int length = 0;
    QString text;       // in the letter case of the searched text
    QList<NamedField> fields;

    // Value of the first field with exactly this name; empty when none.
    QString Value(const QString& name) const;
};
