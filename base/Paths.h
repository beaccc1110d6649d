#pragma once

#include <QString>
#include <QStringList>

// Path helpers shared by the engine and the pipeline.
//
// Splitting functions accept "/" and, in paths written the Windows way, "\":
// a path that holds any "/" is a POSIX path and its "\" is an ordinary
// file-name character (a book may well be called `back\slash.azw`). Joined
// paths are always written with "/". A separator at index 0 is the root.

// Linux limits: a whole path (in its UTF-8 bytes) and one name in it.
constexpr int kPathMaxBytes = 4096;
constexpr int kNameMaxBytes = 255;

// True when the path's UTF-8 form is shorter than PATH_MAX and no name in it
// is longer than NAME_MAX; the empty path does not fit.
bool PathFits(const QString& path);

// The folder of the tools: "core/" beside the executable, ending in "/".
// SetToolFolder replaces it (tests and front ends with their own layout);
// an empty folder restores the default.
QString ToolFolder();
void SetToolFolder(const QString& folder);
QString ToolPath(const QString& toolName);

// The working folder for intermediate files: $XDG_CACHE_HOME/Corvid, or
// ~/.cache/Corvid. Not created here.
QString WorkingFolder();

// Creates the working folder (with its parents) and returns
// "<working folder>/<prefix><tick>", tick being the milliseconds of a
// monotonic clock as a signed 32-bit number. Two calls in one process never
// give the same name. Empty when the name would not fit (PathFits).
QString MakeTempPath(const QString& prefix);

// Text before the last separator, searched from the second-last character
// backwards; "/" for a path directly under the root; empty when there is none.
QString ParentFolder(const QString& path);

// Text after the last separator; the whole path when it has none.
QString FileNameOf(const QString& path);

// The path itself when it names an existing folder, else its ParentFolder.
QString FolderOfPath(const QString& path);

// Cuts the extension after the last "." of the file name and appends
// "." + extension. An extension already equal to the new one (ASCII letters
// compared without case) is kept as it is; an empty extension only cuts.
QString ReplaceExtension(const QString& path, const QString& extension);

// True when the path names an entry of any kind (a dangling link counts).
bool FileExists(const QString& path);

// Deletes a folder with everything in it. A symbolic link is never followed.
// Returns 0 when the folder was removed, 1 when the path is not a folder (or
// missing) and nothing was done, 2 when some of it could not be removed.
int RemoveFolderTree(const QString& folder);

// One command-line word that sh takes literally: single-quoted, "'" written
// as '\''.
QString ShellQuote(const QString& word);

// A file argument that no tool can mistake for an option: "./" before a
// relative path that starts with "-".
QString DashSafePath(const QString& path);

// The tool and its arguments, each quoted with ShellQuote, separated by
// single blanks.
QString BuildToolCommand(const QString& toolPath, const QStringList& arguments);
QString BuildToolCommand(const QString& toolPath, const QStringList& options,
                         const QString& input, const QString& output);
