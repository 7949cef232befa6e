#include "FileLimit.h"

#include <stdexcept>

FileLimit::FileLimit(rlim_t bytes)
{
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    if (getrlimit(RLIMIT_FSIZE, &old_) != 0 || sigaction(SIGXFSZ, &ignore, &oldAction_) != 0)
        throw std::runtime_error("cannot read the file size limit");
    rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &lowered) != 0) {
        sigaction(SIGXFSZ, &oldAction_, nullptr);
        throw std::runtime_error("cannot lower the file size limit");
    }
}

FileLimit::~FileLimit()
{
    setrlimit(RLIMIT_FSIZE, &old_);
    sigaction(SIGXFSZ, &oldAction_, nullptr);
}
