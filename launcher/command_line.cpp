#include "command_line.h"

#include <cstring>

namespace vorla {
namespace {

bool NeedsQuotes(const char *element) {
    return *element == '\0' || std::strpbrk(element, " \t\"") != nullptr;
}

void AppendQuoted(std::string &line, const char *element) {
    line += '"';
    std::size_t backslashes = 0;
    for (const char *p = element;; ++p) {
        if (*p == '\\') {
            ++backslashes;
            continue;
        }
        if (*p == '"' || *p == '\0') {
            // Backslashes count double only in front of a quote, the closing
            // one included.
            line.append(backslashes * 2, '\\');
            if (*p == '\0') break;
            line += "\\\"";
        } else {
            line.append(backslashes, '\\');
            line += *p;
        }
        backslashes = 0;
    }
    line += '"';
}

}  // namespace

std::string RebuildCommandLine(int count, const char *const *elements) {
    std::string line;
    if (count <= 0 || elements == nullptr || elements[0] == nullptr) return line;

    std::string name;
    for (const char *p = elements[0]; *p; ++p)
        if (*p != '"') name += *p;
    if (NeedsQuotes(name.c_str())) {
        line += '"';
        line += name;
        line += '"';
    } else {
        line += name;
    }

    for (int i = 1; i < count && elements[i] != nullptr; ++i) {
        line += ' ';
        if (NeedsQuotes(elements[i]))
            AppendQuoted(line, elements[i]);
        else
            line += elements[i];
    }
    return line;
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
