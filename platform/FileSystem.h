#pragma once

#include "TextEncoding.h"

#include <QString>

#include <memory>

// Reads a text file line by line. A line ends at CR LF or at a lone CR; a
// lone LF is an ordinary character; the last line needs no line end; a line
// end right before the end of the file starts no further line. The encoding
// is decided once for the whole file (see TextEncoding); a leading mark is
// part of no line.
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

    virtual std::unique_ptr<LineReader> OpenLines(const QString &path) = 0;
    // The text without the leading mark, if any; the encoding remembers it.
    virtual TextContent ReadWhole(const QString &path) = 0;
    // Replaces the file's content with the encoding's mark, if any, and
    // exactly text (no line end is added), atomically: a crash leaves either
    // the old or the new content. The file keeps the encoding given: a
    // character it cannot hold is written as '?', so a text read from the
    // file and written back with something added changes no byte but those
    // added. The run log relies on that. The editors write what an operator
    // typed, which must not be lost: they pass TextCodec::Holding's encoding,
    // which turns the whole file into UTF-8 when it must.
    virtual void WriteWhole(const QString &path, const QString &text, TextEncoding encoding) = 0;
    // A token that changes whenever the file is replaced or written: equal
    // tokens mean the content read before is still there. "" when the file
    // cannot be looked at.
    virtual QString Version(const QString &path) = 0;
};
