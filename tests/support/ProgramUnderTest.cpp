#include "ProgramUnderTest.h"

#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
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

ProgramUnderTest::~ProgramUnderTest()
{
    Kill();
}

QByteArray ProgramUnderTest::WriteSettings(const QByteArray &bulkrun, bool registered) const
{
    const QByteArray ini = "[Bulkrun]\n" + bulkrun + (registered ? "\n[KVRFennic]\nFile_register=1\n" : "");
    tmp.Write(SettingsPath(), ini);
    return ini;
}

std::optional<QStringList> ProgramUnderTest::LogMessages() const
{
    static const QRegularExpression entry(QStringLiteral("\\G\\d\\d-\\d\\d-\\d{4} \\d{1,2}:\\d\\d:\\d\\d [AP]M( [^\\r\\n]*)\\r\\n"));
    if (!QFileInfo::exists(LogPath()))
        return QStringList();
    const QString text = QString::fromUtf8(tmp.Read(LogPath()));
    QStringList messages;
    for (qsizetype at = 0; at < text.size();) {
        const QRegularExpressionMatch match = entry.match(text, at);
        if (!match.hasMatch())
            return std::nullopt;
        messages.prepend(match.captured(1));
        at = match.capturedEnd();
    }
    return messages;
}

void ProgramUnderTest::OpenToEveryone() const
{
    namespace fs = std::filesystem;
    fs::permissions(tmp.Path().toStdString(), fs::perms::all);
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(tmp.Path().toStdString()))
        fs::permissions(entry.path(), fs::perms::all);
}

void ProgramUnderTest::Start(bool unprivileged)
{
    std::vector<std::string> args = {
        "/usr/bin/env", "HOME=" + tmp.File(QStringLiteral("home")).toStdString(),
        "XDG_CONFIG_HOME=" + tmp.File(QStringLiteral("config")).toStdString(), "QT_QPA_PLATFORM=offscreen",
        // The program ends at its completion entry without tearing Qt down:
        // a sanitizer build's leak checker must not count that. A small
        // quarantine keeps what the sanitizer holds back from hiding the
        // program's own memory.
        "ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=8"};
    if (unprivileged && ::geteuid() == 0)
        args.insert(args.end(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    args.push_back(tmp.File(QStringLiteral("bin/kvr_bulkrun")).toStdString());
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0 || ::fcntl(pipe[0], F_SETFL, O_NONBLOCK) != 0)
        throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], 2);
    started_ = std::chrono::steady_clock::now();
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    output_ = pipe[0];
    printed_.clear();
    outcome_ = {};
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + args.back() + ": " + std::strerror(spawned));
    }
}

void ProgramUnderTest::Drain()
{
    char buffer[4096];
    for (ssize_t n; output_ >= 0 && (n = ::read(output_, buffer, sizeof buffer)) > 0;)
        printed_.append(buffer, n);
}

void ProgramUnderTest::Reap(int options)
{
    Drain();
    int status = 0;
    rusage usage{};
    pid_t reaped;
    while ((reaped = ::wait4(pid_, &status, options, &usage)) < 0 && errno == EINTR) {
    }
    if (reaped != pid_)
        return;
    pid_ = -1;
    outcome_.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    outcome_.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    outcome_.peakRssKb = usage.ru_maxrss;
}

bool ProgramUnderTest::Ended()
{
    if (pid_ > 0)
        Reap(WNOHANG);
    return pid_ < 0;
}

ProgramOutcome ProgramUnderTest::Wait(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!Ended() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return Kill();
}

ProgramOutcome ProgramUnderTest::Kill()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Reap(0);
    }
    return Finish();
}

ProgramOutcome ProgramUnderTest::Finish()
{
    if (output_ >= 0) {
        Drain();
        ::close(output_);
        output_ = -1;
        outcome_.output = QString::fromLocal8Bit(printed_);
    }
    return outcome_;
}
