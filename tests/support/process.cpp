#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vorla::test {
namespace {

void Check(bool ok, const char *what) {
    if (!ok) throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

void MakePipe(int ends[2]) {
    Check(pipe2(ends, O_CLOEXEC) == 0, "pipe");
}

[[noreturn]] void ChildFails(const char *what) {
    const std::string message = std::string("child set-up failed: ") + what + "\n";
    if (write(2, message.data(), message.size()) < 0) {
    }
    _exit(121);
}

// In the session leader: forks the job, which carries on to run the
// program in its own foreground process group; the leader reports the job's
// process and then waits for it, ending as it ended.
void RunAsJob(int reportPipe) {
    const pid_t job = fork();
    if (job < 0) ChildFails("fork job");
    if (job == 0) {
        setpgid(0, 0);
        sigset_t ttou, old;
        sigemptyset(&ttou);
        sigaddset(&ttou, SIGTTOU);
        sigprocmask(SIG_BLOCK, &ttou, &old);
        if (tcsetpgrp(0, getpgrp()) != 0 && tcsetpgrp(1, getpgrp()) != 0 && tcsetpgrp(2, getpgrp()) != 0) {
            const int tty = open("/dev/tty", O_RDWR);
            if (tty < 0 || tcsetpgrp(tty, getpgrp()) != 0) ChildFails("tcsetpgrp");
            close(tty);
        }
        sigprocmask(SIG_SETMASK, &old, nullptr);
        close(reportPipe);
        return;
    }
    setpgid(job, job);
    if (write(reportPipe, &job, sizeof job) < 0) ChildFails("report job");
    close(reportPipe);
    for (int i = 0; i < 3; ++i) close(i);
    int status = 0;
    while (waitpid(job, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        signal(WTERMSIG(status), SIG_DFL);
        raise(WTERMSIG(status));
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 122);
}

}  // namespace

bool Child::Stopped() const {
    std::ifstream stat("/proc/" + std::to_string(programPid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t end = text.rfind(')');
    return end != std::string::npos && end + 2 < text.size() && text[end + 2] == 'T';
}

Child::Child(const ChildOptions &options) {
    // A child that ends without reading all its input must not take the test
    // down with SIGPIPE; the write just fails.  (Children get the default.)
    signal(SIGPIPE, SIG_IGN);
    int input[2] = {-1, -1}, output[2], error[2];
    if (options.inputData) MakePipe(input);
    MakePipe(output);
    MakePipe(error);
    if (options.outputReaderGone) {
        // Gone before the child even starts.
        close(output[0]);
        output[0] = -1;
    }

    std::vector<std::string> environment;
    for (char **entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const auto &[name, value] : options.environment)
            if (text.rfind(name + "=", 0) == 0) replaced = true;
        if (!replaced) environment.push_back(text);
    }
    for (const auto &[name, value] : options.environment) environment.push_back(name + "=" + value);
    std::vector<char *> envp, argv;
    for (std::string &entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> arguments = options.arguments;
    for (std::string &argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int report[2] = {-1, -1};
    if (options.jobControl) MakePipe(report);

    pid_ = fork();
    Check(pid_ >= 0, "fork");
    if (pid_ == 0) {
        rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        if (setsid() < 0) ChildFails("setsid");
        int terminal = -1;
        if (!options.terminal.empty()) {
            terminal = open(options.terminal.c_str(), O_RDWR);
            if (terminal < 0 || ioctl(terminal, TIOCSCTTY, 0) < 0) ChildFails("terminal");
        }
        int in;
        if (options.inputFromTerminal)
            in = terminal;
        else if (options.inputData)
            in = input[0];
        else if (options.inputFile)
            in = open(options.inputFile->c_str(), O_RDONLY);
        else
            in = open("/dev/null", O_RDONLY);
        if (in < 0) ChildFails("input");
        const int out = options.outputToTerminal ? terminal : output[1];
        const int err = options.errorToTerminal ? terminal : error[1];
        if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) ChildFails("dup2");
        if (terminal > 2) close(terminal);
        if (options.closeOutput) close(1);
        if (options.jobControl) RunAsJob(report[1]);
        if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) ChildFails("chdir");
        execve(options.program.c_str(), argv.data(), envp.data());
        ChildFails("execve");
    }
    programPid_ = pid_;
    if (options.jobControl) {
        close(report[1]);
        pid_t job = -1;
        if (read(report[0], &job, sizeof job) == static_cast<ssize_t>(sizeof job)) programPid_ = job;
        close(report[0]);
    }
    if (options.inputData) {
        close(input[0]);
        inputPipe_ = input[1];
        pendingInput_ = *options.inputData;
        fcntl(inputPipe_, F_SETFL, O_NONBLOCK);
    }
    close(output[1]);
    close(error[1]);
    outputPipe_ = output[0];
    errorPipe_ = error[0];
}

Child::~Child() {
    if (!finished_) {
        kill(pid_, SIGKILL);
        Finish(std::chrono::seconds(5));
    }
}

ChildResult Child::Finish(std::chrono::milliseconds timeout) {
    ChildResult result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool killed = false;
    if (inputPipe_ >= 0 && pendingInput_.empty()) {
        close(inputPipe_);
        inputPipe_ = -1;
    }
    while (outputPipe_ >= 0 || errorPipe_ >= 0 || inputPipe_ >= 0) {
        pollfd entries[3];
        int count = 0;
        if (outputPipe_ >= 0) entries[count++] = {outputPipe_, POLLIN, 0};
        if (errorPipe_ >= 0) entries[count++] = {errorPipe_, POLLIN, 0};
        if (inputPipe_ >= 0) entries[count++] = {inputPipe_, POLLOUT, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 && !killed) {
            kill(pid_, SIGKILL);
            killed = true;
        }
        if (poll(entries, static_cast<nfds_t>(count), killed ? 1000 : static_cast<int>(left.count())) < 0 &&
            errno != EINTR)
            break;
        for (int i = 0; i < count; ++i) {
            if (entries[i].revents == 0) continue;
            int &fd = entries[i].fd == outputPipe_  ? outputPipe_
                      : entries[i].fd == errorPipe_ ? errorPipe_
                                                    : inputPipe_;
            if (&fd == &inputPipe_) {
                const ssize_t written = write(fd, pendingInput_.data(), pendingInput_.size());
                if (written > 0) pendingInput_.erase(0, static_cast<std::size_t>(written));
                if (written < 0 || pendingInput_.empty()) {
                    close(fd);
                    fd = -1;
                }
                continue;
            }
            char buffer[65536];
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got > 0) {
                (&fd == &outputPipe_ ? result.output : result.error).append(buffer, static_cast<std::size_t>(got));
            } else {
                close(fd);
                fd = -1;
            }
        }
        if (killed && std::chrono::steady_clock::now() > deadline + std::chrono::seconds(5)) break;
    }
    for (int *fd : {&inputPipe_, &outputPipe_, &errorPipe_})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    int status = 0;
    if (!killed) {
        // The pipes closed; the process may still be running (a child of it
        // holding them is gone): give it until the deadline.
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid_, SIGKILL);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    finished_ = true;
    result.exited = WIFEXITED(status);
    result.status = result.exited ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
}

ChildResult RunChild(const ChildOptions &options) {
    Child child(options);
    return child.Finish();
}

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    Check(master_ >= 0, "posix_openpt");
    Check(grantpt(master_) == 0 && unlockpt(master_) == 0, "unlockpt");
    slavePath_ = ptsname(master_);
    slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    Check(slave_ >= 0, "open slave");
}

PseudoTerminal::~PseudoTerminal() {
    close(slave_);
    CloseMaster();
}

void PseudoTerminal::CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

void PseudoTerminal::Type(const std::string &bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(master_, bytes.data() + done, bytes.size() - done);
        Check(written > 0 || errno == EINTR, "write to terminal");
        if (written > 0) done += static_cast<std::size_t>(written);
    }
}

