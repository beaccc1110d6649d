#pragma once

#include <QString>

// One named capture of a template: the literal text around it in the
// template and the value taken from a match.
struct NamedField {
    QString name;
    QString prefix;
    QString suffix;
    QString value;
};
