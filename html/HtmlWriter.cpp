#include "html/HtmlWriter.h"

const QString HtmlWriter::kPartHeader = QStringLiteral(
    "<html  xmlns=\"http://www.w3.org/1999/xhtml\">\r\n"
    "<head><meta http-equiv=\"Content-Type\" content=\"text/html;charset=UTF-8\"/><title></title>"
    "<link href=\"stylesheet.css\" type=\"text/css\" rel=\"stylesheet\"/>\n</head><body>\n");
const QString HtmlWriter::kPartFooter = QStringLiteral("</body>\n</html>\n");

HtmlWriter::HtmlWriter(QString partFolder, QString partHeader, QString partFooter, int partLimit)
    : partFolder(std::move(partFolder))
    , partHeader(std::move(partHeader))
    , partFooter(std::move(partFooter))
    , partLimit(partLimit)
{
    StartPart();
}

// An open part is left as it is: the splitter finishes its parts itself.
HtmlWriter::~HtmlWriter() = default;

QString HtmlWriter::PartPath()
{
    partName = QStringLiteral("part%1.html").arg(partCount);
    ++partCount;
    return partFolder + u'/' + partName;
}

QFile* HtmlWriter::StartPart()
{
    if (file)
        FinishPart();
    file = std::make_unique<QFile>(PartPath());
    // A part that cannot be created stays unopened: its texts are lost but
    // still counted, and the split goes on with the next part.
    file->open(QIODevice::ReadWrite | QIODevice::Truncate);
    partBytes = WriteTranslated(partHeader);
    return file.get();
}

void HtmlWriter::Write(const QString& text)
{
    partBytes += WriteTranslated(text);
}

void HtmlWriter::FinishPart()
{
    if (!file || !file->isOpen())
        return;
    WriteTranslated(partFooter);
    file->close();
}

int HtmlWriter::WriteTranslated(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    if (file && file->isOpen()) {
        QByteArray stored;
        stored.reserve(utf8.size() + utf8.count('\n'));
        for (char c : utf8) {
            if (c == '\n')
                stored.append('\r');
            stored.append(c);
        }
        file->write(stored);
    }
    return int(utf8.size());
}
