// Slow (seconds): packs hand-assembled books and runs the reference validator.
#include "PackageFixture.h"

#include "epub/BookIdentifier.h"
#include "epub/MetaData.h"
#include "epub/TemplateFiles.h"

#include <QProcess>
#include <QStandardPaths>

namespace {

const QString kEpubCheck = QStringLiteral("/usr/share/java/epubcheck.jar");

QByteArray Part(const QByteArray& body)
{
    // The part files' own header and footer.
    return "<html  xmlns=\"http://www.w3.org/1999/xhtml\">\r\n<head><meta http-equiv=\"Content-Type\" "
           "content=\"text/html;charset=UTF-8\"/><title></title><link href=\"stylesheet.css\" "
           "type=\"text/css\" rel=\"stylesheet\"/>\n</head><body>\n<div>" +
           body + "</div>\n</body></html>\r\n";
}

QByteArray Ncx(const QString& identifier, const QByteArray& title, int parts)
{
    QByteArray ncx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\">\n<head>\n"
                     "<meta name=\"dtb:uid\" content=\"" + identifier.toUtf8() + "\"/>\n"
                     "<meta name=\"dtb:depth\" content=\"1\"/>\n<meta name=\"dtb:totalPageCount\" content=\"0\"/>\n"
                     "<meta name=\"dtb:maxPageNumber\" content=\"0\"/>\n</head>\n"
                     "<docTitle><text>" + title + "</text></docTitle>\n<navMap>\n";
    for (int i = 0; i < parts; ++i) {
        const QByteArray n = QByteArray::number(i);
        ncx += "<navPoint id=\"np" + n + "\" playOrder=\"" + QByteArray::number(i + 1) + "\"><navLabel><text>Chapter " +
               n + "</text></navLabel><content src=\"part" + n + ".html#p" + n + "\"/></navPoint>\n";
    }
    return ncx + "</navMap>\n</ncx>\n";
}

class EpubCheckSlowTest : public PackageFixture {
protected:
    void SetUp() override
    {
        PackageFixture::SetUp();
        if (QStandardPaths::findExecutable("java").isEmpty() || !QFile::exists(kEpubCheck))
            GTEST_SKIP() << "java or epubcheck missing";
        if (QStandardPaths::findExecutable("zip").isEmpty())
            GTEST_SKIP() << "zip missing";
    }

    // Packages the content folder as the pipeline does and returns the
    // validator's report; empty when it found nothing to complain about.
    QString PackAndCheck(const QString& stem)
    {
        const QString identifier = MakeBookIdentifier();
        MetaData meta;
        meta.Extract(contentFolder + "/" + stem + ".html");
        Write("oebps.ncx", Ncx(identifier, DecodeTitle(meta), 3));
        SubstitutionTable table = BuildSubstitutions(meta, identifier);
        PrepareCover(contentFolder, table);
        QStringList notices;
        TemplateFiles files([&](const QString& text) { notices << text; });
        files.Install(table, contentFolder, stem);
        EXPECT_TRUE(WriteOpfMetadata(table, meta, contentFolder));
        EXPECT_TRUE(notices.isEmpty());

        const QString epub = tmp.filePath("book.epub");
        // mimetype first and stored, then the rest.
        EXPECT_EQ(Run("zip", {"-X0", epub, "mimetype"}), 0);
        EXPECT_EQ(Run("zip", {"-Xr9D", epub, "META-INF", "OEBPS"}), 0);
        QString report;
        const int code = Run("java", {"-jar", kEpubCheck, epub}, &report);
        const bool clean = code == 0 && !report.contains("ERROR") && !report.contains("FATAL");
        return clean ? QString() : report;
    }

    // The raw title keeps its references, which XML text takes as they are.
    static QByteArray DecodeTitle(const MetaData& meta) { return meta.title.toUtf8(); }

    int Run(const QString& program, const QStringList& args, QString* output = nullptr)
    {
        QProcess process;
        process.setWorkingDirectory(bookFolder);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, args);
        if (!process.waitForFinished(120000))
            return -1;
        if (output)
            *output = QString::fromUtf8(process.readAll());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    void WriteParts()
    {
        Write("part0.html", Part("<a id=\"p0\"></a><h1>Chapter 0</h1><p>Caf\xc3\xa9 &amp; more</p>\n"));
        Write("part1.html", Part("<a id=\"p1\"></a><p>A picture:</p><img src=\"book-2_1.png\" alt=\"\"/>\n"));
        Write("part2.html", Part("<a id=\"p2\"></a><p>The end.</p>\n"));
    }
};

TEST_F(EpubCheckSlowTest, BookWithCoverPictureAndFullMetadataPasses)
{
    Write("book.html", DataFile("maindoc/book.html"));
    Write("books.html", "<html>pages</html>");
    Write("book_ind.html", "<html>index</html>");
    Write("book-1_1.jpg", DataFile("maindoc/book-1_1.jpg"));
    Write("book-2_1.png", DataFile("maindoc/book-2_1.png"));
    WriteParts();
    const QString report = PackAndCheck("book");
    EXPECT_TRUE(report.isEmpty()) << report.toStdString();
}

TEST_F(EpubCheckSlowTest, BookWithTitleBlockAndNoAuthorOrDatePasses)
{
    Write("My Book.html", DataFile("maindoc/bare.html"));
    Write("My Books.html", "<html>pages</html>");
    Write("book-2_1.png", DataFile("maindoc/book-2_1.png"));
    WriteParts();
    const QString report = PackAndCheck("My Book");
    EXPECT_TRUE(report.isEmpty()) << report.toStdString();
}

} // namespace
