#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken invariant ends the run with a message; libFuzzer keeps the input
// that broke it as a crash.
#define FUZZ_CHECK(condition, detail)                                                                        \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            Broken(#condition, detail);                                                                      \
    } while (false)

[[noreturn]] inline void Broken(const char *what, const QString &detail)
{
    std::fprintf(stderr, "\nBROKEN INVARIANT: %s\n  %s\n", what, detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

// Text with every character outside printable ASCII shown as \uXXXX.
inline QString Shown(const QString &text)
{
    QString shown;
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F && c != u'\\')
            shown += c;
        else
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return shown;
}

inline QString Shown(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

inline QByteArray Bytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// The bytes as little-endian UTF-16 code units, unpaired surrogates included.
inline QString Utf16Units(const QByteArray &bytes)
{
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(char16_t(uchar(bytes[2 * i]) | uchar(bytes[2 * i + 1]) << 8));
    return text;
}

// A file of the given name in a folder that lives as long as the process and
// is removed when it ends normally; scripts/fuzz.sh points TMPDIR at a
// scratch folder so that a crash leaves nothing behind either.
inline QString ScratchFile(const QString &name)
{
    static const QTemporaryDir folder;
    return folder.filePath(name);
}

// Replaces the file's content with exactly bytes.
inline void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        Broken("the input file can be written", path);
}

inline QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Broken("the file can be read", path);
    return file.readAll();
}
