// The text services through the real vorla process: pipes, files and a
// pseudo-terminal on the standard streams.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "process.h"

namespace vorla::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TextServicesTest : public ::testing::Test {
protected:
    static fs::path install;
    fs::path report;

    static void SetUpTestSuite() { install = MakeInstall("text", PROBE_LIBRARY); }
    static void TearDownTestSuite() { fs::remove_all(install); }
    void SetUp() override {
        report = install / ("report-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove(report);
    }

    ChildOptions Options(std::vector<std::string> operations) {
        ChildOptions options;
        options.program = (install / "vorla").string();
        options.arguments = {"vorla"};
        options.arguments.insert(options.arguments.end(), operations.begin(), operations.end());
        options.environment = {{"VORLA_PROBE_REPORT", report.string()}};
        return options;
    }

    ChildResult Run(std::vector<std::string> operations, std::optional<std::string> input = std::nullopt) {
        ChildOptions options = Options(std::move(operations));
        options.inputData = input;
        return RunChild(options);
    }

    // The report without its first lines (the result cell and the command
    // text) and its last ("done").
    std::vector<std::string> Reported() {
        std::vector<std::string> lines = ReadLines(report);
        if (lines.size() < 3 || lines.back() != "done") {
            ADD_FAILURE() << "incomplete report";
            return lines;
        }
        return std::vector<std::string>(lines.begin() + 2, lines.end() - 1);
    }
};
fs::path TextServicesTest::install;

using Lines = std::vector<std::string>;

TEST_F(TextServicesTest, SelectorMinusOneIsStandardErrorEveryOtherStandardOutput) {
    const ChildResult result =
        Run({"line=out", "put=-1:err", "put=0:zero", "put=1:one", "put=2:two", "put=7:seven",
             "put=-2:minus-two", "line=", "put=-1:\\n"});
    EXPECT_EQ(result.output, "out\nzeroonetwosevenminus-two\n");
    EXPECT_EQ(result.error, "err\n");
    EXPECT_EQ(Reported(), (Lines{"line 0", "put 0", "put 0", "put 0", "put 0", "put 0", "put 0",
                                 "line 0", "put 0"}));
}

TEST_F(TextServicesTest, NullTextsAndBuffersAreRefusedAndNothingTouched) {
    const ChildResult result = Run({"nulls"}, "untouched input\n");
    EXPECT_EQ(Reported(), Lines{"nulls -1 -1 null null"});
    EXPECT_EQ(result.output + result.error, "");
}

TEST_F(TextServicesTest, LinesWithAndWithoutAFinalLineFeed) {
    Run({"getline", "getline", "getline", "getline"}, "abc\n\ndef");
    EXPECT_EQ(Reported(), (Lines{"getline \"abc\" ", "getline \"\" ", "getline \"def\" ",
                                 "getline null untouched"}));
}

TEST_F(TextServicesTest, BytesPassUnchanged) {
    Run({"getline", "getline"}, std::string("a\x1a" "b\r\xff\n\x1a\n", 8));
    EXPECT_EQ(Reported(), (Lines{"getline \"a\\x1ab\\x0d\\xff\" ", "getline \"\\x1a\" "}));
}

TEST_F(TextServicesTest, LongLineComesBackInPiecesOf511) {
    const std::string line(1100, 'q');
    Run({"getline", "getline", "getline", "getline", "getline"}, line + "\nnext\n");
    EXPECT_EQ(Reported(), (Lines{"getline \"" + std::string(511, 'q') + "\" ",
                                 "getline \"" + std::string(511, 'q') + "\" ",
                                 "getline \"" + std::string(78, 'q') + "\" ", "getline \"next\" ",
                                 "getline null untouched"}));
}

TEST_F(TextServicesTest, LineOfExactly511HasNoExtraEmptyLine) {
    Run({"getline", "getline", "getline"}, std::string(511, 'r') + "\nx\n");
    EXPECT_EQ(Reported(), (Lines{"getline \"" + std::string(511, 'r') + "\" ", "getline \"x\" ",
                                 "getline null untouched"}));
}

TEST_F(TextServicesTest, GetTextSizes) {
    Run({"gettext=1", "gettext=0", "gettext=-5", "gettext=3", "gettext=10", "gettext=100:-1",
         "gettext=100", "gettext=1"},
        "hello\nworld\n");
    EXPECT_EQ(Reported(), (Lines{"gettext \"\" ", "gettext null untouched", "gettext null untouched",
                                 "gettext \"he\" ", "gettext \"llo\\x0a\" ", "gettext \"world\\x0a\" ",
                                 "gettext null untouched", "gettext \"\" "}));
}

TEST_F(TextServicesTest, GetTextFinalLineWithoutLineFeed) {
    Run({"gettext=100", "gettext=100"}, "tail");
    EXPECT_EQ(Reported(), (Lines{"gettext \"tail\" ", "gettext null untouched"}));
}

TEST_F(TextServicesTest, LargeCopyThroughPipesIsExact) {
    // The sample's cat: GetText and PutText over a pipe, with long lines and
    // every byte value but zero.
    std::string input;
    for (int i = 0; i < 20000; ++i) {
        input += std::to_string(i * 7919) + std::string(static_cast<std::size_t>(i % 97), static_cast<char>(1 + i % 255));
        input += (i % 1000 == 0) ? std::string(9000, 'L') + "\n" : "\n";
    }
    const fs::path sample = MakeInstall("cat", SAMPLE_LIBRARY);
    ChildOptions options;
    options.program = (sample / "vorla").string();
    options.arguments = {"vorla", "cat"};
    options.inputData = input;
    const ChildResult result = RunChild(options);
    fs::remove_all(sample);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output.size(), input.size());
    EXPECT_TRUE(result.output == input);
}

