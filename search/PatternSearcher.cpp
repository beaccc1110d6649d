#include "search/PatternSearcher.h"

#include "base/TextCodec.h"
#include "search/PatternSearch.h"
#include "search/SearchPattern.h"

#include <QIODevice>

PatternSearcher::PatternSearcher(QIODevice* source)
    : stream(source)
{
}

PatternSearcher::~PatternSearcher()
{
    if (stream)
        stream->close();
}

bool PatternSearcher::StreamAtEnd() const
{
    return streamDone && carry.isEmpty();
}

void PatternSearcher::ReadChunk()
{
    QByteArray chunk = carry;
    carry.clear();
    if (!streamDone) {
        const qsizetype wanted = chunkSize - chunk.size();
        QByteArray read;
        if (stream && stream->isReadable() && wanted > 0)
            read = stream->read(wanted);
        chunk += read;
        if (!stream || !stream->isReadable() || read.size() < wanted || stream->atEnd())
            streamDone = true;
    }

    if (!streamDone) {
        // Cut after the last ASCII byte so that no UTF-8 sequence is split
        // between chunks; the cut-off bytes begin the next chunk.
        qsizetype cut = -1;
        for (qsizetype k = chunk.size() - 1; k >= 0; --k) {
            if (static_cast<unsigned char>(chunk[k]) < 0x80) {
                cut = k + 1;
                break;
            }
        }
        if (cut < 0) {
            // No ASCII byte at all: cut before an incomplete last sequence
            // instead of decoding half a character.
            qsizetype lead = chunk.size() - 1;
            while (lead > 0 && lead >= chunk.size() - 4
                   && (static_cast<unsigned char>(chunk[lead]) & 0xC0) == 0x80)
                --lead;
            const unsigned char b = static_cast<unsigned char>(chunk[lead]);
            const int need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
            if (lead > 0 && lead + need > chunk.size())
                cut = lead;
        }
        if (cut > 0 && cut < chunk.size()) {
            carry = chunk.mid(cut);
            chunk.truncate(cut);
        }
    }

    const qsizetype zero = chunk.indexOf('\0');
    if (zero >= 0)
        chunk.truncate(zero);
    const std::optional<QString> strict = Utf8ToWide(chunk);
    const QString decoded = strict ? *strict : QString::fromUtf8(chunk);

    if (consumed > 0) {
        buffer.remove(0, consumed);
        if (resumeFrom >= 0)
            resumeFrom = std::max(0, resumeFrom - consumed);
        consumed = 0;
    }
    buffer += decoded;
}

bool PatternSearcher::SearchBuffer(int* start, int* end)
{
    if (!compiled)
        return false;
    const int length = int(buffer.size());
    if (consumed >= length)
        return false;
    if (length - consumed < retryLength && !StreamAtEnd())
        return false;
    // An anchored template only ever tries the consumed position.
    int from = consumed;
    if (!regex.IsAnchored() && resumeFrom > consumed)
        from = resumeFrom;
    if (from >= length) {
        return false;
    }
    // Match against the text from `consumed` on, as if it began there.
    const QStringView text = QStringView(buffer).mid(consumed);
    int matchEnd = 0;
    if (regex.Match(text, from - consumed, context, &matchEnd)) {
        *start = context.matchStart + consumed;
        *end = matchEnd + consumed;
        resumeFrom = -1;
        retryLength = 0;
        return true;
    }
    if (context.overflow) {
        // Runaway backtracking (a failing "(.|\n)*?" over many line feeds):
        // try again only once the text has doubled, so the wasted work stays
        // proportional to the file. Attempts before `from` stay settled.
        retryLength = 2 * (length - consumed);
        resumeFrom = from;
        return false;
    }
    retryLength = 0;
    resumeFrom = context.firstOpenStart >= 0 ? context.firstOpenStart + consumed : length;
    return false;
}

ScanResult PatternSearcher::FindNext(const QString& templ)
{
    if (!compiled || templ != compiledTemplate) {
        compiledTemplate = templ;
        const QString expression = TemplateToRegex(templ);
        compiled = !expression.isEmpty() && regex.Parse(expression, false) == ErrNone;
        resumeFrom = -1;
        retryLength = 0;
    }

    if (buffer.isEmpty())
        ReadChunk();
    for (;;) {
        int start = 0;
        int end = 0;
        if (SearchBuffer(&start, &end)) {
            ScanResult result;
            result.before = buffer.mid(consumed, start - consumed);
            result.matched = buffer.mid(start, end - start);
            consumed = end;
            return result;
        }
        if (StreamAtEnd()) {
            ScanResult result;
            result.before = buffer.mid(consumed);
            result.atEnd = true;
            return result;
        }
        ReadChunk();
    }
}
