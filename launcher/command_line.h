// Turning the process's command line into the command text handed to the
// library.  Pure string work, no system calls.
#pragma once

#include <cstddef>

namespace vorla {

inline constexpr std::size_t CommandTextSize = 512;
inline constexpr char CommandWord[] = "vorla";

// Rebuilds one raw command line from an argument vector: the elements joined
// by single blanks, each quoted by the Windows C runtime's convention when it
// is empty or holds a blank, tab or double quote, so that splitting the line
// by those rules gives the elements back.  The program name (element 0) can't
// carry a double quote in that convention; its double quotes are dropped,
// which changes nothing the library sees, since the name is skipped.
//
// Writes at most room - 1 characters and a terminating zero to line (when
// room is not 0) and returns the length of the whole line, as snprintf does:
// call it once to size the buffer, then to fill it.
std::size_t RebuildCommandLine(int count, const char *const *elements, char *line, std::size_t room);

// Returns where the rest of the line begins, just past the program name.  An
// unquoted name ends at the first blank or tab, which stays part of the rest.
// A name that opens with a double quote runs through the next double quote
// (or to the end of the line).
const char *SkipProgramName(const char *line);

// Forms "vorla" + ' ' + rest into text.  False, with text left as an empty
// string, when the result would not fit CommandTextSize bytes.
bool FormCommandText(const char *rest, char (&text)[CommandTextSize]);

}  // namespace vorla
