#pragma once

#include "cli/CliOptions.h"

#include <QString>
#include <QStringList>

#include <mutex>
#include <vector>

class AzwEpubEng;

// One conversion run from the command line: drives the engine through the
// same callback the window uses and shows each book's state, on a terminal
// with a progress bar, otherwise as one line per book.
class ConsoleRun {
public:
    ConsoleRun(AzwEpubEng& engine, const CliOptions& options, bool terminal);
    ~ConsoleRun();
    ConsoleRun(const ConsoleRun&) = delete;
    ConsoleRun& operator=(const ConsoleRun&) = delete;

    // Converts every book; returns the exit status (0 all converted or
    // skipped, 1 a failure or a stop).
    int Run();

private:
    static int Notify(void* self, int kind, int index, int value);
    int OnNotify(int kind, int index, int value);
    void OnJobStatus(int index, int value);
    void ShowFinal(const QString& name, const QString& state, const QString& reason);
    void Print(FILE* stream, const QString& line);
    void DrawBar();
    void ClearBar();

    AzwEpubEng& engine;
    CliOptions options;
    bool terminal;

    std::mutex printLock;      // worker reports and the main thread both print
    std::vector<QString> names;       // per job: the book as the user named it
    std::vector<bool> skipped;        // per job: refused replacement of its target
    int bar = 0;                      // progress-bar position 0..100
    QString barText;                  // the state shown beside the bar
    bool barShown = false;
    int failures = 0;
    int stops = 0;
    int donePipe[2] = {-1, -1};       // the worker's last report wakes the main thread
};
