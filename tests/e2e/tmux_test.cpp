// vorla keys inside a real terminal program: tmux, driven with send-keys.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "process.h"

namespace vorla::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TmuxTest : public ::testing::Test {
protected:
    fs::path install;
    std::string socket;

    void SetUp() override {
        install = MakeInstall("tmux", SAMPLE_LIBRARY);
        socket = "vorla-test-" + std::to_string(getpid());
    }
    void TearDown() override {
        Tmux({"kill-server"});
        fs::remove_all(install);
    }

    ChildResult Tmux(std::vector<std::string> arguments) {
        ChildOptions options;
        options.program = "/usr/bin/tmux";
        options.arguments = {"tmux", "-L", socket, "-f", "/dev/null"};
        options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
        options.environment = {{"TERM", "xterm-256color"}};
        return RunChild(options);
    }

    // The lines vorla keys printed so far, blanks trimmed.
    std::vector<std::string> Screen() {
        std::vector<std::string> lines;
        std::istringstream text(Tmux({"capture-pane", "-p", "-t", "keys"}).output);
        for (std::string line; std::getline(text, line);) {
            const std::size_t first = line.find_first_not_of(' ');
            const std::size_t last = line.find_last_not_of(' ');
            if (first != std::string::npos) lines.push_back(line.substr(first, last - first + 1));
        }
        return lines;
    }

    bool WaitForLines(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (Screen().size() < count) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }
};

struct NamedKey {
    const char *name;  // as send-keys takes it
    const char *line;  // as vorla keys prints it
};

TEST_F(TmuxTest, NamedKeysGiveTheirCodes) {
    ASSERT_TRUE(fs::exists("/usr/bin/tmux")) << "tmux is installed by scripts/install-dependencies";
    const std::string command = (install / "vorla").string() + " keys; sleep 30";
    ASSERT_EQ(Tmux({"new-session", "-d", "-s", "keys", "-x", "100", "-y", "50", command}).status, 0);
    Tmux({"set", "-s", "escape-time", "0"});
    ASSERT_TRUE(WaitForLines(1));  // the prompt on standard error

    const NamedKey keys[] = {
        {"F1", "0  59"},       {"F5", "0  63"},       {"F12", "224 134"},  {"C-Up", "224 141"},
        {"S-F1", "0  84"},     {"M-x", "0  45"},      {"BTab", "0  15"},   {"Home", "224  71"},
        {"End", "224  79"},    {"PPage", "224  73"},  {"DC", "224  83"},   {"C-Right", "224 116"},
        {"M-Up", "0 152"},     {"S-Up", "224  72"},   {"F10", "0  68"},    {"C-F5", "0  98"},
        {"Enter", "13"},       {"BSpace", "8"},       {"Tab", "9"},        {"C-c", "3"},
        {"a", "97     'a'"},   {"M-1", "0 120"},      {"C-Space", "0   3"}, {"IC", "224  82"},
    };
    std::size_t lines = 1;
    for (const NamedKey &key : keys) {
        Tmux({"send-keys", "-t", "keys", key.name});
        ++lines;
        ASSERT_TRUE(WaitForLines(lines)) << key.name;
        EXPECT_EQ(Screen().at(lines - 1), key.line) << key.name;
    }
    // Esc pressed twice ends the command.
    Tmux({"send-keys", "-t", "keys", "Escape"});
    ASSERT_TRUE(WaitForLines(lines + 1));
    std::this_thread::sleep_for(100ms);
    Tmux({"send-keys", "-t", "keys", "Escape"});
    ASSERT_TRUE(WaitForLines(lines + 2));
    EXPECT_EQ(Screen().at(lines), "27");
    EXPECT_EQ(Screen().at(lines + 1), "27");
}

}  // namespace
}  // namespace vorla::test
