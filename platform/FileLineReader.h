#pragma once

#include "FileSystem.h"
#include "TextEncoding.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// The lines of a text file on disk, read in chunks so that memory stays
// bounded by the chunk and the longest line, whatever the size of the file.
// Opening scans the whole file once to decide its encoding; every line is
// then decoded with it. A leading UTF-8 mark is part of no line. Throws FileFailure when the file cannot be opened or read.
class FileLineReader final : public LineReader
{
public:
    static constexpr qsizetype kChunkSize = 64 * 1024;

    explicit FileLineReader(const QString &path, qsizetype chunkSize = kChunkSize);

    bool Next(QString &line) override;
    TextEncoding Encoding() const { return encoding_; }

private:
    TextEncoding ScanEncoding();
    void Seek(qint64 pos);
    qsizetype Read(char *into, qsizetype size);
    // Makes at least one unread byte available; false at the end of the file.
    bool Fill();

    QString path_;
    QFile file_;
    qsizetype chunkSize_;
    TextEncoding encoding_ = TextEncoding::Utf8;
    TextEncoding lineEncoding_ = TextEncoding::Utf8;  // the charset without the mark
    QByteArray chunk_;
    qsizetype pos_ = 0;
    qsizetype end_ = 0;
    bool atEnd_ = false;
    // The last line ended with a CR at the end of a chunk; an LF that opens
    // the next chunk belongs to that line end.
    bool skipLf_ = false;
    // Bytes of a line that runs on into the next chunk; released once the
    // line is decoded, so that a long line's bytes do not outlive it.
    QByteArray partial_;
};
