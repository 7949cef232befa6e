#pragma once

#include "FileSystem.h"

// The file system of the machine the program runs on.
class DiskFileSystem final : public FileSystem
{
public:
    bool FolderExists(const QString &path) override;
    // Creates the one folder named; its parent must exist, the folder must not.
    void CreateFolder(const QString &path) override;
    // True for an existing entry that is not a folder.
    bool FileExists(const QString &path) override;
    void CreateTextFile(const QString &path) override;
    // Replaces an existing target.

    std::unique_ptr<LineReader> OpenLines(const QString &path) override;
    TextContent ReadWhole(const QString &path) override;
    void WriteWhole(const QString &path, const QString &text, TextEncoding encoding) override;
    // Device, inode, size and modification time in nanoseconds.
    QString Version(const QString &path) override;
};
