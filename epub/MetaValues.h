#pragma once

#include <QDate>
#include <QString>

// Turning the raw values of the main document into the text the package and
// navigation documents hold.

// Decodes character and entity references ("Tom &amp; Jerry" -> "Tom & Jerry",
// "&#233;", "&#xE9;", and the common named entities). A reference that is not
// known or not terminated stays as written.
QString DecodeHtmlEntities(const QString& text);

// The date as W3CDTF (YYYY, YYYY-MM or YYYY-MM-DD) taken from what the document
// gives: "2011-03-04T00:00:00+00:00", "D:20110304120000Z", "2011", ... Empty
// when no plausible year leads the text.
QString ToW3cDate(const QString& raw);

// The date for the package document: ToW3cDate of the raw value, or the given
// conversion day when the book has none.
QString PackageDate(const QString& raw, const QDate& conversionDay = QDate::currentDate());

// The book's language as a well-formed BCP 47 tag ("ja", "en-US", "zh-Hant";
// "_" read as "-"), or empty when the text is none.
QString LanguageTag(const QString& raw);

// The language for the package document and the pages: LanguageTag of the
// raw value, or "en" when the book names none.
QString PackageLanguage(const QString& raw);

// The lang (or xml:lang) attribute of a document's <html> element, as
// written; empty when there is none.
QString DocumentLanguage(const QString& html);
