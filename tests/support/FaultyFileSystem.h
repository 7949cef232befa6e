#pragma once

#include "Failure.h"
#include "FileSystem.h"

#include <QString>

#include <array>
#include <memory>

// A file system that hands every operation on to another one, counts the
// creation of folders and the whole-file reads and writes, and fails those
// it is told to fail by throwing FileFailure("Cannot ... <path>: simulated
// failure") without reaching the other one.
class FaultyFileSystem final : public FileSystem
{
public:
    enum class Op { CreateFolder, ReadWhole, WriteWhole };

    explicit FaultyFileSystem(FileSystem &inner) : inner_(inner) {}

    void FailOn(Op op) { failing_[std::size_t(op)] = true; }
    void Heal() { failing_.fill(false); }
    int Calls(Op op) const { return calls_[std::size_t(op)]; }

    bool FolderExists(const QString &path) override { return inner_.FolderExists(path); }
    void CreateFolder(const QString &path) override
    {
        Enter(Op::CreateFolder, path);
        inner_.CreateFolder(path);
    }
    bool FileExists(const QString &path) override { return inner_.FileExists(path); }
    void CreateTextFile(const QString &path) override { inner_.CreateTextFile(path); }
    std::unique_ptr<LineReader> OpenLines(const QString &path) override { return inner_.OpenLines(path); }
    TextContent ReadWhole(const QString &path) override
    {
        Enter(Op::ReadWhole, path);
        return inner_.ReadWhole(path);
    }
    void WriteWhole(const QString &path, const QString &text, TextEncoding encoding) override
    {
        Enter(Op::WriteWhole, path);
        inner_.WriteWhole(path, text, encoding);
    }
    QString Version(const QString &path) override { return inner_.Version(path); }

private:
    void Enter(Op op, const QString &path)
    {
        ++calls_[std::size_t(op)];
        if (failing_[std::size_t(op)])
            throw FileFailure(QStringLiteral("Cannot use %1: simulated failure").arg(path));
    }

    FileSystem &inner_;
    std::array<bool, 3> failing_{};
    std::array<int, 3> calls_{};
};
