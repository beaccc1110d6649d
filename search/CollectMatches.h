#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Compiles `expression` and scans `text` for its matches. `texts` is emptied
// and receives each distinct matched text (a repeat of an earlier text is
// skipped); `positions` and `lengths` are appended to. With `firstOnly` the
// scan stops at the first match. False only when nothing could be searched:
// an empty expression or text, or an expression that does not compile.
bool CollectMatches(const QString& expression, const QString& text, bool firstOnly,
                    bool caseSensitive, QStringList& texts, QList<int>& positions,
                    QList<int>& lengths);
