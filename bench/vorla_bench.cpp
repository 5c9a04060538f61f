// Prints vorla's speed and memory beside a reference's:
//   start-up     vorla with a library that returns at once, against a plain
//                C program that loads the same library with dlopen
//   output       a million PutLine calls into a pipe, against puts
//   PollKey      with no key waiting, on a pseudo-terminal, against one bare
//                poll of the terminal
//   decoder      terminal bytes to key events, against a memchr pass
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "console_services/terminal_decoder.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Run {
    double seconds;
    long maxResidentKiB;
};

// Runs a program with standard output into a pipe that is drained here.
Run Spawn(const std::vector<std::string> &arguments) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char *> argv;
    for (const std::string &argument : arguments) argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) std::abort();
    close(pipeEnds[1]);
    static char sink[1 << 16];
    while (read(pipeEnds[0], sink, sizeof sink) > 0) {
    }
    close(pipeEnds[0]);
    int status;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", arguments[0].c_str());
        std::exit(1);
    }
    return {seconds, usage.ru_maxrss};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Row(const char *what, double vorla, double reference, const char *unit) {
    std::printf("  %-34s %12.2f %12.2f %-6s  %5.2fx\n", what, vorla, reference, unit, vorla / reference);
}

void StartUp(const fs::path &vorla) {
    std::vector<double> ours, theirs;
    long oursKiB = 0, theirsKiB = 0;
    for (int i = 0; i < 400; ++i) {
        const Run a = Spawn({vorla.string()});
        const Run b = Spawn({REFERENCE_LOADER, BENCH_LIBRARY});
        if (i < 20) continue;  // warm-up
        ours.push_back(a.seconds * 1e6);
        theirs.push_back(b.seconds * 1e6);
        oursKiB = std::max(oursKiB, a.maxResidentKiB);
        theirsKiB = std::max(theirsKiB, b.maxResidentKiB);
    }
    Row("start-up, median", Median(ours), Median(theirs), "us");
    Row("start-up, peak resident memory", static_cast<double>(oursKiB), static_cast<double>(theirsKiB), "KiB");
}

void Output(const fs::path &vorla) {
    std::vector<double> ours, theirs;
    for (int i = 0; i < 7; ++i) {
        ours.push_back(Spawn({vorla.string(), "lines", "1000000"}).seconds * 1e3);
        theirs.push_back(Spawn({REFERENCE_LOADER, BENCH_LIBRARY, "lines", "1000000"}).seconds * 1e3);
    }
    Row("1,000,000 lines into a pipe", Median(ours), Median(theirs), "ms");
}

void Polling(const fs::path &vorla) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) std::abort();
    const std::string slavePath = ptsname(master);
    constexpr int count = 100000;

    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const int slave = open(slavePath.c_str(), O_RDWR);
        ioctl(slave, TIOCSCTTY, 0);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        execl(vorla.c_str(), "vorla", "polls", std::to_string(count).c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status;
    waitpid(pid, &status, 0);
    const double ours = std::chrono::duration<double>(Clock::now() - start).count() * 1e6 / count;

    const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    const auto bareStart = Clock::now();
    for (int i = 0; i < count; ++i) {
        pollfd entry{slave, POLLIN, 0};
        poll(&entry, 1, 0);
    }
    const double bare = std::chrono::duration<double>(Clock::now() - bareStart).count() * 1e6 / count;
    close(slave);
    close(master);
    Row("PollKey, nothing waiting (per call)", ours, bare, "us");
}

void Decoder() {
    const char *keys[] = {"a", "\x1b[A", "\x1bOP", "\x1b[15;5~", "Z", "\r", "\x1b[1;5C", "\x7f", "\xc3\xa9"};
    std::string bytes;
    for (int i = 0; bytes.size() < 16u << 20; ++i) bytes += keys[i % 9];

    double best = 1e9, bestReference = 1e9;
    std::size_t produced = 0;
    for (int round = 0; round < 5; ++round) {
        static vorla::TerminalDecoder decoder;
        const auto start = Clock::now();
        produced = 0;
        for (std::size_t fed = 0; fed < bytes.size();) {
            fed += decoder.Feed(reinterpret_cast<const unsigned char *>(bytes.data()) + fed, bytes.size() - fed, 0);
            for (;;) {
                const vorla::DecodeStep step = decoder.Decode(0, fed < bytes.size() ? 0 : 1000);
                if (step.kind == vorla::DecodeStep::Kind::Empty || step.kind == vorla::DecodeStep::Kind::Wait) break;
                produced += step.kind == vorla::DecodeStep::Kind::Key;
                decoder.Consume(step);
            }
        }
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());

        const auto referenceStart = Clock::now();
        std::size_t escapes = 0;
        for (const char *p = bytes.data(), *end = p + bytes.size();
             (p = static_cast<const char *>(std::memchr(p, 0x1b, static_cast<std::size_t>(end - p)))) != nullptr; ++p)
            ++escapes;
        bestReference = std::min(bestReference, std::chrono::duration<double>(Clock::now() - referenceStart).count());
        if (escapes == 0) std::abort();
    }
    const double megabytes = static_cast<double>(bytes.size()) / (1 << 20);
    Row("decoder, MiB per second", megabytes / best, megabytes / bestReference, "MiB/s");
    std::printf("  (decoder: %zu keys from %.0f MiB, %.1f ns a key)\n", produced, megabytes,
                best * 1e9 / static_cast<double>(produced));
}

}  // namespace

int main() {
    const fs::path directory = fs::temp_directory_path() / ("vorla-bench-" + std::to_string(getpid()));
    fs::create_directories(directory);
    fs::copy_file(VORLA_PROGRAM, directory / "vorla");
    fs::copy_file(BENCH_LIBRARY, directory / "vorla.dll");
    const fs::path vorla = directory / "vorla";

    std::printf("  %-34s %12s %12s %-6s  %6s\n", "", "vorla", "reference", "", "ratio");
    StartUp(vorla);
    Output(vorla);
    Polling(vorla);
    Decoder();
    fs::remove_all(directory);
}
