#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Reads a whole file as single-byte text (ISO-8859-1: every byte one
// character, so a read-then-write round trip loses nothing). The text ends at
// the first zero byte. A file that cannot be opened reads as empty text.
QString ReadTextFile(const QString& path);

// Strict UTF-8 <-> UTF-16 conversions: input that is not valid gives no value
// instead of replacement characters.
std::optional<QString> Utf8ToWide(const QByteArray& bytes);
std::optional<QByteArray> WideToUtf8(const QString& text);
