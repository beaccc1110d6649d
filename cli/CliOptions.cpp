#include "cli/CliOptions.h"

QString CliOptions::Usage()
{
    return QStringLiteral(
        "usage: tavistel-convert [--output-dir DIR | --beside-source] [--overwrite | --skip-existing]\n"
        "                        [--timings] BOOK.azw...\n"
        "Converts Kindle AZW books to EPUB. Each EPUB is written beside its book unless\n"
        "--output-dir is given. An existing EPUB is kept (--skip-existing) unless\n"
        "--overwrite is given. --timings writes \"timing <stage> <seconds>\" lines to stderr.\n"
        "Exit status: 0 every book converted or skipped, 1 a book failed or the run was\n"
        "stopped, 2 usage error.\n");
}

std::optional<CliOptions> CliOptions::Parse(const QStringList& arguments, QString& error)
{
    CliOptions options;
    bool besideSource = false;
    bool overwrite = false;
    bool skip = false;
    bool onlyBooks = false;
    error.clear();
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (onlyBooks || !arg.startsWith(QLatin1String("--"))) {
            options.books.append(arg);
        } else if (arg == QLatin1String("--")) {
            onlyBooks = true;
        } else if (arg == QLatin1String("--help")) {
            return std::nullopt;
        } else if (arg == QLatin1String("--output-dir") || arg.startsWith(QLatin1String("--output-dir="))) {
            if (arg.contains(QLatin1Char('='))) {
                options.outputDir = arg.section(QLatin1Char('='), 1);
            } else if (i + 1 < arguments.size()) {
                options.outputDir = arguments.at(++i);
            } else {
                error = QStringLiteral("--output-dir needs a folder");
                return std::nullopt;
            }
            if (options.outputDir.isEmpty()) {
                error = QStringLiteral("--output-dir needs a folder");
                return std::nullopt;
            }
        } else if (arg == QLatin1String("--beside-source")) {
            besideSource = true;
        } else if (arg == QLatin1String("--overwrite")) {
            overwrite = true;
        } else if (arg == QLatin1String("--skip-existing")) {
            skip = true;
        } else if (arg == QLatin1String("--timings")) {
            options.timings = true;
        } else {
            error = QStringLiteral("unknown option %1").arg(arg);
            return std::nullopt;
        }
    }
    if (besideSource && !options.outputDir.isEmpty()) {
        error = QStringLiteral("--output-dir and --beside-source exclude each other");
        return std::nullopt;
    }
    if (overwrite && skip) {
        error = QStringLiteral("--overwrite and --skip-existing exclude each other");
        return std::nullopt;
    }
    if (options.books.isEmpty()) {
        error = QStringLiteral("no book given");
        return std::nullopt;
    }
    options.existing = overwrite ? Existing::Overwrite : Existing::Skip;
    return options;
}
