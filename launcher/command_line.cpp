#include "command_line.h"

#include <cstring>

namespace vorla {
namespace {

// Appends to a bounded line, counting what would not fit.
struct LineWriter {
    char *line;
    std::size_t room;
    std::size_t length = 0;

    void Put(char c) {
        if (length + 1 < room) line[length] = c;
        ++length;
    }
    void Put(char c, std::size_t times) {
        while (times-- > 0) Put(c);
    }
    void Finish() const {
        if (room > 0) line[length < room ? length : room - 1] = '\0';
    }
};

bool NeedsQuotes(const char *element) {
    return *element == '\0' || std::strpbrk(element, " \t\"") != nullptr;
}

void PutQuoted(LineWriter &out, const char *element) {
    out.Put('"');
    std::size_t backslashes = 0;
    for (const char *p = element;; ++p) {
        if (*p == '\\') {
            ++backslashes;
            continue;
        }
        if (*p == '"' || *p == '\0') {
            // Backslashes count double only in front of a quote, the closing
            // one included.
            out.Put('\\', backslashes * 2);
            if (*p == '\0') break;
            out.Put('\\');
            out.Put('"');
        } else {
            out.Put('\\', backslashes);
            out.Put(*p);
        }
        backslashes = 0;
    }
    out.Put('"');
}

// The program name without its double quotes needs quoting when that leaves
// it empty or it holds a blank or tab.
bool NameNeedsQuotes(const char *name) {
    bool empty = true;
    for (const char *p = name; *p; ++p) {
        if (*p == ' ' || *p == '\t') return true;
        if (*p != '"') empty = false;
    }
    return empty;
}

}  // namespace

std::size_t RebuildCommandLine(int count, const char *const *elements, char *line, std::size_t room) {
    LineWriter out{line, room};
    if (count > 0 && elements != nullptr && elements[0] != nullptr) {
        const bool quoted = NameNeedsQuotes(elements[0]);
        if (quoted) out.Put('"');
        for (const char *p = elements[0]; *p; ++p)
            if (*p != '"') out.Put(*p);
        if (quoted) out.Put('"');

        for (int i = 1; i < count && elements[i] != nullptr; ++i) {
            out.Put(' ');
            if (NeedsQuotes(elements[i])) {
                PutQuoted(out, elements[i]);
            } else {
                for (const char *p = elements[i]; *p; ++p) out.Put(*p);
            }
        }
    }
    out.Finish();
    return out.length;
}

const char *SkipProgramName(const char *line) {
    if (*line == '"') {
        const char *closing = std::strchr(line + 1, '"');
        return closing ? closing + 1 : line + std::strlen(line);
    }
    while (*line != '\0' && *line != ' ' && *line != '\t') ++line;
    return line;
}

bool FormCommandText(const char *rest, char (&text)[CommandTextSize]) {
    const std::size_t wordLength = sizeof CommandWord - 1;
    const std::size_t restLength = std::strlen(rest);
    if (wordLength + 1 + restLength + 1 > CommandTextSize) {
        text[0] = '\0';
        return false;
    }
    std::memcpy(text, CommandWord, wordLength);
    text[wordLength] = ' ';
    std::memcpy(text + wordLength + 1, rest, restLength + 1);
    return true;
}

}  // namespace vorla
