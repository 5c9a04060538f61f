// The console input device on Linux: the controlling terminal, /dev/tty.
//
// Its input mode 0 is raw mode: no line gathering, no echo, no signal keys,
// no flow control, no carriage-return translation, 8 bits clean.  Output
// settings are left alone.  The terminal's bytes become key events through
// the terminal decoder; bytes read but not yet delivered wait in its queue.
//
// While raw mode is set, a signal that ends the process first puts the saved
// mode back, and a stop puts it back until the process is continued.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "console_services/terminal_decoder.h"
#include "platform/platform.h"

namespace vorla::platform {
namespace {

// Shared with the signal handlers.
volatile sig_atomic_t rawActive = 0;
volatile sig_atomic_t continued = 0;
int terminalDescriptor = -1;
termios savedMode{};
termios rawMode{};

constexpr int EndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2,
                                 SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS,
                                 SIGXCPU, SIGXFSZ};

void PutSavedModeBack() {
    if (rawActive) tcsetattr(terminalDescriptor, TCSANOW, &savedMode);
}

void OnEndingSignal(int number) {
    const int savedErrno = errno;
    PutSavedModeBack();
    // End by the same signal, so that the parent sees the true cause.  The
    // signal stays blocked until this handler returns, then acts by default
    // (a fault that returns here faults again, by default too).
    signal(number, SIG_DFL);
    raise(number);
    errno = savedErrno;
}

void OnStop(int number) {
    const int savedErrno = errno;
    PutSavedModeBack();
    signal(number, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, number);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    raise(number);
    // Continued.
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    signal(number, OnStop);
    continued = 1;
    errno = savedErrno;
}

void OnContinue(int) {
    continued = 1;
}

// Takes over only signals still at their default action: whoever ignores a
// signal, or handles it, keeps doing so.
void Install(int number, void (*handler)(int)) {
    struct sigaction current {};
    if (sigaction(number, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // The handlers stay for the rest of the run: a stop and continue must not
    // make the library's own blocking calls fail.  (The key wait is ppoll,
    // which returns on a handled signal all the same.)
    action.sa_flags = SA_RESTART;
    sigaction(number, &action, nullptr);
}

void InstallHandlersOnce() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int number : EndingSignals) Install(number, OnEndingSignal);
    Install(SIGTSTP, OnStop);
    Install(SIGTTIN, OnStop);
    Install(SIGTTOU, OnStop);
    Install(SIGCONT, OnContinue);
}

termios MakeRaw(const termios &mode) {
    termios raw = mode;
    raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    raw.c_cflag |= CS8;
    // Reads return at once with what is there; waiting is done with poll.
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    return raw;
}

Milliseconds Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<Milliseconds>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// A peek sees at most this many events ahead.
constexpr std::size_t PeekLimit = 64;

class TerminalKeyboard final : public ConsoleInput {
public:
    explicit TerminalKeyboard(int descriptor) : descriptor_(descriptor) {
        terminalDescriptor = descriptor;
    }
    ~TerminalKeyboard() {
        terminalDescriptor = -1;
        close(descriptor_);
    }

    bool SaveMode() override {
        termios mode{};
        if (tcgetattr(descriptor_, &mode) != 0) return false;
        savedMode = mode;
        return true;
    }

    bool SetRawMode() override {
        InstallHandlersOnce();
        rawMode = MakeRaw(savedMode);
        continued = 0;
        rawActive = 1;
        if (Apply(rawMode)) return true;
        rawActive = 0;
        return false;
    }

    bool RestoreMode() override {
        const bool restored = Apply(savedMode);
        rawActive = 0;
        return restored;
    }

    bool ReadEvent(InputEvent &event) override {
        for (;;) {
            const DecodeStep step = decoder_.Decode(0, Now());
            switch (step.kind) {
            case DecodeStep::Kind::Key:
                decoder_.Consume(step);
                event.kind = InputEvent::Kind::Key;
                event.key = step.event;
                return true;
            case DecodeStep::Kind::Skip:
                decoder_.Consume(step);
                break;
            case DecodeStep::Kind::Wait:
                if (!Receive(step.deadline)) return false;
                break;
            case DecodeStep::Kind::Empty:
                if (!Receive(-1)) return false;
                break;
            }
        }
    }

    bool CountEvents(std::size_t &count) override {
        Milliseconds now = Now();
        const DecodeStep head = DropWhatMakesNoKey(now);
        if (head.kind != DecodeStep::Kind::Key) {
            if (!TakeWaitingBytes()) return false;
            now = Now();
            DropWhatMakesNoKey(now);
        }
        peekedCount_ = 0;
        std::size_t offset = 0;
        while (peekedCount_ < PeekLimit) {
            const DecodeStep step = decoder_.Decode(offset, now);
            if (step.kind == DecodeStep::Kind::Key) {
                peeked_[peekedCount_].kind = InputEvent::Kind::Key;
                peeked_[peekedCount_].key = step.event;
                ++peekedCount_;
            } else if (step.kind != DecodeStep::Kind::Skip) {
                break;
            }
            offset += step.length;
        }
        count = peekedCount_;
        return true;
    }

