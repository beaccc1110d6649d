#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class MetaData;

// Placeholder ("##Title##", "##Author##", "##Date##", "##UUID##", "##Cover##",
// "##Language##") to its value, for one book.
using SubstitutionTable = QMap<QString, QString>;

// "Template" in the tool folder: the six fixed files of every book.
QString TemplateFolder();
QString TemplatePath(const QString& fileName);

// base + "/" + relative; a "../" (or "..\") in relative climbs one level from
// base, dropping whatever stands before it: ("/w/OEBPS", "../mimetype") gives
// "/w/mimetype".
QString JoinPath(const QString& base, const QString& relative);

// Copies the template files into the book tree around the content folder:
// META-INF/container.xml and mimetype beside it, the style sheets, the title
// page and the package document into it. Failed copies are skipped.
void CopyTemplateFiles(const QString& contentFolder);

// The book's table: author, title and date as the main document gives them
// (character references kept, they go into HTML), and "##UUID##" = the book
// identifier ("urn:uuid:..."), which the navigation document must share;
// "##Language##" = the book's language tag, "en" when it has none.
SubstitutionTable BuildSubstitutions(const MetaData& metadata, const QString& identifier);
SubstitutionTable BuildSubstitutions(const MetaData& metadata);

// Full paths of the files in the folder whose name contains the text.
QStringList FindFilesContaining(const QString& folder, const QString& text);

// Sets "##Cover##": the first page's first picture (a file named "*-1_1.*")
// when there is exactly one, else a title block with title and author.
void PrepareCover(const QString& contentFolder, SubstitutionTable& table);

// Writes titlepage.html into the content folder from the template with every
// placeholder replaced, as UTF-8. False (the copied template stays) when the
// template cannot be read or the file cannot be written.
bool WriteTitlePage(const SubstitutionTable& table, const QString& contentFolder);

// Replaces every placeholder of the table in one pass: a value that itself
// holds placeholder text is not replaced again.
QString ReplacePlaceholders(const QString& text, const SubstitutionTable& table);
