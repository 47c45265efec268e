// Loaded into the program by the e2e tests (LD_PRELOAD): every folder opened for listing waits
// QUORVEL_E2E_FOLDER_DELAY_MS first. A search over a few thousand folders then lasts seconds on
// any machine, however warm its caches.

#include <dirent.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

extern "C" DIR *fdopendir(int fd)
{
    using Real = DIR *(*)(int);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "fdopendir"));
    static const long delayMs = [] {
        const char *text = std::getenv("QUORVEL_E2E_FOLDER_DELAY_MS");
        return text ? std::max(0L, std::atol(text)) : 0L;
    }();
    if (delayMs > 0) {
        timespec wait{delayMs / 1000, (delayMs % 1000) * 1000000L};
        while (nanosleep(&wait, &wait) != 0) {
        }
    }
    return real(fd);
}