    bool PeekEvents(InputEvent *events, std::size_t capacity, std::size_t &copied) override {
        copied = 0;
        while (copied < capacity && copied < peekedCount_) {
            events[copied] = peeked_[copied];
            ++copied;
        }
        return true;
    }

private:
    bool Apply(const termios &mode) {
        for (;;) {
            if (tcsetattr(descriptor_, TCSANOW, &mode) == 0) return true;
            if (errno != EINTR) return false;
        }
    }

    // Bytes at the head that make no key are no event: drop them.  Returns
    // the step now at the head.
    DecodeStep DropWhatMakesNoKey(Milliseconds now) {
        for (;;) {
            const DecodeStep step = decoder_.Decode(0, now);
            if (step.kind != DecodeStep::Kind::Skip) return step;
            decoder_.Consume(step);
        }
    }

    // Reads what has arrived; true unless the terminal failed or hung up.
    bool ReadAvailable() {
        unsigned char buffer[4096];
        const std::size_t room = decoder_.Room() < sizeof buffer ? decoder_.Room() : sizeof buffer;
        if (room == 0) return true;
        for (;;) {
            const ssize_t got = read(descriptor_, buffer, room);
            if (got > 0) {
                decoder_.Feed(buffer, static_cast<std::size_t>(got), Now());
                return true;
            }
            if (got == 0) return true;
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
    }

    // Waits until deadline (-1: for ever) or until bytes arrive, and takes
    // them.  Raw mode must be set.  The stop and continue signals are held
    // back except inside ppoll, so that a stop can't slip in between the
    // check for one and the wait.
    bool Receive(Milliseconds deadline) {
        sigset_t held, waiting;
        sigemptyset(&held);
        for (int number : {SIGCONT, SIGTSTP, SIGTTIN, SIGTTOU}) sigaddset(&held, number);
        sigprocmask(SIG_BLOCK, &held, &waiting);
        const bool received = ReceiveHeld(deadline, waiting);
        sigprocmask(SIG_SETMASK, &waiting, nullptr);
        return received;
    }

    bool ReceiveHeld(Milliseconds deadline, const sigset_t &waiting) {
        for (;;) {
            if (continued) {
                // Stopped and continued: the shell may have put its own mode
                // on the terminal meanwhile.
                continued = 0;
                Apply(rawMode);
            }
            timespec timeout{};
            timespec *limit = nullptr;
            if (deadline >= 0) {
                const Milliseconds left = deadline - Now();
                if (left <= 0) return true;
                timeout.tv_sec = static_cast<time_t>(left / 1000);
                timeout.tv_nsec = static_cast<long>(left % 1000) * 1000000L;
                limit = &timeout;
            }
            pollfd entry{descriptor_, POLLIN, 0};
            const int ready = ppoll(&entry, 1, limit, &waiting);
            if (ready < 0) {
                if (errno != EINTR) return false;
                continue;
            }
            if (ready == 0) return true;
            if (entry.revents & POLLIN) return ReadAvailable() && !HungUp(entry.revents);
            return false;  // hang-up or error with nothing to read
        }
    }

    bool HungUp(short revents) const {
        // Bytes that came with a hang-up are still delivered first.
        return (revents & (POLLHUP | POLLERR)) != 0 && decoder_.Size() == 0;
    }

    // Outside a key call the terminal gathers lines and would hold back a
    // key until Enter: look at what was typed in raw mode, briefly.
    bool TakeWaitingBytes() {
        const bool alreadyRaw = rawActive != 0;
        if (!alreadyRaw) {
            if (!SaveMode()) return false;
            if (!SetRawMode()) {
                RestoreMode();
                return false;
            }
        }
        bool ok = true;
        pollfd entry{descriptor_, POLLIN, 0};
        int ready;
        while ((ready = poll(&entry, 1, 0)) < 0 && errno == EINTR) {
        }
        if (ready < 0)
            ok = false;
        else if (ready > 0 && (entry.revents & POLLIN))
            ok = ReadAvailable();
        else if (ready > 0)
            ok = false;
        if (!alreadyRaw) RestoreMode();
        return ok;
    }

    int descriptor_;
    TerminalDecoder decoder_;
    InputEvent peeked_[PeekLimit];
    std::size_t peekedCount_ = 0;
};

// The one keyboard of the program, in storage of its own: no allocation.
alignas(TerminalKeyboard) unsigned char keyboardStorage[sizeof(TerminalKeyboard)];
TerminalKeyboard *keyboard = nullptr;

}  // namespace

ConsoleInput *OpenConsoleInput() {
    if (keyboard != nullptr) return keyboard;
    int descriptor = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return nullptr;
    // With a standard stream closed, the terminal would take its number and
    // the stream's output would land on the terminal: keep above them.
    if (descriptor <= 2) {
        const int above = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
        close(descriptor);
        if (above < 0) return nullptr;
        descriptor = above;
    }
    keyboard = new (keyboardStorage) TerminalKeyboard(descriptor);
    return keyboard;
}

void CloseConsoleInput(ConsoleInput *device) {
    if (device == nullptr || device != keyboard) return;
    keyboard->~TerminalKeyboard();
    keyboard = nullptr;
}

}  // namespace vorla::platform
