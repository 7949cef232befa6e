#include "FaultyFileSystem.h"

#include "Failure.h"

namespace {

QString Verb(FaultyFileSystem::Op op)
{
    using Op = FaultyFileSystem::Op;
    switch (op) {
    case Op::FolderExists: return QStringLiteral("Cannot look for folder");
    case Op::CreateFolder: return QStringLiteral("Cannot create folder");
    case Op::FileExists: return QStringLiteral("Cannot look for file");
    case Op::CreateTextFile: return QStringLiteral("Cannot create");
    case Op::CopyFile: return QStringLiteral("Cannot copy");
    case Op::OpenLines: return QStringLiteral("Cannot open");
    case Op::ReadWhole:
    case Op::ReadLine: return QStringLiteral("Cannot read");
    case Op::WriteWhole: return QStringLiteral("Cannot write");
    }
    return QStringLiteral("Cannot use");
}

class FaultyLineReader final : public LineReader
{
public:
    FaultyLineReader(FaultyFileSystem &fs, std::unique_ptr<LineReader> inner, QString path)
        : fs_(fs), inner_(std::move(inner)), path_(std::move(path))
    {
    }

    bool Next(QString &line) override
    {
        fs_.Enter(FaultyFileSystem::Op::ReadLine, path_);
        return inner_->Next(line);
    }

private:
    FaultyFileSystem &fs_;
    std::unique_ptr<LineReader> inner_;
    QString path_;
};

} // namespace

void FaultyFileSystem::FailOn(Op op, const QString &pathContains)
{
    faults_.push_back({op, pathContains});
}

void FaultyFileSystem::Enter(Op op, const QString &path, const QString &otherPath)
{
    ++calls_[std::size_t(op)];
    for (const Fault &fault : faults_) {
        if (fault.op != op)
            continue;
        if (fault.pathContains.isEmpty() || path.contains(fault.pathContains)
            || (!otherPath.isNull() && otherPath.contains(fault.pathContains))) {
            const QString paths = otherPath.isNull() ? path : path + QStringLiteral(" to ") + otherPath;
            throw FileFailure(QStringLiteral("%1 %2: simulated failure").arg(Verb(op), paths));
        }
    }
}

bool FaultyFileSystem::FolderExists(const QString &path)
{
    Enter(Op::FolderExists, path);
    return inner_.FolderExists(path);
}

void FaultyFileSystem::CreateFolder(const QString &path)
{
    Enter(Op::CreateFolder, path);
    inner_.CreateFolder(path);
}

bool FaultyFileSystem::FileExists(const QString &path)
{
    Enter(Op::FileExists, path);
    return inner_.FileExists(path);
}

void FaultyFileSystem::CreateTextFile(const QString &path)
{
    Enter(Op::CreateTextFile, path);
    inner_.CreateTextFile(path);
}

void FaultyFileSystem::CopyFile(const QString &from, const QString &to)
{
    Enter(Op::CopyFile, from, to);
    inner_.CopyFile(from, to);
}

std::unique_ptr<LineReader> FaultyFileSystem::OpenLines(const QString &path)
{
    Enter(Op::OpenLines, path);
    return std::make_unique<FaultyLineReader>(*this, inner_.OpenLines(path), path);
}

TextContent FaultyFileSystem::ReadWhole(const QString &path)
{
    Enter(Op::ReadWhole, path);
    return inner_.ReadWhole(path);
}

void FaultyFileSystem::WriteWhole(const QString &path, const QString &text, TextEncoding encoding)
{
    Enter(Op::WriteWhole, path);
    inner_.WriteWhole(path, text, encoding);
}