std::string PseudoTerminal::ReadFor(std::chrono::milliseconds timeout) const {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return text;
        pollfd entry{master_, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t got = read(master_, buffer, sizeof buffer);
        if (got <= 0) return text;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

std::string PseudoTerminal::ReadUntil(const std::string &wanted, std::chrono::milliseconds timeout) const {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (text.find(wanted) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd entry{master_, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t got = read(master_, buffer, sizeof buffer);
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

bool PseudoTerminal::WaitForRawMode(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        termios mode{};
        if (tcgetattr(slave_, &mode) == 0 && !(mode.c_lflag & ICANON)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

std::filesystem::path MakeTempDirectory(const std::string &stem) {
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vorla-" + stem + "-XXXXXX";
    Check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    return pattern;
}

std::filesystem::path MakeInstall(const std::string &stem, const std::string &library) {
    const std::filesystem::path directory = MakeTempDirectory(stem);
    std::filesystem::copy_file(VORLA_PROGRAM, directory / "vorla");
    if (!library.empty()) std::filesystem::copy_file(library, directory / "vorla.dll");
    return directory;
}

std::string ReadFile(const std::filesystem::path &path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> ReadLines(const std::filesystem::path &path) {
    std::vector<std::string> lines;
    std::istringstream text(ReadFile(path));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

bool WaitForLine(const std::filesystem::path &path, const std::string &line,
                 std::chrono::milliseconds timeout, bool prefix) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        for (const std::string &seen : ReadLines(path))
            if (prefix ? seen.rfind(line, 0) == 0 : seen == line) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

}  // namespace vorla::test
