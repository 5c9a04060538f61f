// The key services through the real vorla process, with a pseudo-terminal as
// its controlling terminal and standard input redirected from a file.
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "process.h"

namespace vorla::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool SameSettings(const termios &a, const termios &b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

termios SettingsOf(const PseudoTerminal &terminal) {
    termios settings{};
    EXPECT_EQ(tcgetattr(terminal.Slave(), &settings), 0);
    return settings;
}

class KeyServicesTest : public ::testing::Test {
protected:
    static fs::path install;
    fs::path report;
    fs::path input;
    PseudoTerminal terminal;

    static void SetUpTestSuite() { install = MakeInstall("keys", PROBE_LIBRARY); }
    static void TearDownTestSuite() { fs::remove_all(install); }
    void SetUp() override {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        report = install / ("report-" + name);
        input = install / ("input-" + name);
        fs::remove(report);
        std::ofstream(input) << "line from the file\n";
    }

    ChildOptions Options(std::vector<std::string> operations, bool withTerminal = true) {
        ChildOptions options;
        options.program = (install / "vorla").string();
        options.arguments = {"vorla"};
        options.arguments.insert(options.arguments.end(), operations.begin(), operations.end());
        options.environment = {{"VORLA_PROBE_REPORT", report.string()}};
        options.inputFile = input;
        if (withTerminal) options.terminal = terminal.SlavePath();
        return options;
    }

    std::vector<std::string> Codes() {
        std::vector<std::string> codes;
        for (const std::string &line : ReadLines(report))
            if (line.rfind("code ", 0) == 0) codes.push_back(line.substr(5));
        return codes;
    }

    bool WaitForCodes(std::size_t count, std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Codes().size() < count) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    std::vector<std::string> Reported() {
        std::vector<std::string> lines = ReadLines(report);
        // Past the result cell and the command text.
        lines.erase(lines.begin(), lines.begin() + std::min<std::size_t>(2, lines.size()));
        return lines;
    }
};
fs::path KeyServicesTest::install;

struct TypedKey {
    const char *name;
    std::string bytes;
    std::vector<std::string> codes;
};

TEST_F(KeyServicesTest, TypedKeysGiveTheirCodes) {
    const TypedKey keys[] = {
        {"F1", "\x1bOP", {"0", "59"}},
        {"Up", "\x1b[A", {"224", "72"}},
        {"Ctrl+Up", "\x1b[1;5A", {"224", "141"}},
        {"Shift+F1", "\x1b[1;2P", {"0", "84"}},
        {"F11", "\x1b[23~", {"224", "133"}},
        {"Ctrl+C", "\x03", {"3"}},
        {"Ctrl+Z", "\x1a", {"26"}},
        {"Ctrl+\\", "\x1c", {"28"}},
        {"Ctrl+S", "\x13", {"19"}},
        {"Ctrl+Q", "\x11", {"17"}},
        {"Ctrl+D", "\x04", {"4"}},
        {"Enter", "\r", {"13"}},
        {"Backspace", "\x7f", {"8"}},
        {"Ctrl+Space", std::string(1, '\0'), {"0", "3"}},
        {"Alt+x", "\x1bx", {"0", "45"}},
        {"byte above 127", "\xe9", {"233"}},
        {"Esc", "\x1b", {"27"}},
        {"mouse report, then a", "\x1b[<0;3;4Ma", {"97"}},
    };
    std::size_t total = 0;
    for (const TypedKey &key : keys) total += key.codes.size();

    const termios before = SettingsOf(terminal);
    Child child(Options({"keys=" + std::to_string(total), "getline", "status=0"}));
    std::vector<std::string> expected;
    for (const TypedKey &key : keys) {
        ASSERT_TRUE(terminal.WaitForRawMode(5s)) << key.name;
        terminal.Type(key.bytes);
        expected.insert(expected.end(), key.codes.begin(), key.codes.end());
        ASSERT_TRUE(WaitForCodes(expected.size())) << key.name;
        EXPECT_EQ(Codes(), expected) << key.name;
    }
    const ChildResult result = child.Finish();
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 0);
    // Standard input is still the file.
    EXPECT_EQ(Reported().at(total), "getline \"line\\x20from\\x20the\\x20file\" ");
    EXPECT_TRUE(SameSettings(before, SettingsOf(terminal)));
}

TEST_F(KeyServicesTest, KeySplitAcrossWritesIsOneKey) {
    Child child(Options({"keys=4"}));
    ASSERT_TRUE(terminal.WaitForRawMode(5s));
    terminal.Type("\x1b[1");
    std::this_thread::sleep_for(20ms);
    terminal.Type("5;5~");
    ASSERT_TRUE(WaitForCodes(2));
    ASSERT_TRUE(terminal.WaitForRawMode(5s));
    terminal.Type("\x1bO");
    std::this_thread::sleep_for(20ms);
    terminal.Type("Q");
    ASSERT_TRUE(WaitForCodes(4));
    EXPECT_EQ(Codes(), (std::vector<std::string>{"0", "98", "0", "60"}));
    child.Finish();
}