TEST_F(TextServicesTest, PipeOutputIsHeldUntilTheEnd) {
    Child child(Options({"put=0:early", "sleep=1500"}));
    // Nothing may come while the library still runs...
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(waitpid(child.Pid(), nullptr, WNOHANG), 0);
    const ChildResult result = child.Finish();
    // ...and all of it at the end.
    EXPECT_EQ(result.output, "early");
}

TEST_F(TextServicesTest, LibraryCallingExitStillDeliversOutput) {
    const ChildResult result = Run({"line=kept", "put=-1:also", "exit=4"});
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(result.output, "kept\n");
    EXPECT_EQ(result.error, "also");
}

TEST_F(TextServicesTest, TerminalOutputIsVisibleBeforeTheCallReturns) {
    PseudoTerminal terminal;
    ChildOptions options = Options({"put=0:prompt>", "line=whole", "put=-1:on-error", "sleep=3000"});
    options.terminal = terminal.SlavePath();
    options.outputToTerminal = true;
    options.errorToTerminal = true;
    Child child(options);
    const std::string seen = terminal.ReadUntil("on-error", 5s);
    EXPECT_EQ(seen, "prompt>whole\r\non-error");
    EXPECT_EQ(waitpid(child.Pid(), nullptr, WNOHANG), 0) << "still inside the library";
    kill(child.Pid(), SIGTERM);
    child.Finish();
}

TEST_F(TextServicesTest, TerminalEndOfInputIsForOneReadOnly) {
    PseudoTerminal terminal;
    ChildOptions options = Options({"getline", "getline", "getline", "gettext=10", "getline"});
    options.terminal = terminal.SlavePath();
    options.inputFromTerminal = true;
    Child child(options);
    terminal.Type("first\n");
    ASSERT_TRUE(WaitForLine(report, "getline \"first\" ", 5s));
    terminal.Type("\x04");  // the terminal's end-of-file key at the start of a line
    ASSERT_TRUE(WaitForLine(report, "getline null untouched", 5s));
    terminal.Type("after\n");  // later reads wait for new lines
    ASSERT_TRUE(WaitForLine(report, "getline \"after\" ", 5s));
    terminal.Type("\x01\xff\n");
    ASSERT_TRUE(WaitForLine(report, "gettext \"\\x01\\xff\\x0a\" ", 5s));
    terminal.Type("\x04");
    const ChildResult result = child.Finish();
    EXPECT_EQ(Reported(), (Lines{"getline \"first\" ", "getline null untouched", "getline \"after\" ",
                                 "gettext \"\\x01\\xff\\x0a\" ", "getline null untouched"}));
}

