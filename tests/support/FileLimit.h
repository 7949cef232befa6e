#pragma once

#include <csignal>

#include <sys/resource.h>

// While it lives, no file written by this process, or by a program it starts,
// can grow beyond a number of bytes: a write past the limit fails with EFBIG,
// as on a full disk, instead of raising SIGXFSZ, which is ignored meanwhile.
// Destroying it restores the limit and the signal's handling.
class FileLimit
{
public:
    explicit FileLimit(rlim_t bytes);
    ~FileLimit();
    FileLimit(const FileLimit &) = delete;
    FileLimit &operator=(const FileLimit &) = delete;

private:
    rlimit old_{};
    struct sigaction oldAction_{};
};
