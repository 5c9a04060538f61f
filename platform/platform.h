// What each operating system's layer provides.  Everything above this line
// (command text, stream buffering, key tables, the key-reading algorithm and
// the terminal decoder) is portable and makes no system calls of its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console_services/key_reader.h"

namespace vorla::platform {

// --- Command line and library ---------------------------------------------

// The process's whole command line, program name included: at most room - 1
// characters and a terminating zero go to line; returns the whole length
// (call again with more room when it did not fit).
std::size_t RawCommandLine(int argc, char **argv, char *line, std::size_t room);

// The command library, loaded with every symbol bound; null when it can't be.
void *LoadCommandLibrary();
void *FindEntryPoint(void *library, const char *name);
void ReleaseLibrary(void *library);

// --- Standard streams -------------------------------------------------------

enum class StreamId { Input = 0, Output = 1, Error = 2 };

// Whether the stream is a terminal; asked once per stream at start-up.
bool IsTerminal(StreamId stream);

// Blocking transfer of at least one byte: the count moved, 0 at the end of
// input (read only), -1 on failure.  Interrupted calls are retried inside.
std::ptrdiff_t ReadSome(StreamId stream, void *buffer, std::size_t size);
std::ptrdiff_t WriteSome(StreamId stream, const void *data, std::size_t size);

// Moves a seekable input's position back by count bytes; false when the
// stream can't seek.
bool GiveBackInput(StreamId stream, std::size_t count);

// Called once at start-up: a closed pipe must show up as a failed write, not
// as a signal that ends the program.
void PrepareOutputSignals();

// --- Command interpreter ----------------------------------------------------

// Runs command through the command interpreter and waits for it: its exit
// status, 128 + N for signal N, -1 when it can't be started.  Null command:
// 1 when an interpreter can be started, else 0.
int32_t RunCommandInterpreter(const char *command);

// --- Console input device ---------------------------------------------------

// The console's own input device (never standard input), opened for the
// whole run; null when there is none.  Opening it again gives the same one.
ConsoleInput *OpenConsoleInput();
void CloseConsoleInput(ConsoleInput *device);

}  // namespace vorla::platform
