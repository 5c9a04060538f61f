// Standard streams and the command interpreter on Linux.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

extern char **environ;

namespace vorla::platform {
namespace {

int Descriptor(StreamId stream) {
    return static_cast<int>(stream);
}

// A descriptor left non-blocking by whoever started us: wait until it is
// ready instead of failing.
bool WaitReady(int fd, short events) {
    pollfd entry{fd, events, 0};
    while (poll(&entry, 1, -1) < 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace

bool IsTerminal(StreamId stream) {
    return isatty(Descriptor(stream)) == 1;
}

std::ptrdiff_t ReadSome(StreamId stream, void *buffer, std::size_t size) {
    const int fd = Descriptor(stream);
    for (;;) {
        const ssize_t got = read(fd, buffer, size);
        if (got >= 0) return got;
        if (errno == EINTR) continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitReady(fd, POLLIN)) continue;
        return -1;
    }
}

std::ptrdiff_t WriteSome(StreamId stream, const void *data, std::size_t size) {
    const int fd = Descriptor(stream);
    for (;;) {
        const ssize_t written = write(fd, data, size);
        if (written > 0) return written;
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitReady(fd, POLLOUT))
            continue;
        return -1;
    }
}

bool GiveBackInput(StreamId stream, std::size_t count) {
    return lseek(Descriptor(stream), -static_cast<off_t>(count), SEEK_CUR) != static_cast<off_t>(-1);
}

void PrepareOutputSignals() {
    // A write to a closed pipe then fails with an error the services report.
    // Shell commands get the default action back (see below).
    signal(SIGPIPE, SIG_IGN);
}

int32_t RunCommandInterpreter(const char *command) {
    static const char shell[] = "/bin/sh";
    if (command == nullptr) return access(shell, X_OK) == 0 ? 1 : 0;

    // As the C library's system(): the interrupt and quit keys are meant for
    // the command, so this program ignores them while it waits, and SIGCHLD
    // stays blocked so that no handler of the library reaps our child.
    struct sigaction ignore {}, oldInterrupt {}, oldQuit {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGINT, &ignore, &oldInterrupt);
    sigaction(SIGQUIT, &ignore, &oldQuit);
    sigset_t childMask, oldMask;
    sigemptyset(&childMask);
    sigaddset(&childMask, SIGCHLD);
    sigprocmask(SIG_BLOCK, &childMask, &oldMask);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    if (oldInterrupt.sa_handler != SIG_IGN) sigaddset(&defaults, SIGINT);
    if (oldQuit.sa_handler != SIG_IGN) sigaddset(&defaults, SIGQUIT);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &oldMask);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    char *const arguments[] = {const_cast<char *>("sh"), const_cast<char *>("-c"),
                               const_cast<char *>(command), nullptr};
    pid_t child = -1;
    int32_t status = -1;
    if (posix_spawn(&child, shell, nullptr, &attributes, arguments, environ) == 0) {
        int raw = 0;
        pid_t waited;
        do {
            waited = waitpid(child, &raw, 0);
        } while (waited < 0 && errno == EINTR);
        if (waited == child) {
            if (WIFEXITED(raw))
                status = WEXITSTATUS(raw);
            else if (WIFSIGNALED(raw))
                status = 128 + WTERMSIG(raw);
        }
    }
    posix_spawnattr_destroy(&attributes);

    sigaction(SIGINT, &oldInterrupt, nullptr);
    sigaction(SIGQUIT, &oldQuit, nullptr);
    sigprocmask(SIG_SETMASK, &oldMask, nullptr);
    return status;
}

}  // namespace vorla::platform