TEST_F(TextServicesTest, FailedWritesGiveMinusOne) {
    // /dev/full takes nothing: a write that goes out during the call fails.
    ChildOptions options = Options({"fill=20000:0", "fill=20000:-1", "status=3"});
    options.program = "/bin/sh";
    options.arguments = {"sh", "-c", "exec \"$0\" \"$@\" >/dev/full 2>/dev/full",
                         (install / "vorla").string(), "fill=20000:0", "fill=20000:-1", "status=3"};
    const ChildResult result = RunChild(options);
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(Reported(), (Lines{"fill -1", "fill -1"}));
}

TEST_F(TextServicesTest, ClosedPipeIsAFailedWriteNotADeathButShellCommandsStillDie) {
    ChildOptions options = Options({"fill=20000:0", "shell=yes", "status=5"});
    options.outputReaderGone = true;
    const ChildResult result = RunChild(options);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 5);
    EXPECT_EQ(Reported(), (Lines{"fill -1", "shell 141"}));  // yes ended by SIGPIPE
}

TEST_F(TextServicesTest, RunShellStatuses) {
    Run({"shell=exit\\s3", "shell=true", "shell=kill\\s-TERM\\s$$", "shellnull",
         "shell=no-such-command-anywhere\\s2>/dev/null", "shell=kill\\s-INT\\s$$"});
    EXPECT_EQ(Reported(), (Lines{"shell 3", "shell 0", "shell 143", "shellnull 1", "shell 127", "shell 130"}));
}

TEST_F(TextServicesTest, InterruptAndQuitWhileAShellRunsAreTheShells) {
    // Sent to vorla while it waits (as the terminal sends them to the whole
    // foreground group), they must not end vorla; afterwards they act again.
    const ChildResult result = Run({"shell=kill\\s-INT\\s$PPID;kill\\s-QUIT\\s$PPID;sleep\\s0.1;echo\\sstill",
                                    "status=6", "shell=(sleep\\s0.3;kill\\s-INT\\s$PPID)&", "sleep=5000"});
    EXPECT_EQ(result.output, "still\n");
    EXPECT_FALSE(result.exited);
    EXPECT_EQ(result.signal, SIGINT);
}

TEST_F(TextServicesTest, RunShellOutputLandsInOrderInAFile) {
    const fs::path output = install / "ordered-output";
    const fs::path error = install / "ordered-error";
    ChildOptions options = Options({});
    options.program = "/bin/sh";
    options.arguments = {"sh", "-c", "exec \"$0\" \"$@\" >\"$OUT\" 2>\"$ERR\"", (install / "vorla").string(),
                         "line=before", "put=-1:e-before\\n", "shell=echo\\sinside;echo\\se-inside\\s>&2",
                         "line=after", "put=-1:e-after\\n"};
    options.environment.push_back({"OUT", output.string()});
    options.environment.push_back({"ERR", error.string()});
    RunChild(options);
    EXPECT_EQ(ReadFile(output), "before\ninside\nafter\n");
    EXPECT_EQ(ReadFile(error), "e-before\ne-inside\ne-after\n");
}

TEST_F(TextServicesTest, RunShellReadsOnWhereTheLibraryStoppedInAFile) {
    const fs::path input = install / "shared-input";
    {
        std::ofstream file(input);
        file << "one\ntwo\nthree\n";
    }
    ChildOptions options = Options({"getline", "shell=read\\sline;echo\\sshell:$line", "getline", "getline"});
    options.inputFile = input;
    const ChildResult result = RunChild(options);
    EXPECT_EQ(result.output, "shell:two\n");
    EXPECT_EQ(Reported(), (Lines{"getline \"one\" ", "shell 0", "getline \"three\" ", "getline null untouched"}));
}

TEST_F(TextServicesTest, UnreadInputIsLeftForTheNextReaderOfTheFile) {
    const fs::path input = install / "left-input";
    {
        std::ofstream file(input);
        file << "first\nsecond\nthird\n";
    }
    ChildOptions options;
    options.program = "/bin/sh";
    options.arguments = {"sh", "-c", "\"$0\" getline; cat", (install / "vorla").string()};
    options.environment = {{"VORLA_PROBE_REPORT", report.string()}};
    options.inputFile = input;
    const ChildResult result = RunChild(options);
    EXPECT_EQ(result.output, "second\nthird\n");
}

}  // namespace
}  // namespace vorla::test
