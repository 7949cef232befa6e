#pragma once

#include "FileSystem.h"

#include <QHash>
#include <QSet>

// A file system that reads through another one and keeps whatever is
// written in memory, so that nothing reaches the disk: for a preview, which
// runs the engine's own commands, run log and all. A file written here reads
// back whole from memory; reading it by lines is refused.
class UnwrittenFiles final : public FileSystem
{
public:
    explicit UnwrittenFiles(FileSystem &disk) : disk_(disk) {}

    bool FolderExists(const QString &path) override;
    void CreateFolder(const QString &path) override;
    bool FileExists(const QString &path) override;
    void CreateTextFile(const QString &path) override;
    std::unique_ptr<LineReader> OpenLines(const QString &path) override;
    TextContent ReadWhole(const QString &path) override;
    void WriteWhole(const QString &path, const QString &text, TextEncoding encoding) override;
    QString Version(const QString &path) override;

private:
    FileSystem &disk_;
    QSet<QString> folders_;
    QHash<QString, TextContent> files_;
    QHash<QString, int> versions_;
};
