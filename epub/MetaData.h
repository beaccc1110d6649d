#pragma once

#include <QString>

// Title, author and date of one book, read from the head of the main document
// the PDF-to-HTML tool writes. The values are kept exactly as they stand in
// the HTML (character references included); a value not found is empty.
class MetaData {
public:
    MetaData() = default;
    virtual ~MetaData() = default;

    // Reads the main document and fills the three values.
    void Extract(QString path);
    // Fills the three values from the document text.
    void Parse(const QString& text);

    QString title;
    QString author;
    QString date;
    // The book's language as the converted HTML names it (the main document
    // does not carry it); Extract leaves it alone.
    QString language;

private:
    static QString FindTagText(const QString& text, const QString& name);
    static QString FindMetaContent(const QString& text, const QString& name);
};
