#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What the command line asks for.
struct CliOptions {
    enum class Existing { Skip, Overwrite };

    QString outputDir;              // empty: beside each source
    Existing existing = Existing::Skip;
    bool timings = false;
    QStringList books;

    // Parses the arguments after the program name. On a usage error gives
    // nothing and puts the message into `error`; `--help` gives nothing with
    // an empty error.
    static std::optional<CliOptions> Parse(const QStringList& arguments, QString& error);
    static QString Usage();
};