TEST_F(KeyServicesTest, RawModeIsOnlyInsideTheCall) {
    const termios before = SettingsOf(terminal);
    Child child(Options({"keys=1", "sleep=400"}));
    ASSERT_TRUE(terminal.WaitForRawMode(5s));
    const termios raw = SettingsOf(terminal);
    EXPECT_EQ(raw.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(raw.c_iflag & (ICRNL | IXON | ISTRIP), 0u);
    EXPECT_EQ(raw.c_oflag, before.c_oflag) << "output settings are left alone";
    terminal.Type("k");
    ASSERT_TRUE(WaitForCodes(1));
    EXPECT_TRUE(SameSettings(before, SettingsOf(terminal)));  // while the library sleeps
    child.Finish();
}

TEST_F(KeyServicesTest, PollKeyReturnsAtOnceAndLosesNothing) {
    const termios before = SettingsOf(terminal);
    Child child(Options({"poll", "sleep=400", "poll", "poll", "poll", "poll", "key", "poll"}));
    ASSERT_TRUE(WaitForLine(report, "poll 0", 5s));
    // Typed while no key call runs: the terminal gathers lines then, and
    // PollKey still sees the keys.
    terminal.Type("\x1bOPabc");
    const ChildResult result = child.Finish();
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(Reported(), (std::vector<std::string>{"poll 0", "poll 0", "poll 59", "poll 97", "poll 98",
                                                    "key 99", "poll 0", "done"}));
    EXPECT_TRUE(SameSettings(before, SettingsOf(terminal)));
}

TEST_F(KeyServicesTest, WithoutAControllingTerminalGetKeyFailsAndPollKeyIsZero) {
    const ChildResult result = RunChild(Options({"key", "poll", "key", "poll"}, false));
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(Reported(), (std::vector<std::string>{"key -1", "poll 0", "key -1", "poll 0", "done"}));
}

struct SignalCase {
    int signal;
    const char *name;
};

TEST_F(KeyServicesTest, SignalDuringGetKeyRestoresTheTerminalAndEndsByThatSignal) {
    const SignalCase cases[] = {
        {SIGTERM, "TERM"}, {SIGHUP, "HUP"}, {SIGINT, "INT"}, {SIGQUIT, "QUIT"}, {SIGABRT, "ABRT"},
#if !defined(__SANITIZE_ADDRESS__)
        // The address sanitizer handles the fault signals itself, and vorla
        // leaves a handler it finds in place.
        {SIGSEGV, "SEGV"}, {SIGBUS, "BUS"}, {SIGILL, "ILL"}, {SIGFPE, "FPE"},
#endif
    };
    for (const SignalCase &c : cases) {
        const termios before = SettingsOf(terminal);
        Child child(Options({"key"}));
        ASSERT_TRUE(terminal.WaitForRawMode(5s)) << c.name;
        kill(child.Pid(), c.signal);
        const ChildResult result = child.Finish();
        EXPECT_FALSE(result.exited) << c.name;
        EXPECT_EQ(result.signal, c.signal) << c.name;
        EXPECT_TRUE(SameSettings(before, SettingsOf(terminal))) << c.name;
    }
}

bool WaitUntil(const std::function<bool()> &condition) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST_F(KeyServicesTest, StopAndContinueDuringGetKey) {
    const termios before = SettingsOf(terminal);
    ChildOptions options = Options({"keys=1"});
    options.jobControl = true;
    Child child(options);
    ASSERT_TRUE(terminal.WaitForRawMode(5s));

    // Stopped by the keyboard's stop signal: the terminal is put back while
    // stopped, and raw mode comes back on continuing.
    kill(child.Pid(), SIGTSTP);
    ASSERT_TRUE(WaitUntil([&] { return child.Stopped(); }));
    EXPECT_TRUE(SameSettings(before, SettingsOf(terminal)));
    kill(child.Pid(), SIGCONT);
    ASSERT_TRUE(terminal.WaitForRawMode(5s));

    // A stop that can't be caught, with the shell's own mode put on the
    // terminal meanwhile: raw mode is set again on continuing.
    kill(child.Pid(), SIGSTOP);
    ASSERT_TRUE(WaitUntil([&] { return child.Stopped(); }));
    ASSERT_EQ(tcsetattr(terminal.Slave(), TCSANOW, &before), 0);
    kill(child.Pid(), SIGCONT);
    ASSERT_TRUE(terminal.WaitForRawMode(5s));
    terminal.Type("\r");
    ASSERT_TRUE(WaitForCodes(1));
    EXPECT_EQ(Codes(), std::vector<std::string>{"13"});
    const ChildResult result = child.Finish();
    EXPECT_TRUE(result.exited);
    EXPECT_TRUE(SameSettings(before, SettingsOf(terminal)));
}

TEST_F(KeyServicesTest, ClosedStandardOutputStaysClosed) {
    // The terminal must not take the closed stream's place.
    // A closed stream is no terminal: buffered, and failing when written.
    ChildOptions options = Options({"line=lost", "fill=20000:0", "put=-1:kept", "key"});
    options.closeOutput = true;
    options.errorToTerminal = true;
    Child child(options);
    ASSERT_TRUE(terminal.WaitForRawMode(5s));
    terminal.Type("z");
    child.Finish();
    EXPECT_EQ(Reported(), (std::vector<std::string>{"line 0", "fill -1", "put 0", "key 122", "done"}));
    // Nothing of standard output reached the terminal, not even at the end.
    EXPECT_EQ(terminal.ReadFor(200ms), "kept");
}

TEST_F(KeyServicesTest, HangUpEndsTheWaitWithMinusOne) {
    ChildOptions options = Options({"key", "status=0"});
    Child child(options);
    ASSERT_TRUE(terminal.WaitForRawMode(5s));
    // Closing every master descriptor hangs the terminal up.
    terminal.CloseMaster();
    const ChildResult result = child.Finish();
    // SIGHUP goes to the session's leader, which vorla is here.
    EXPECT_TRUE(result.signal == SIGHUP || (result.exited && Reported().at(0) == "key -1"))
        << result.signal << " " << result.status;
}

}  // namespace
}  // namespace vorla::test
