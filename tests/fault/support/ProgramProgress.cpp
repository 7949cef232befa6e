#include "ProgramProgress.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

int Watch(int fd, const QString &folder, uint32_t events)
{
    const int watch = inotify_add_watch(fd, QFile::encodeName(folder).constData(), events);
    if (watch < 0)
        throw std::runtime_error("cannot watch " + folder.toStdString() + ": " + std::strerror(errno));
    return watch;
}

} // namespace

ProgramProgress::ProgramProgress(const QString &databasePath, const QString &logPath)
    : journalName_(QFile::encodeName(QFileInfo(databasePath).fileName() + QStringLiteral("-journal")))
    , logName_(QFile::encodeName(QFileInfo(logPath).fileName()))
{
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0)
        throw std::runtime_error(std::string("inotify_init1: ") + std::strerror(errno));
    databaseWatch_ = Watch(fd_, QFileInfo(databasePath).absolutePath(), IN_CREATE);
    // The log is rewritten through a temporary file renamed over it.
    logWatch_ = Watch(fd_, QFileInfo(logPath).absolutePath(), IN_MOVED_TO);
}

ProgramProgress::~ProgramProgress()
{
    ::close(fd_);
}

void ProgramProgress::ReadEvents()
{
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t size = ::read(fd_, buffer, sizeof buffer);
        if (size <= 0)
            return;
        for (ssize_t at = 0; at < size;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            const QByteArray name(event->len ? event->name : "");
            if (event->wd == databaseWatch_ && name == journalName_ && !writesBegan_) {
                writesBegan_ = true;
                marks_.push_back(Mark::WritesBegan);
            } else if (event->wd == logWatch_ && name == logName_) {
                marks_.push_back(Mark::LogWritten);
            }
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
}

ProgramProgress::Mark ProgramProgress::Next(int processFd, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        ReadEvents();
        if (!marks_.empty()) {
            const Mark mark = marks_.front();
            marks_.pop_front();
            return mark;
        }
        pollfd fds[] = {{fd_, POLLIN, 0}, {processFd, POLLIN, 0}};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int ready = ::poll(fds, 2, int(std::max<long long>(left.count(), 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return Mark::TimedOut;
        if (fds[0].revents == 0 && fds[1].revents != 0) {
            // What the program did just before it ended may still be queued.
            ReadEvents();
            if (marks_.empty())
                return Mark::Ended;
        }
    }
}
