#pragma once

#include "TextEncoding.h"

#include <QString>

#include <memory>

// Reads a text file line by line. A line ends at CR LF or at a lone CR; a
// lone LF is an ordinary character; the last line needs no line end; a line
// end right before the end of the file starts no further line. The encoding
// is decided once for the whole file (see TextEncoding).
class LineReader
{
public:
    virtual ~LineReader() = default;
    // Puts the next line, without its line end, into line and returns true;
    // returns false at the end of the file. Throws FileFailure on a read error.
    virtual bool Next(QString &line) = 0;
};

// Folders, files and whole-file text I/O, each given a full path. Every
// operation that cannot do its work throws FileFailure with a message that
// names the path and the reason.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    virtual bool FolderExists(const QString &path) = 0;
    virtual void CreateFolder(const QString &path) = 0;
    virtual bool FileExists(const QString &path) = 0;
    // Creates an empty file, replacing an existing one.
    virtual void CreateTextFile(const QString &path) = 0;
    virtual void CopyFile(const QString &from, const QString &to) = 0;

    virtual std::unique_ptr<LineReader> OpenLines(const QString &path) = 0;
    virtual TextContent ReadWhole(const QString &path) = 0;
    // Replaces the file's content with exactly text (no line end is added),
    // atomically: a crash leaves either the old or the new content. Text that
    // the encoding cannot hold is written as UTF-8 instead, so nothing is lost.
    virtual void WriteWhole(const QString &path, const QString &text, TextEncoding encoding) = 0;
    // A token that changes whenever the file is replaced or written: equal
    // tokens mean the content read before is still there. "" when the file
    // cannot be looked at.
    virtual QString Version(const QString &path) = 0;
};
