// Splits generated page files shaped like poppler's pdftohtml output:
//   BM_SplitPopplerBook: 20 MB, 3,000 pages and an outline;
//   BM_SplitNoSeparator: 10 MB without a single "<hr" (one endless page).
// Reports MB/s (bytes_per_second) and the process's peak resident memory.
#include "base/ConversionOptions.h"
#include "html/HtmlSplitter.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

double PeakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

// One page: the anchor, a bold title, lines of text with no-break spaces,
// now and then a picture and internal links, as pdftohtml writes them.
QByteArray Page(int n, int pages, int bytes)
{
    QByteArray page = "<a name=" + QByteArray::number(n) + "></a>";
    if (n % 10 == 1)
        page += "<img src=\"books-" + QByteArray::number(n) + "_1.jpg\"/><br/>\n";
    page += "<b>Chapter&#160;" + QByteArray::number(n) + "</b><br/>\n";
    int line = 0;
    while (page.size() < bytes) {
        if (++line % 7 == 0)
            page += "See&#160;<a href=\"books.html#" + QByteArray::number((n * 7 + line) % pages + 1)
                  + "\">page&#160;" + QByteArray::number(line) + "</a>.<br/>\n";
        page += "The&#160;quick brown fox jumps over the&#160;lazy dog, caf\xC3\xA9 cr\xC3\xA8me &amp; more<br/>\n";
    }
    return page;
}

QString WritePopplerBook(const QString& folder, qint64 size, int pages)
{
    const QString path = folder + "/books.html";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("<!DOCTYPE html><html>\n<head>\n<title></title>\n</head>\n<body>\n");
    const int pageBytes = int(size / pages);
    for (int n = 1; n <= pages; ++n)
        file.write(Page(n, pages, pageBytes) + "<hr/>\n");
    file.write("<a name=\"outline\"></a><h1>Document Outline</h1>\n<ul>\n");
    for (int n = 1; n <= pages; n += 10)
        file.write("<li><a href=\"books.html#" + QByteArray::number(n) + "\">Chapter " + QByteArray::number(n)
                   + "</a></li>\n");
    file.write("</ul>\n<hr/>\n</body>\n</html>\n");
    return path;
}

QString WriteWithoutSeparator(const QString& folder, qint64 size)
{
    const QString path = folder + "/nohr.html";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("<html><body>\n");
    const QByteArray line = "The&#160;quick brown fox jumps over the&#160;lazy dog<br/>\n";
    for (qint64 written = 0; written < size; written += line.size())
        file.write(line);
    return path;
}

void RunSplit(benchmark::State& state, const QString& path)
{
    if (path.isEmpty()) {
        state.SkipWithError("cannot write the page file");
        return;
    }
    const qint64 bytes = QFileInfo(path).size();
    for (auto _ : state) {
        ConversionOptions options("book.azw", "book.epub");
        options.htmlPath = path;
        HtmlSplitter splitter;
        splitter.SetBookInfo("Title", "Author", "urn:uuid:1b4e28ba-2fa1-11d2-883f-0016d3cca427");
        splitter.Split(options);
        benchmark::DoNotOptimize(splitter.PartCount());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["MB"] = double(bytes) / 1e6;
    state.counters["peak_rss_MB"] = PeakRssMb();
}

QTemporaryDir& Folder()
{
    static QTemporaryDir dir;
    return dir;
}

void BM_SplitPopplerBook(benchmark::State& state)
{
    static const QString path = WritePopplerBook(Folder().path(), 20 * 1000 * 1000, 3000);
    RunSplit(state, path);
}

void BM_SplitNoSeparator(benchmark::State& state)
{
    static const QString path = [] {
        QDir().mkpath(Folder().filePath("nohr"));
        return WriteWithoutSeparator(Folder().filePath("nohr"), 10 * 1000 * 1000);
    }();
    RunSplit(state, path);
}

} // namespace

BENCHMARK(BM_SplitPopplerBook)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SplitNoSeparator)->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
