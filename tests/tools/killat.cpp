// Preloaded into quelvana-cli (LD_PRELOAD) by the tests: ends the process with SIGKILL, as a
// power cut would, right before the Nth file system call (counted from 1) that makes, renames
// or removes an entry naming the program's working files ("quelvana" in a path). N comes from
// QUELVANA_KILL_AT. With QUELVANA_KILL_COUNT naming a file instead, every such call adds a line
// to it, so that a test learns how many there are.

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

long calls = 0;

void reached(const char* a, const char* b = nullptr)
{
    if (!(a && std::strstr(a, "quelvana")) && !(b && std::strstr(b, "quelvana")))
        return;
    ++calls;
    if (const char* count = std::getenv("QUELVANA_KILL_COUNT")) {
        if (FILE* file = std::fopen(count, "a")) {
            std::fprintf(file, "%ld %s %s\n", calls, a ? a : "", b ? b : "");
            std::fclose(file);
        }
        return;
    }
    if (const char* at = std::getenv("QUELVANA_KILL_AT"); at && std::atol(at) == calls)
        ::kill(::getpid(), SIGKILL);
}

template <typename F> F real(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

// openat and openat64: a call that creates is counted.
int openAt(const char* name, int fd, const char* path, int flags, mode_t mode)
{
    if (flags & O_CREAT)
        reached(path);
    return real<int (*)(int, const char*, int, mode_t)>(name)(fd, path, flags, mode);
}

} // namespace

extern "C" {

int mkdirat(int fd, const char* path, mode_t mode)
{
    reached(path);
    return real<int (*)(int, const char*, mode_t)>("mkdirat")(fd, path, mode);
}

int openat(int fd, const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    return openAt("openat", fd, path, flags, mode);
}

int openat64(int fd, const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    return openAt("openat64", fd, path, flags, mode);
}

int renameat(int from, const char* a, int to, const char* b)
{
    reached(a, b);
    return real<int (*)(int, const char*, int, const char*)>("renameat")(from, a, to, b);
}

int renameat2(int from, const char* a, int to, const char* b, unsigned int flags)
{
    reached(a, b);
    return real<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2")(from, a, to,
                                                                                        b, flags);
}

int rename(const char* a, const char* b)
{
    reached(a, b);
    return real<int (*)(const char*, const char*)>("rename")(a, b);
}

int unlinkat(int fd, const char* path, int flags)
{
    reached(path);
    return real<int (*)(int, const char*, int)>("unlinkat")(fd, path, flags);
}

} // extern "C"
