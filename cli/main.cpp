// tavistel-convert: converts Kindle AZW books to EPUB from the command line,
// with the same engine as the window.
#include "cli/CliOptions.h"
#include "cli/ConsoleRun.h"
#include "engine/AzwEpubEng.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // A closed output pipe ends the printing, not the run.
    std::signal(SIGPIPE, SIG_IGN);

    QString error;
    const std::optional<CliOptions> options = CliOptions::Parse(app.arguments().mid(1), error);
    if (!options) {
        if (error.isEmpty()) {
            std::fputs(CliOptions::Usage().toLocal8Bit().constData(), stdout);
            return 0;
        }
        std::fprintf(stderr, "tavistel-convert: %s\n%s", error.toLocal8Bit().constData(),
                     CliOptions::Usage().toLocal8Bit().constData());
        return 2;
    }

    AzwEpubEng engine;
    ConsoleRun run(engine, *options, isatty(STDOUT_FILENO) == 1);
    return run.Run();
}
