#pragma once

#include <QString>
#include <QStringList>

// Plain text helpers that clean one page (segment) of the page file.

// Deletes every line feed, then every carriage return.
QString RemoveLineFeeds(QString text);

// Gives every <img> tag an empty alt text and closes it as an empty element
// (" alt=\"\" " before a closing "/>", or " alt=\"\" /" before ">"). Only the
// tag itself is touched; a tag that already has an alt text is left alone.
QString AddImageAlt(QString text);

// Splits at `delimiter`. An occurrence that starts right where the previous
// one ended is not a cut and stays inside a piece. A text that begins with
// the delimiter gives an empty first piece; a text without it gives no pieces.
QStringList SplitText(const QString& text, const QString& delimiter);

// Makes the segment end in "<br/>": each "<br/>"-separated piece is followed
// by one "<br/>". A segment without any "<br/>" (a blank page, a page with a
// lone anchor) gains one at its end.
QString EnsureTrailingBreak(const QString& text);

// True when more than half of the title's UTF-16 units are text: letters and
// marks of any script, the space and . ; , : - ? ! ( ) [ ] " '.
bool IsTextTitle(const QString& title);

// Turns an outline title into a plain navigation label: tags dropped,
// character references decoded, white space (no-break space included)
// collapsed.
QString PlainLabel(const QString& title);

// Anchor names become ids with a letter in front, since an XML id may not
// start with a digit: "5" -> "p5"; characters that may not stand in an id
// become "_".
QString AnchorId(const QString& name);
