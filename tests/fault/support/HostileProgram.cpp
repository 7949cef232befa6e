#include "HostileProgram.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

HostileProgram::HostileProgram(const QString &schema)
{
    // The program keeps its list and log beside itself, so it runs as a
    // link or a copy of the built one.
    QDir().mkpath(tmp.File(QStringLiteral("bin")));
    const QString exe = Bin(QStringLiteral("kvr_bulkrun"));
    if (::link(KVR_EXE, QFile::encodeName(exe).constData()) != 0 && !QFile::copy(QStringLiteral(KVR_EXE), exe))
        throw std::runtime_error("cannot place the program in " + exe.toStdString());
    QDir().mkpath(tmp.File(QStringLiteral("home/tavrin/database")));
    db = std::make_unique<CardDb>(tmp.File(QStringLiteral("home/tavrin/database/card.db")));
    db->Exec(QStringLiteral("CREATE TABLE CARD_DATA (%1)").arg(schema));
}

void HostileProgram::Settings(const QByteArray &bulkrun)
{
    tmp.Write(QStringLiteral("config/Tavrin.ini"),
              "[Bulkrun]\n" + bulkrun + "Auto_Run=1\n\n[KVRFennic]\nFile_register=1\n");
}

HostileProgram::Outcome HostileProgram::Run(int timeoutSeconds)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), tmp.File(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.File(QStringLiteral("config")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // An automatic run ends at its completion entry without tearing Qt down,
    // which a leak checker must not count; a small quarantine keeps the
    // memory a sanitizer build holds back for its checks from hiding what
    // the program itself takes.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0:quarantine_size_mb=8"));
    std::vector<QByteArray> strings;
    for (const QString &entry : env.toStringList())
        strings.push_back(entry.toLocal8Bit());
    std::vector<char *> envp;
    for (QByteArray &entry : strings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    QByteArray exe = QFile::encodeName(Bin(QStringLiteral("kvr_bulkrun")));
    char *argv[] = {exe.data(), nullptr};

    int err[2];  // the program's standard error
    if (::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make a pipe");
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(err[0]);
        ::close(err[1]);
        throw std::runtime_error("cannot start the program");
    }
    if (pid == 0) {
        ::dup2(err[1], STDERR_FILENO);
        ::execve(argv[0], argv, envp.data());
        ::_exit(127);
    }
    ::close(err[1]);

    Outcome out;
    QByteArray said;
    bool timedOut = false;
    for (;;) {
        const qint64 left = qint64(timeoutSeconds) * 1000 - clock.elapsed();
        if (left <= 0) {
            timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd readable{err[0], POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(err[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        said.append(buffer, n);
    }
    ::close(err[0]);

    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    out.seconds = double(clock.nsecsElapsed()) / 1e9;
    out.status = !timedOut && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    out.err = QString::fromLocal8Bit(said);
    out.peakRssKb = usage.ru_maxrss;
    return out;
}
