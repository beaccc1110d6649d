#pragma once

#include <QString>

// Repairs a fragment of HTML tag soup (one page of the page file) into
// well-formed XHTML body content: tags nested and closed, attribute values
// quoted, bare "&" escaped, named entities written as numbers. Fragments that
// are already well-formed XML come back unchanged.
QString RepairXhtml(const QString& fragment);

// True when the fragment parses as XML content (inside one element).
bool IsWellFormedFragment(const QString& fragment);
