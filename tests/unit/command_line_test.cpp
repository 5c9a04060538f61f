#include "launcher/command_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace vorla {
namespace {

// Splits the arguments after the program name the way the Windows C runtime
// does, for the round trip below.
std::vector<std::string> SplitLikeWindows(const std::string &rest) {
    std::vector<std::string> arguments;
    std::size_t i = 0;
    for (;;) {
        while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t')) ++i;
        if (i >= rest.size()) return arguments;
        std::string argument;
        bool quoted = false;
        while (i < rest.size() && (quoted || (rest[i] != ' ' && rest[i] != '\t'))) {
            std::size_t backslashes = 0;
            while (i < rest.size() && rest[i] == '\\') ++backslashes, ++i;
            if (i < rest.size() && rest[i] == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument += '"';
                } else if (quoted && i + 1 < rest.size() && rest[i + 1] == '"') {
                    argument += '"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                argument.append(backslashes, '\\');
                if (i < rest.size() && (quoted || (rest[i] != ' ' && rest[i] != '\t'))) argument += rest[i++];
            }
        }
        arguments.push_back(argument);
    }
}

std::string Rebuild(int count, const char *const *elements) {
    const std::size_t length = RebuildCommandLine(count, elements, nullptr, 0);
    std::string line(length + 1, '?');
    EXPECT_EQ(RebuildCommandLine(count, elements, line.data(), line.size()), length);
    EXPECT_EQ(line[length], '\0');
    line.resize(length);
    return line;
}

std::string Rebuild(const std::vector<const char *> &elements) {
    return Rebuild(static_cast<int>(elements.size()), elements.data());
}

struct RebuildCase {
    std::vector<const char *> elements;
    std::string line;
};

TEST(RebuildCommandLine, QuotesOnlyWhatNeedsIt) {
    const RebuildCase cases[] = {
        {{"vorla"}, "vorla"},
        {{"vorla", "a", "b"}, "vorla a b"},
        {{"/usr/bin/vorla", "a b"}, "/usr/bin/vorla \"a b\""},
        {{"vorla", ""}, "vorla \"\""},
        {{"vorla", "a\tb"}, "vorla \"a\tb\""},
        {{"vorla", "say \"hi\""}, "vorla \"say \\\"hi\\\"\""},
        {{"vorla", "a\"b"}, "vorla \"a\\\"b\""},
        {{"vorla", "C:\\dir\\"}, "vorla C:\\dir\\"},           // no quote: as is
        {{"vorla", "C:\\my dir\\"}, "vorla \"C:\\my dir\\\\\""},  // doubled before the closing quote
        {{"vorla", "a\\\"b"}, "vorla \"a\\\\\\\"b\""},          // a\"b
        {{"vorla", "a\\b c"}, "vorla \"a\\b c\""},              // lone backslash stays single
        {{"vorla", "100%", "%s%n"}, "vorla 100% %s%n"},
        {{"vorla", "line\nfeed"}, "vorla line\nfeed"},
        {{"vorla", "\xc3\xa9t\xc3\xa9"}, "vorla \xc3\xa9t\xc3\xa9"},
        {{"/opt/my tools/vorla", "x"}, "\"/opt/my tools/vorla\" x"},
        {{"we\"ird", "x"}, "weird x"},  // a name can't hold a quote: dropped
        {{"", "x"}, "\"\" x"},
    };
    for (const RebuildCase &c : cases) EXPECT_EQ(Rebuild(c.elements), c.line) << c.line;
}

TEST(RebuildCommandLine, NoElementsGiveAnEmptyLine) {
    EXPECT_EQ(Rebuild(0, nullptr), "");
    const char *none[] = {nullptr};
    EXPECT_EQ(Rebuild(0, none), "");
    EXPECT_EQ(Rebuild(1, none), "");
}

TEST(RebuildCommandLine, ShortBufferIsCutAndTerminated) {
    const char *elements[] = {"vorla", "abc", "d e"};
    char line[8];
    std::memset(line, '?', sizeof line);
    EXPECT_EQ(RebuildCommandLine(3, elements, line, sizeof line), 15u);
    EXPECT_STREQ(line, "vorla a");
    EXPECT_EQ(RebuildCommandLine(3, elements, line, 0), 15u);
}

TEST(RebuildCommandLine, WindowsSplittingGivesTheArgumentsBack) {
    std::mt19937 random(20261211);
    const std::string alphabet = "ab \t\"\\%\\\"";
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::string> arguments(1 + random() % 4);
        for (std::string &argument : arguments) {
            const std::size_t length = random() % 7;
            for (std::size_t i = 0; i < length; ++i) argument += alphabet[random() % alphabet.size()];
        }
        std::vector<const char *> elements{"vorla"};
        for (const std::string &argument : arguments) elements.push_back(argument.c_str());
        const std::string line = Rebuild(elements);
        EXPECT_EQ(SplitLikeWindows(SkipProgramName(line.c_str())), arguments) << line;
    }
}

struct SkipCase {
    const char *line;
    const char *rest;
};

TEST(SkipProgramName, RestKeepsItsSeparator) {
    const SkipCase cases[] = {
        {"vorla", ""},
        {"vorla a b", " a b"},
        {"vorla\targ", "\targ"},
        {"vorla   spaced", "   spaced"},
        {" leading blank", " leading blank"},
        {"", ""},
        {"name\"with\"quote x", " x"},                        // unquoted: no quoting
        {"\"C:\\my dir\\vorla.exe\" x y", " x y"},             // quoted name with a blank
        {"\"/opt/my tools/vorla\"", ""},
        {"\"quoted\"glued rest", "glued rest"},                // rest starts after the quote
        {"\"unterminated name", ""},
        {"\"\" x", " x"},
    };
    for (const SkipCase &c : cases) EXPECT_STREQ(SkipProgramName(c.line), c.rest) << c.line;
}

TEST(FormCommandText, CommandWordBlankAndTheRestVerbatim) {
    const SkipCase cases[] = {
        {"", "vorla "},
        {" a", "vorla  a"},
        {"\targ", "vorla \targ"},
        {" %s %n %d", "vorla  %s %n %d"},
        {" \"a b\"  c\\\\", "vorla  \"a b\"  c\\\\"},
    };
    for (const SkipCase &c : cases) {
        char text[CommandTextSize];
        ASSERT_TRUE(FormCommandText(c.line, text));
        EXPECT_STREQ(text, c.rest);
    }
}

TEST(FormCommandText, LongestRestFitsOneMoreDoesNot) {
    char text[CommandTextSize];
    const std::string longest(505, 'x');
    ASSERT_TRUE(FormCommandText(longest.c_str(), text));
    EXPECT_EQ(std::string(text), "vorla " + longest);
    EXPECT_FALSE(FormCommandText((longest + "y").c_str(), text));
    EXPECT_STREQ(text, "");
}

}  // namespace
}  // namespace vorla
