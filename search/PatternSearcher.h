#pragma once

#include "search/Regex.h"
#include "search/RegexMatchContext.h"
#include "search/ScanResult.h"

#include <QByteArray>
#include <QString>

class QIODevice;

// Walks through a UTF-8 file in chunks of 8192 bytes and hands out, one call
// at a time, the text between successive matches of a template (searched
// ignoring case). Text already handed out is dropped at the next read.
class PatternSearcher {
public:
    // The stream is opened for reading by the creator, who also owns it; the
    // searcher closes it when destroyed. A null or unreadable stream reads as
    // an empty file.
    explicit PatternSearcher(QIODevice* stream);
    virtual ~PatternSearcher();

    PatternSearcher(const PatternSearcher&) = delete;
    PatternSearcher& operator=(const PatternSearcher&) = delete;

    // The next match after the consumed position. With no further match the
    // result holds the rest of the file, atEnd is set, and every later call
    // returns the same.
    ScanResult FindNext(const QString& templ);

    QIODevice* stream = nullptr;
    QString buffer;
    int consumed = 0;
    int chunkSize = 8192;

private:
    void ReadChunk();
    bool StreamAtEnd() const;
    bool SearchBuffer(int* start, int* end);

    QByteArray carry;   // bytes cut off the last chunk, to begin the next one
    bool streamDone = false;

    // The compiled template, kept while the same template is searched.
    QString compiledTemplate;
    bool compiled = false;
    Regex regex;
    RegexMatchContext context;
    // Where a search of the same buffer tail may resume: attempts that start
    // before it failed without looking at the end of the buffer, so more
    // text cannot change them. -1 when unknown.
    int resumeFrom = -1;
    // After a match ran out of its work budget: the length the unconsumed text
    // must reach before the next try (0: search at every chunk).
    int retryLength = 0;
};
