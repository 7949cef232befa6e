#include "ProgramUnderTest.h"

#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

ProgramUnderTest::ProgramUnderTest()
{
    for (const char *folder : {"bin/log", "home/tavrin/database", "config"})
        QDir().mkpath(tmp.File(QLatin1String(folder)));
    if (!QFile::copy(QStringLiteral(KVR_EXE), tmp.File(QStringLiteral("bin/kvr_bulkrun"))))
        throw std::runtime_error("cannot copy the program " KVR_EXE);
}

void ProgramUnderTest::WriteSettings(const QByteArray &bulkrun, bool registered) const
{
    tmp.Write(SettingsPath(), "[Bulkrun]\n" + bulkrun + "Auto_Run=1\nOption=Import\nSearch_Field=REFERENCE\nSearch_Col=0\nReplace_Col=1\n"
                              + "Import_File=" + ImportPath().toUtf8() + (registered ? "\n[KVRFennic]\nFile_register=1\n" : "\n"));
}

QStringList ProgramUnderTest::LogMessages() const
{
    static const QRegularExpression entry(QStringLiteral("\\G\\d\\d-\\d\\d-\\d{4} \\d{1,2}:\\d\\d:\\d\\d [AP]M( [^\\r\\n]*)\\r\\n"));
    if (!QFileInfo::exists(LogPath()))
        return QStringList();
    const QString text = QString::fromUtf8(tmp.Read(LogPath()));
    QStringList messages;
    for (qsizetype at = 0; at < text.size();) {
        const QRegularExpressionMatch match = entry.match(text, at);
        if (!match.hasMatch())
            return {QStringLiteral("<not whole entries>")};
        messages.prepend(match.captured(1));
        at = match.capturedEnd();
    }
    return messages;
}

void ProgramUnderTest::Start(bool unprivileged)
{
    // A shell sets the scene and becomes the program. The program ends at its
    // completion entry without tearing Qt down: a sanitizer build's leak
    // checker must not count that. A small quarantine keeps what the
    // sanitizer holds back from hiding the program's own memory. What the
    // program prints is a few lines, far below any test's file-size limit.
    const bool other = unprivileged && ::geteuid() == 0;
    const std::string command =
        QStringLiteral("%2exec /usr/bin/env HOME='%1/home' XDG_CONFIG_HOME='%1/config' QT_QPA_PLATFORM=offscreen "
                       "ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=8 %3'%1/bin/kvr_bulkrun' %4 </dev/null >'%1/output.txt' 2>&1")
            .arg(tmp.Path(), other ? QStringLiteral("chmod -R go=u '%1' && ").arg(tmp.Path()) : QString(),
                 other ? QStringLiteral("setpriv --reuid=65534 --regid=65534 --clear-groups -- ") : QString(), options)
            .toStdString();
    const char *argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    if (const int error = posix_spawn(&pid_, argv[0], nullptr, nullptr, const_cast<char **>(argv), environ)) {
        pid_ = -1;
        throw std::runtime_error("cannot start a shell: " + std::string(std::strerror(error)));
    }
}

bool ProgramUnderTest::Ended()
{
    int status = -1;  // neither an exit nor a signal, should someone else have reaped the program
    rusage usage{};
    const pid_t reaped = pid_ > 0 ? ::wait4(pid_, &status, WNOHANG, &usage) : 0;
    if (reaped == pid_ || (reaped < 0 && errno == ECHILD)) {
        pid_ = -1;
        outcome_ = {WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                    QString::fromLocal8Bit(tmp.Read(QStringLiteral("output.txt"))), usage.ru_maxrss};
    }
    return pid_ < 0;
}

ProgramOutcome ProgramUnderTest::Wait(std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (; !Ended(); std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
        if (std::chrono::steady_clock::now() >= deadline)
            ::kill(pid_, SIGKILL);
    }
    return outcome_;
}
