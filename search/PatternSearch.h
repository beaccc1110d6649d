#pragma once

#include "search/MatchResult.h"
#include "search/NamedField.h"
#include "search/SearchPattern.h"

#include <QList>
#include <QString>

// Every named capture "(?<name>.*?)" becomes "(.|\n)*?".
QString TemplateToRegex(const QString& templ);

// First match at or after `offset` (a code-unit index into text); the
// result's position counts from the start of text (without line feeds when
// PatternDropLineFeeds is set).
MatchResult FindFirst(const QString& text, const SearchPattern& pattern, int offset = 0);

// All distinct matches in text order; a match repeating an earlier text
// (under the search's case rule) is skipped.
QList<MatchResult> FindAll(const QString& text, const SearchPattern& pattern);

// The named captures of a template, in template order, values empty.
QList<NamedField> ParseNamedFields(const QString& templ);

// Fills each field's value from the matched text, between the first match
// of its prefix and the first match of its suffix.
void ExtractFieldValues(QList<NamedField>& fields, const QString& matched);

// Removes the first ".*?", then the first "(.|\n)*?".
QString StripWildcard(QString text);
