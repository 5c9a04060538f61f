// The real vorla process: command text, library loading and exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "process.h"

namespace vorla::test {
namespace {

namespace fs = std::filesystem;

class LauncherTest : public ::testing::Test {
protected:
    fs::path install;
    fs::path report;

    void TearDown() override {
        std::error_code ignored;
        if (!install.empty()) fs::remove_all(install, ignored);
    }

    void Install(const std::string &library) {
        install = MakeInstall("launcher", library);
        report = install / "report";
    }

    ChildResult Run(std::vector<std::string> arguments, fs::path directory = {}) {
        ChildOptions options;
        options.program = (install / "vorla").string();
        options.arguments = std::move(arguments);
        options.directory = directory;
        options.environment = {{"VORLA_PROBE_REPORT", report.string()}, {"LD_LIBRARY_PATH", ""}};
        return RunChild(options);
    }

    // Runs with a directory holding library as vorla.dll on LD_LIBRARY_PATH.
    ChildResult RunWithSearchPath(const std::string &library, std::vector<std::string> arguments) {
        const fs::path libraries = MakeTempDirectory("search");
        fs::copy_file(library, libraries / "vorla.dll");
        ChildOptions options;
        options.program = (install / "vorla").string();
        options.arguments = std::move(arguments);
        options.environment = {{"VORLA_PROBE_REPORT", report.string()},
                               {"LD_LIBRARY_PATH", libraries.string()}};
        const ChildResult result = RunChild(options);
        fs::remove_all(libraries);
        return result;
    }

    std::string ReportedText() {
        for (const std::string &line : ReadLines(report))
            if (line.rfind("text ", 0) == 0) return line.substr(5);
        return "(no text reported)";
    }
};

struct TextCase {
    std::vector<std::string> arguments;
    std::string text;  // as the probe reports it: blank \x20, tab \x09
};

TEST_F(LauncherTest, CommandTextIsTheWordABlankAndTheRestOfTheLine) {
    Install(PROBE_LIBRARY);
    const TextCase cases[] = {
        {{"vorla"}, "vorla\\x20"},
        {{"vorla", "text"}, "vorla\\x20\\x20text"},
        {{"vorla", "text", "a", "b"}, "vorla\\x20\\x20text\\x20a\\x20b"},
        {{"vorla", "text", "two words"}, "vorla\\x20\\x20text\\x20\"two\\x20words\""},
        {{"vorla", "text", "say \"hi\""}, "vorla\\x20\\x20text\\x20\"say\\x20\\\\\"hi\\\\\"\""},
        {{"vorla", "text", "100%", "%s%n%d"}, "vorla\\x20\\x20text\\x20100%\\x20%s%n%d"},
        {{"vorla", "text", "back\\slash\\"}, "vorla\\x20\\x20text\\x20back\\\\slash\\\\"},
        {{"vorla", "text", ""}, "vorla\\x20\\x20text\\x20\"\""},
        {{"/some where/vorla", "text"}, "vorla\\x20\\x20text"},  // quoted name skipped whole
        {{"vorla", "text", "\xc3\xa9"}, "vorla\\x20\\x20text\\x20\\xc3\\xa9"},
    };
    for (const TextCase &c : cases) {
        fs::remove(report);
        const ChildResult result = Run(c.arguments);
        EXPECT_EQ(ReportedText(), c.text) << c.arguments.size();
        EXPECT_EQ(result.output, "");
        EXPECT_EQ(result.error, "");
    }
}

TEST_F(LauncherTest, LongestCommandTextIsCalledOneMoreIsNot) {
    Install(PROBE_LIBRARY);
    // " text " + filler = 505 bytes of rest.
    const std::string filler(505 - 6, 'x');
    ChildResult result = Run({"vorla", "text", filler});
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 255);  // the probe stored nothing
    EXPECT_EQ(ReportedText(), "vorla\\x20\\x20text\\x20" + filler);

    fs::remove(report);
    result = Run({"vorla", "text", filler + "y"});
    EXPECT_EQ(result.status, 255);
    EXPECT_FALSE(fs::exists(report)) << "the library must not even be called";
    EXPECT_EQ(result.output + result.error, "");
}

struct StatusCase {
    std::vector<std::string> arguments;
    int status;
};

TEST_F(LauncherTest, ExitStatusIsWhatTheLibraryStored) {
    Install(PROBE_LIBRARY);
    const StatusCase cases[] = {
        {{"vorla", "status=0"}, 0},
        {{"vorla", "status=7"}, 7},
        {{"vorla", "status=-1"}, 255},
        {{"vorla", "status=256"}, 0},   // the system keeps the low 8 bits
        {{"vorla", "status=300"}, 44},
        {{"vorla", "done-nothing"}, 255},  // never stored: -1
    };
    for (const StatusCase &c : cases) {
        const ChildResult result = Run(c.arguments);
        EXPECT_TRUE(result.exited);
        EXPECT_EQ(result.status, c.status) << c.arguments[1];
    }
    // The cell held -1 when the library was called.
    EXPECT_EQ(ReadLines(report).front(), "result-cell -1");
}

TEST_F(LauncherTest, TableHasEverySlotButFive) {
    Install(PROBE_LIBRARY);
    Run({"vorla", "slots"});
    EXPECT_TRUE(WaitForLine(report, "slots 11111011", std::chrono::seconds(1)));
}

TEST_F(LauncherTest, NoLibraryGivesMinusOneAndNoOutput) {
    Install("");
    const ChildResult result = Run({"vorla", "anything"});
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.output + result.error, "");
}

TEST_F(LauncherTest, LibraryWithoutEntryPointIsReleasedAndNothingCalled) {
    Install(NO_ENTRY_LIBRARY);
    const ChildResult result = Run({"vorla", "anything"});
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.output + result.error, "");
    EXPECT_EQ(ReadFile(report), "loaded\nreleased\n");
}

TEST_F(LauncherTest, LibraryInTheCurrentDirectoryIsNotLoaded) {
    Install("");
    const fs::path elsewhere = MakeTempDirectory("planted");
    fs::copy_file(PROBE_LIBRARY, elsewhere / "vorla.dll");
    const ChildResult result = Run({"vorla", "status=0"}, elsewhere);
    EXPECT_EQ(result.status, 255);
    EXPECT_FALSE(fs::exists(report));
    fs::remove_all(elsewhere);
}

TEST_F(LauncherTest, LibraryIsFoundThroughTheLoaderSearchToo) {
    Install("");
    EXPECT_EQ(RunWithSearchPath(PROBE_LIBRARY, {"vorla", "status=5"}).status, 5);
}

TEST_F(LauncherTest, ExecutableDirectoryComesBeforeTheLoaderSearch) {
    Install(PROBE_LIBRARY);
    EXPECT_EQ(RunWithSearchPath(NO_ENTRY_LIBRARY, {"vorla", "status=6"}).status, 6);
}

TEST_F(LauncherTest, SampleLibraryRunsAndReportsUnknownCommands) {
    Install(SAMPLE_LIBRARY);
    ChildResult result = Run({"vorla", "echo", "a", "b"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "a b\n");
    result = Run({"vorla", "exit", "9"});
    EXPECT_EQ(result.status, 9);
    result = Run({"vorla", "frobnicate"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.error, "unknown command: frobnicate\ntry: vorla help\n");
    result = Run({"vorla", "help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.output.find("keys"), std::string::npos);
}

}  // namespace
}  // namespace vorla::test
