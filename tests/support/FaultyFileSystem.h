#pragma once

#include "FileSystem.h"

#include <QString>

#include <array>
#include <memory>
#include <vector>

// A file system that hands every operation on to another one, counts the
// calls, and fails the operations it is told to fail by throwing
// FileFailure("Cannot ... <path>: simulated failure"). Line readers it opens
// refer back to it and must not outlive it.
class FaultyFileSystem final : public FileSystem
{
public:
    // ReadLine is one Next() of a line reader opened through this object.
    enum class Op { FolderExists, CreateFolder, FileExists, CreateTextFile, CopyFile, OpenLines, ReadWhole, WriteWhole, ReadLine };

    explicit FaultyFileSystem(FileSystem &inner) : inner_(inner) {}

    // From now on op fails for every path that contains pathContains (every
    // path when it is empty); a copy fails when either of its paths does.
    // A failing call still counts but does not reach the inner file system.
    void FailOn(Op op, const QString &pathContains = {});
    // Forgets every failure set by FailOn.
    void Heal() { faults_.clear(); }
    int Calls(Op op) const { return calls_[std::size_t(op)]; }
    void ResetCalls() { calls_.fill(0); }

    bool FolderExists(const QString &path) override;
    void CreateFolder(const QString &path) override;
    bool FileExists(const QString &path) override;
    void CreateTextFile(const QString &path) override;
    void CopyFile(const QString &from, const QString &to) override;
    std::unique_ptr<LineReader> OpenLines(const QString &path) override;
    TextContent ReadWhole(const QString &path) override;
    void WriteWhole(const QString &path, const QString &text, TextEncoding encoding) override;
    QString Version(const QString &path) override { return inner_.Version(path); }

    // Counts op on path (and otherPath, for a copy) and throws when it is set
    // to fail; the line readers call it for ReadLine.
    void Enter(Op op, const QString &path, const QString &otherPath = {});

private:
    struct Fault
    {
        Op op;
        QString pathContains;
    };

    FileSystem &inner_;
    std::vector<Fault> faults_;
    std::array<int, std::size_t(Op::ReadLine) + 1> calls_{};
};
