// The html2pdf launcher: metadata and outline survive, only the book's own
// folder is read, failures end with one clear line.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun Exec(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

QString Html2PdfTool() { return QStringLiteral(TAVISTEL_TOOL_DIR "/html2pdf"); }

void Write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A listening socket on the loopback that counts who knocked.
struct Listener {
    int fd = -1;
    int port = 0;
    Listener()
    {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd, 4);
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    bool Knocked() const { return accept(fd, nullptr, nullptr) >= 0; }
    ~Listener() { close(fd); }
};

} // namespace

TEST(Html2Pdf, KeepsMetadataAndOutlineAndReadsOnlyTheBookFolder)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QDir().mkpath(root + "/book");
    ASSERT_TRUE(picture.save(root + "/book/in.png"));
    ASSERT_TRUE(picture.save(root + "/elsewhere.png"));
    Listener server;
    const QByteArray web = "http://127.0.0.1:" + QByteArray::number(server.port);

    Write(root + "/book/book.html",
          "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>T\xc3\xa4st Book</title>"
          "<meta name=\"author\" content=\"Jane Writer\"><meta name=\"dcterms.created\" content=\"2021-03-04\">"
          "<link rel=\"stylesheet\" href=\"" + web + "/style.css\"></head><body>"
          "<h1>Chapter One</h1><p>Text one.</p><img src=\"in.png\"><img src=\"../elsewhere.png\">"
          "<img src=\"" + root.toUtf8() + "/elsewhere.png\"><img src=\"" + web + "/x.png\">"
          "<h1 style=\"page-break-before:always\">Chapter Two</h1><p>Text two.</p></body></html>");

    const ToolRun run = Exec(Html2PdfTool(), {root + "/book/book.html", root + "/out.pdf"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_FALSE(server.Knocked()) << "the launcher reached the network";

    const ToolRun info = Exec("pdfinfo", {"-isodates", root + "/out.pdf"});
    QMap<QByteArray, QByteArray> fields;
    for (const QByteArray& line : info.out.split('\n'))
        if (const qsizetype colon = line.indexOf(':'); colon > 0)
            fields[line.left(colon)] = line.mid(colon + 1).trimmed();
    EXPECT_EQ(fields["Title"], QByteArray("T\xc3\xa4st Book")) << info.out.constData();
    EXPECT_EQ(fields["Author"], QByteArray("Jane Writer"));
    EXPECT_TRUE(fields["CreationDate"].startsWith("2021-03-04"));

    const ToolRun images = Exec("pdfimages", {"-list", root + "/out.pdf"});
    EXPECT_EQ(images.out.count("\n") - 2, 1) << "only the picture of the book's folder:\n" << images.out.constData();

    const ToolRun html = Exec("pdftohtml", {"-q", "-stdout", "-i", root + "/out.pdf"});
    EXPECT_TRUE(html.out.contains(">Chapter One</a>")) << html.out.constData();
    EXPECT_TRUE(html.out.contains(">Chapter Two</a>"));
}

TEST(Html2Pdf, FailsWithOneLine)
{
    QTemporaryDir dir;
    Write(dir.path() + "/a.html", "<html><body>x</body></html>");
    const struct {
        QStringList args;
        int code;
        const char* says;
    } cases[] = {
        {{dir.path() + "/missing.html", dir.path() + "/a.pdf"}, 1, "cannot read"},
        {{dir.path() + "/a.html", dir.path() + "/no/such/folder/a.pdf"}, 1, "cannot write"},
        {{dir.path() + "/a.html"}, 2, "usage"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Exec(Html2PdfTool(), c.args);
        EXPECT_EQ(run.exitCode, c.code) << c.says;
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.constData();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.constData();
    }
}
