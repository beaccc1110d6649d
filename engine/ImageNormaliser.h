#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The HTML-to-PDF step gets JPEG copies of the book's GIF pictures: every
// src="…gif" reference of the HTML is pointed at a "__<name>.jpg" copy beside
// the GIF, and the rewritten HTML is written as "new_<name>" beside the input.

// Rewrites the references of htmlPath into ParentFolder + "/new_" + file name
// and converts the pictures. Returns the path of the copy, or an empty string
// when the HTML cannot be read or the copy cannot be written completely.
QString NormaliseImages(const QString& htmlPath);

// Rewrites every src="…" GIF reference of the buffer that names a file inside
// the HTML's folder and appends each rewritten value, as the HTML spelled it,
// to the list (duplicates kept).
void RewriteImageRefs(QByteArray& html, QList<QByteArray>& list);

// images/pic01.gif -> images/__pic01.gif, pic01.gif -> __pic01.gif,
// img\a.gif -> img/__a.gif. UTF-8 in and out; a value that is not valid
// UTF-8 comes back unchanged.
QByteArray NewImageRef(const QByteArray& value);

// Saves each listed GIF (resolved against folder) as its JPEG copy, painted
// onto white so transparent areas do not turn black. A picture that cannot
// be read or written is skipped.
void ConvertImages(const QString& folder, const QList<QByteArray>& list);
