#pragma once

#include "QtPrinters.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QThread>

#include <stdexcept>

// Shell scripts that stand in for outside programs, and the PATH they are
// found on. A stub, when started, writes its own path and then each of its
// arguments, one a line, to "<its path>.args", using only the shell's builtins.
namespace StubProgram {

inline void Write(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" END > \"$0.args\"\n") < 0)
        throw std::runtime_error("cannot write stub " + path.toStdString());
    file.setPermissions(file.permissions() | QFile::ExeOwner);
}

// What the stub at path wrote: its path and its arguments. Empty when it has
// not run within the time given.
inline QStringList WaitForRun(const QString &path, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    do {
        QFile file(path + QStringLiteral(".args"));
        const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        if (text.endsWith(QLatin1String("\nEND\n")))
            return text.chopped(5).split(QLatin1Char('\n'));
        QThread::msleep(10);
    } while (clock.elapsed() < ms);
    return {};
}

// Sets the PATH for as long as it lives.
class PathOverride
{
public:
    explicit PathOverride(const QString &path) : saved_(qgetenv("PATH")) { qputenv("PATH", QFile::encodeName(path)); }
    ~PathOverride() { qputenv("PATH", saved_); }
    PathOverride(const PathOverride &) = delete;
    PathOverride &operator=(const PathOverride &) = delete;

private:
    QByteArray saved_;
};

} // namespace StubProgram
