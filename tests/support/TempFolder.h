#pragma once

#include "QtPrinters.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <stdexcept>

// A temporary folder removed with everything in it when the test ends.
class TempFolder
{
public:
    QString Path() const { return dir_.path(); }
    // The path of name in the folder; an absolute name stands as it is.
    QString File(const QString &name) const { return QDir(dir_.path()).filePath(name); }

    // Writes bytes exactly as given, creating folders on the way.
    QString Write(const QString &name, const QByteArray &bytes) const
    {
        const QString path = File(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write test file " + path.toStdString());
        return path;
    }

    QByteArray Read(const QString &name) const
    {
        QFile file(File(name));
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return file.readAll();
    }

private:
    QTemporaryDir dir_;
};
