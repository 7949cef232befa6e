#include "ProgramUnderTest.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

const char *const kUnprivileged[] = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};

[[noreturn]] void Fail(const std::string &what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// This process's environment with the program's home, settings folder and
// headless platform put in.
std::vector<std::string> Environment(const QString &home, const QString &config)
{
    const std::vector<std::string> own = {
        "HOME=" + home.toStdString(),
        "XDG_CONFIG_HOME=" + config.toStdString(),
        "QT_QPA_PLATFORM=offscreen",
        // The program ends at its completion entry without tearing Qt down;
        // a sanitizer build's leak checker must not count that.
        // A small quarantine keeps what a sanitizer build holds back for its
        // checks from hiding the memory the program itself takes.
        "ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=8",
    };
    std::vector<std::string> env = own;
    for (char **entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string key = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const std::string &mine : own)
            replaced = replaced || mine.compare(0, key.size(), key) == 0;
        if (!replaced)
            env.push_back(text);
    }
    return env;
}

std::vector<char *> Pointers(std::vector<std::string> &texts)
{
    std::vector<char *> pointers;
    for (std::string &text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

ProgramUnderTest::ProgramUnderTest()
{
    for (const char *folder : {"bin/log", "home/tavrin/database", "config"})
        QDir().mkpath(File(QLatin1String(folder)));
    if (!QFile::copy(QStringLiteral(KVR_EXE), File(QStringLiteral("bin/kvr_bulkrun"))))
        throw std::runtime_error("cannot copy the program " KVR_EXE);
}

ProgramUnderTest::~ProgramUnderTest()
{
    if (Running())
        Kill();
}

QByteArray ProgramUnderTest::WriteSettings(const QByteArray &bulkrunKeys) const
{
    const QByteArray ini = "[Bulkrun]\n" + bulkrunKeys + "Auto_Run=1\n\n[KVRFennic]\nFile_register=1\n";
    Write(SettingsPath(), ini);
    return ini;
}

void ProgramUnderTest::Write(const QString &path, const QByteArray &bytes) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file " + path.toStdString());
}

QByteArray ProgramUnderTest::Read(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<missing>");
    return file.readAll();
}

void ProgramUnderTest::OpenToEveryone() const
{
    const auto open = [](const QString &path) {
        const QFileInfo info(path);
        const mode_t mode = info.isDir() ? 0777 : info.isExecutable() ? 0755 : 0666;
        if (::chmod(QFile::encodeName(path).constData(), mode) != 0)
            Fail("cannot chmod " + path.toStdString());
    };
    open(tmp_.Path());
    QDirIterator entries(tmp_.Path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext())
        open(entries.next());
}

void ProgramUnderTest::Start(As as)
{
    if (Running())
        throw std::logic_error("the program is running already");
    std::vector<std::string> args;
    if (as == As::Unprivileged && ::geteuid() == 0)
        args.assign(std::begin(kUnprivileged), std::end(kUnprivileged));
    args.push_back(File(QStringLiteral("bin/kvr_bulkrun")).toStdString());
    std::vector<std::string> env = Environment(File(QStringLiteral("home")), File(QStringLiteral("config")));
    std::vector<char *> argv = Pointers(args);
    std::vector<char *> envp = Pointers(env);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        Fail("pipe2");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    started_ = std::chrono::steady_clock::now();
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        pid_ = -1;
        errno = spawned;
        Fail("cannot start " + args.front());
    }
    output_.clear();
    reader_ = std::thread([this, fd = out[0]] {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            output_.append(buffer, n);
        }
        ::close(fd);
    });
    pidfd_ = int(::syscall(SYS_pidfd_open, pid_, 0));
    if (pidfd_ < 0)
        Fail("pidfd_open");
}

bool ProgramUnderTest::WaitForEnd(std::chrono::milliseconds limit) const
{
    pollfd ended{pidfd_, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int result = ::poll(&ended, 1, int(std::max<long long>(left.count(), 0)));
        if (result >= 0 || errno != EINTR)
            return result > 0;
    }
}

ProgramOutcome ProgramUnderTest::Wait(std::chrono::milliseconds limit)
{
    if (!Running())
        throw std::logic_error("no program is running");
    if (!WaitForEnd(limit))
        ::kill(pid_, SIGKILL);
    return Reap();
}

ProgramOutcome ProgramUnderTest::Kill()
{
    if (!Running())
        throw std::logic_error("no program is running");
    ::kill(pid_, SIGKILL);
    return Reap();
}

ProgramOutcome ProgramUnderTest::Reap()
{
    int status = 0;
    rusage usage{};
    while (::wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    reader_.join();
    ProgramOutcome outcome;
    outcome.peakRssKb = usage.ru_maxrss;
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    outcome.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.output = QString::fromLocal8Bit(output_);
    ::close(pidfd_);
    pidfd_ = -1;
    pid_ = -1;
    return outcome;
}
