// Throughput of the page-file cutter: PatternSearcher over a poppler-like
// page file, and over a long text without any separator.
#include "search/PatternSearch.h"
#include "search/PatternSearcher.h"

#include <QBuffer>
#include <QByteArray>
#include <benchmark/benchmark.h>

namespace {

const QString kHrTemplate = QStringLiteral("<hr(.|\n)*?>");

QByteArray PageFile(qsizetype bytes)
{
    QByteArray page;
    page += "<a name=1></a><b>Chapter</b><br/>\n";
    for (int line = 0; line < 40; ++line)
        page += "<i>A line of text</i>&#160;with some words on it, caf\xC3\xA9 and more<br/>\n";
    page += "<hr/>\n";
    QByteArray file = "<html><head><title>T</title></head>\n<body bgcolor=\"#A0A0A0\">\n";
    while (file.size() < bytes)
        file += page;
    return file;
}

void Cut(benchmark::State& state, const QByteArray& file)
{
    for (auto _ : state) {
        QBuffer device;
        device.setData(file);
        device.open(QIODevice::ReadOnly);
        PatternSearcher searcher(&device);
        searcher.FindNext(QStringLiteral("<body(.|\n)*?>"));
        int pages = 0;
        for (ScanResult r = searcher.FindNext(kHrTemplate); !r.atEnd; r = searcher.FindNext(kHrTemplate))
            ++pages;
        benchmark::DoNotOptimize(pages);
    }
    state.SetBytesProcessed(state.iterations() * file.size());
}

void BM_CutPageFile20MB(benchmark::State& state)
{
    static const QByteArray file = PageFile(20 * 1024 * 1024);
    Cut(state, file);
}

void BM_CutTextWithoutSeparator10MB(benchmark::State& state)
{
    static const QByteArray file = [] {
        QByteArray f;
        while (f.size() < 10 * 1024 * 1024)
            f += "<b>Line</b> of text &#160; <i>x</i><br/>\n";
        return f;
    }();
    Cut(state, file);
}

void BM_FindAllAnchorsInPage(benchmark::State& state)
{
    QString page;
    for (int i = 0; i < 200; ++i)
        page += QStringLiteral("<a name=%1></a>Some text on the line<br/>").arg(i);
    const SearchPattern anchors{QStringLiteral("<a name=(?<href>.*?)>"), 0x02};
    for (auto _ : state)
        benchmark::DoNotOptimize(FindAll(page, anchors));
    state.SetBytesProcessed(state.iterations() * page.size() * 2);
}

} // namespace

BENCHMARK(BM_CutPageFile20MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CutTextWithoutSeparator10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindAllAnchorsInPage)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
