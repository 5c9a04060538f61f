// Real processes, pipes and pseudo-terminals for end-to-end tests.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vorla::test {

struct ChildOptions {
    std::string program;                 // file to run
    std::vector<std::string> arguments;  // argv, program name included
    std::filesystem::path directory;     // working directory; empty: inherit
    std::vector<std::pair<std::string, std::string>> environment;  // set
    std::optional<std::string> inputData;  // standard input through a pipe
    std::optional<std::filesystem::path> inputFile;  // or from a file
    // A pseudo-terminal's slave that becomes the controlling terminal.  Empty:
    // the child runs in a new session without one.
    std::string terminal;
    bool inputFromTerminal = false;  // standard input from the terminal
    bool outputToTerminal = false;   // standard output on the terminal
    bool errorToTerminal = false;
    bool closeOutput = false;        // start with standard output closed
    bool outputReaderGone = false;   // standard output a pipe nobody reads
    // As a job-control shell runs a job: the session leader stays as the
    // program's parent and puts the program in a foreground process group
    // of its own (stop signals act only in such a group).  Needs terminal.
    bool jobControl = false;
};

struct ChildResult {
    bool exited = false;
    int status = -1;  // exit status when exited
    int signal = 0;   // the signal that ended it otherwise
    std::string output;
    std::string error;
};

class Child {
public:
    explicit Child(const ChildOptions &options);
    ~Child();
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // The program's process (under job control, not the test's child).
    pid_t Pid() const { return programPid_; }
    // Whether the program is stopped right now.
    bool Stopped() const;
    // Reads the output pipes to their end and waits for the process; kills
    // it after the timeout.
    ChildResult Finish(std::chrono::milliseconds timeout = std::chrono::seconds(30));

private:
    pid_t pid_ = -1;
    pid_t programPid_ = -1;
    int inputPipe_ = -1;
    int outputPipe_ = -1;
    int errorPipe_ = -1;
    std::string pendingInput_;
    bool finished_ = false;
};

ChildResult RunChild(const ChildOptions &options);

// A pseudo-terminal pair; the test keeps a slave descriptor open so that the
// terminal's settings can be read at any time.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    const std::string &SlavePath() const { return slavePath_; }
    int Master() const { return master_; }
    int Slave() const { return slave_; }
    void Type(const std::string &bytes) const;
    // Closing the master side hangs the terminal up.
    void CloseMaster();
    // Everything the master side can read within the timeout.
    std::string ReadFor(std::chrono::milliseconds timeout) const;
    // Reads until text appears; everything read so far.
    std::string ReadUntil(const std::string &text, std::chrono::milliseconds timeout) const;
    bool WaitForRawMode(std::chrono::milliseconds timeout) const;

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// A fresh directory under the test temp directory, removed by the caller.
std::filesystem::path MakeTempDirectory(const std::string &stem);

// A directory holding a copy of vorla and, when library is not empty, that
// file as vorla.dll.
std::filesystem::path MakeInstall(const std::string &stem, const std::string &library);

std::string ReadFile(const std::filesystem::path &path);
std::vector<std::string> ReadLines(const std::filesystem::path &path);

// Polls the file until a line equal to line (or starting with it when
// prefix) appears.
bool WaitForLine(const std::filesystem::path &path, const std::string &line,
                 std::chrono::milliseconds timeout, bool prefix = false);

}  // namespace vorla::test
