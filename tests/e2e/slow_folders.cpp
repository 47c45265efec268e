// Loaded into the program by the e2e tests (LD_PRELOAD): every folder opened for listing waits
// QUORVEL_E2E_FOLDER_DELAY_MS first. A search over a few thousand folders then lasts seconds on
// any machine, however warm its caches.
//
// A folder named QUORVEL_E2E_SLOW_FOLDER_NAME is read slowly entry by entry: each entry waits
// QUORVEL_E2E_ENTRY_DELAY_MS (a folder on a slow share), or for good when that is "never" (a
// share that stops answering). Each entry read there appends the CLOCK_MONOTONIC time to the
// file QUORVEL_E2E_ENTRY_LOG, when given.

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

void sleepMs(long ms)
{
    timespec wait{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

// Whether the folder being read is the slow one (its path's last name).
bool isSlowFolder(DIR *dir)
{
    static const char *name = std::getenv("QUORVEL_E2E_SLOW_FOLDER_NAME");
    if (!name || !*name)
        return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd(dir));
    char path[4096];
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return false;
    path[n] = 0;
    const char *last = std::strrchr(path, '/');
    return last && std::strcmp(last + 1, name) == 0;
}

void slowEntry(DIR *dir)
{
    if (!isSlowFolder(dir))
        return;
    static const char *delay = std::getenv("QUORVEL_E2E_ENTRY_DELAY_MS");
    if (delay && std::strcmp(delay, "never") == 0) {
        for (;;)
            sleepMs(1000);
    }
    sleepMs(delay ? std::max(0L, std::atol(delay)) : 0L);
    if (const char *log = std::getenv("QUORVEL_E2E_ENTRY_LOG")) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        char line[64];
        const int len = std::snprintf(line, sizeof line, "%lld.%09ld\n", static_cast<long long>(now.tv_sec), now.tv_nsec);
        const int fd = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd >= 0) {
            if (write(fd, line, size_t(len)) < 0) {
            }
            close(fd);
        }
    }
}

} // namespace

extern "C" DIR *fdopendir(int fd)
{
    using Real = DIR *(*)(int);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "fdopendir"));
    static const long delayMs = [] {
        const char *text = std::getenv("QUORVEL_E2E_FOLDER_DELAY_MS");
        return text ? std::max(0L, std::atol(text)) : 0L;
    }();
    if (delayMs > 0)
        sleepMs(delayMs);
    return real(fd);
}

extern "C" struct dirent *readdir(DIR *dir)
{
    using Real = struct dirent *(*)(DIR *);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "readdir"));
    slowEntry(dir);
    return real(dir);
}

extern "C" struct dirent64 *readdir64(DIR *dir)
{
    using Real = struct dirent64 *(*)(DIR *);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "readdir64"));
    slowEntry(dir);
    return real(dir);
}
