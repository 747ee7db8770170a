#pragma once

#include <csignal>

#include <sys/resource.h>

// A full disk for this process while it lives: no file may grow past a few bytes, and a write
// past that fails (EFBIG) instead of raising SIGXFSZ. Unlike permissions it holds for root too,
// which the tests may run as.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes = 16)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_before);
        rlimit tight = m_before;
        tight.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &tight);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_before); }

    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_before{};
};
