#include "console_services/terminal_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorla {
namespace {

// The codes GetKey would give for an event.
std::vector<int> CodesOf(const KeyEvent &event) {
    if (event.character != 0) return {event.character};
    if (const std::optional<CodePair> pair = ExtendedKeyCode(event)) return {pair->lead, pair->second};
    return {};
}

// Takes every key the queue decodes to at time now; stops at a wait.
void TakeKeys(TerminalDecoder &decoder, Milliseconds now, std::vector<int> &codes) {
    for (;;) {
        const DecodeStep step = decoder.Decode(0, now);
        if (step.kind == DecodeStep::Kind::Empty || step.kind == DecodeStep::Kind::Wait) return;
        if (step.kind == DecodeStep::Kind::Key)
            for (int code : CodesOf(step.event)) codes.push_back(code);
        decoder.Consume(step);
    }
}

// Feeds bytes as a reader does, no more than the queue has room for,
// taking the keys that are complete at time now after each feed.
void FeedAll(TerminalDecoder &decoder, const std::string &bytes, Milliseconds now, std::vector<int> &codes) {
    for (std::size_t taken = 0; taken < bytes.size();) {
        taken += decoder.Feed(reinterpret_cast<const unsigned char *>(bytes.data()) + taken,
                              bytes.size() - taken, now);
        TakeKeys(decoder, now, codes);
    }
}

// Feeds bytes in pieces of the given sizes, each piece later by gap ms,
// decoding after every piece as a reader would, then lets every timer run
// out.
std::vector<int> Decode(const std::string &bytes, std::size_t piece, Milliseconds gap = 0) {
    TerminalDecoder decoder;
    std::vector<int> codes;
    Milliseconds now = 1000;
    for (std::size_t at = 0; at < bytes.size(); at += piece, now += gap) {
        FeedAll(decoder, bytes.substr(at, piece), now, codes);
    }
    TakeKeys(decoder, now + 10000, codes);
    EXPECT_EQ(decoder.Size(), 0u);
    return codes;
}

struct Case {
    const char *name;
    std::string bytes;
    std::vector<int> codes;
};

const Case Cases[] = {
    // xterm family, no modifiers
    {"F1 SS3", "\x1bOP", {0, 59}},
    {"F2 SS3", "\x1bOQ", {0, 60}},
    {"F3 SS3", "\x1bOR", {0, 61}},
    {"F4 SS3", "\x1bOS", {0, 62}},
    {"F5", "\x1b[15~", {0, 63}},
    {"F6", "\x1b[17~", {0, 64}},
    {"F7", "\x1b[18~", {0, 65}},
    {"F8", "\x1b[19~", {0, 66}},
    {"F9", "\x1b[20~", {0, 67}},
    {"F10", "\x1b[21~", {0, 68}},
    {"F11", "\x1b[23~", {224, 133}},
    {"F12", "\x1b[24~", {224, 134}},
    {"Up", "\x1b[A", {224, 72}},
    {"Down", "\x1b[B", {224, 80}},
    {"Right", "\x1b[C", {224, 77}},
    {"Left", "\x1b[D", {224, 75}},
    {"Up application mode", "\x1bOA", {224, 72}},
    {"Left application mode", "\x1bOD", {224, 75}},
    {"Home", "\x1b[H", {224, 71}},
    {"End", "\x1b[F", {224, 79}},
    {"Home SS3", "\x1bOH", {224, 71}},
    {"End SS3", "\x1bOF", {224, 79}},
    {"Home 1~", "\x1b[1~", {224, 71}},
    {"End 4~", "\x1b[4~", {224, 79}},
    {"Home 7~", "\x1b[7~", {224, 71}},
    {"End 8~", "\x1b[8~", {224, 79}},
    {"Insert", "\x1b[2~", {224, 82}},
    {"Delete", "\x1b[3~", {224, 83}},
    {"Page Up", "\x1b[5~", {224, 73}},
    {"Page Down", "\x1b[6~", {224, 81}},
    {"Shift+Tab", "\x1b[Z", {0, 15}},
    // xterm modifiers
    {"Ctrl+Up", "\x1b[1;5A", {224, 141}},
    {"Shift+Up", "\x1b[1;2A", {224, 72}},
    {"Alt+Up", "\x1b[1;3A", {0, 152}},
    {"Ctrl+Alt+Up", "\x1b[1;7A", {0, 152}},
    {"Ctrl+Shift+Left", "\x1b[1;6D", {224, 115}},
    {"Ctrl+Home", "\x1b[1;5H", {224, 119}},
    {"Alt+End", "\x1b[1;3F", {0, 159}},
    {"Shift+F1", "\x1b[1;2P", {0, 84}},
    {"Ctrl+F2", "\x1b[1;5Q", {0, 95}},
    {"Ctrl+F3 (same form as a position report)", "\x1b[1;5R", {0, 96}},
    {"Ctrl+Shift+F1", "\x1b[1;6P", {0, 94}},
    {"Alt+F5", "\x1b[15;3~", {0, 108}},
    {"Shift+F10", "\x1b[21;2~", {0, 93}},
    {"Shift+F12", "\x1b[24;2~", {224, 136}},
    {"Ctrl+F11", "\x1b[23;5~", {224, 137}},
    {"Alt+F12", "\x1b[24;3~", {224, 140}},
    {"Ctrl+Delete", "\x1b[3;5~", {224, 147}},
    {"Ctrl+Page Up", "\x1b[5;5~", {224, 134}},
    {"Ctrl+Page Down", "\x1b[6;5~", {224, 118}},
    {"Alt+Insert", "\x1b[2;3~", {0, 162}},
    {"Ctrl+Shift+Tab", "\x1b[1;6Z", {0, 148}},
    // konsole
    {"konsole Shift+F2", "\x1bO2Q", {0, 85}},
    {"konsole Alt+F1", "\x1bO3P", {0, 104}},
    {"konsole Shift+Enter, keypad Enter", "\x1bOM", {13}},
    // rxvt
    {"rxvt F1", "\x1b[11~", {0, 59}},
    {"rxvt F4", "\x1b[14~", {0, 62}},
    {"rxvt Shift+Delete", "\x1b[3$", {224, 83}},
    {"rxvt Shift+Page Up", "\x1b[5$", {224, 73}},
    {"rxvt Ctrl+Home", "\x1b[7^", {224, 119}},
    {"rxvt Ctrl+Shift+Insert", "\x1b[2@", {224, 146}},
    {"rxvt Shift+Up", "\x1b[a", {224, 72}},
    {"rxvt Shift+Left", "\x1b[d", {224, 75}},
    {"rxvt Ctrl+Up", "\x1bOa", {224, 141}},
    {"rxvt Ctrl+Right", "\x1bOc", {224, 116}},
    {"rxvt Shift+F3", "\x1b[25~", {0, 86}},
    {"rxvt Shift+F4", "\x1b[26~", {0, 87}},
    {"rxvt Shift+F5", "\x1b[28~", {0, 88}},
    {"rxvt Shift+F8", "\x1b[32~", {0, 91}},
    {"rxvt Shift+F10", "\x1b[34~", {0, 93}},
    {"rxvt Shift+F11", "\x1b[23$", {224, 135}},
    {"rxvt Ctrl+F1", "\x1b[11^", {0, 94}},
    {"rxvt Ctrl+Shift+F1 (read as Ctrl+F11)", "\x1b[23^", {224, 137}},
    {"rxvt Alt+Up", "\x1b\x1b[A", {0, 152}},
    {"rxvt Alt+F1", "\x1b\x1bOP", {0, 104}},
    {"rxvt Alt+Delete", "\x1b\x1b[3~", {0, 163}},
    // Linux console
    {"console F1", "\x1b[[A", {0, 59}},
    {"console F2", "\x1b[[B", {0, 60}},
    {"console F5", "\x1b[[E", {0, 63}},
    // Alt as an Esc prefix
    {"Alt+x", "\x1bx", {0, 45}},
    {"Alt+X", "\x1bX", {0, 45}},
    {"Alt+1", "\x1b" "1", {0, 120}},
    {"Alt+=", "\x1b=", {0, 131}},
    {"Alt+Enter", "\x1b\r", {0, 28}},
    {"Alt+Backspace", "\x1b\x7f", {0, 14}},
    {"Alt+Tab", "\x1b\t", {0, 15}},
    {"Ctrl+Alt+A", "\x1b\x01", {0, 30}},
    {"Alt+Esc", "\x1b\x1b", {0, 1}},
    {"Alt+[ alone", "\x1b[", {0, 26}},
    {"Alt+O alone", "\x1bO", {0, 24}},
    {"Alt+space keeps its character", "\x1b ", {32}},
    {"Alt+backslash keeps its character", "\x1b\\", {92}},
    {"Alt with a byte above 127", "\x1b\xc3\xb8", {195, 184}},
    // single bytes
    {"letters and digits", "aZ9", {97, 90, 57}},
    {"Enter", "\r", {13}},
    {"Ctrl+J", "\n", {10}},
    {"Tab", "\t", {9}},
    {"Backspace", "\x7f", {8}},
    {"Ctrl+Backspace", "\x08", {127}},
    {"Ctrl+Space", std::string(1, '\0'), {0, 3}},
    {"Ctrl+C Ctrl+Z Ctrl+\\", "\x03\x1a\x1c", {3, 26, 28}},
    {"Ctrl+S Ctrl+Q", "\x13\x11", {19, 17}},
    {"UTF-8 bytes one code each", "\xc3\xa9\xe2\x82\xac", {195, 169, 226, 130, 172}},
    {"byte 255", "\xff", {255}},
    // known forms without a code, and unknown sequences: skipped whole
    {"X10 mouse report", "\x1b[M !!", {}},
    {"X10 mouse report with high bytes", "\x1b[M\xe0\xff\x80", {}},
    {"SGR mouse report", "\x1b[<0;10;20M", {}},
    {"SGR mouse release", "\x1b[<0;10;20m", {}},
    {"focus in and out", "\x1b[I\x1b[O", {}},
    {"paste markers around text", "\x1b[200~hi\x1b[201~", {104, 105}},
    {"kitty F13", "\x1b[57376u", {}},
    {"F13 and up as ~ keys", "\x1b[35~\x1b[42~", {}},
    {"keypad 5", "\x1b[E\x1b[1;5E", {}},
    {"device attributes report", "\x1b[?1;2c", {}},
    {"mode report with $ intermediate", "\x1b[2;1$y", {}},
    {"position report", "\x1b[24;80R", {}},
    {"position report for row 1 reads as F3 with modifiers", "\x1b[1;5R\x1b[1;1R", {0, 96, 0, 61}},
    {"urxvt mouse report", "\x1b[32;10;20M", {}},
    {"cursor movement", "\x1b[2A", {}},
    {"too many parameters", "\x1b[1;2;3A", {}},
    {"sub-parameters", "\x1b[1:2A", {}},
    {"long parameters", "\x1b[" + std::string(200, '1') + "~", {}},
    {"over-long sequence is skipped to its end", "\x1b[" + std::string(20000, '1') + ";2~a", {97}},
    {"over-long sequence ended by a control byte", "\x1b[" + std::string(300, '1') + "\r", {13}},
    {"unknown SS3", "\x1bOz", {}},
    // mixtures
    {"keys around a sequence", "a\x1b[Ab", {97, 224, 72, 98}},
    {"two sequences back to back", "\x1bOP\x1b[1;5A", {0, 59, 224, 141}},
    {"control byte breaks a sequence", "\x1b[1\x03", {3}},
    {"control byte right after CSI", "\x1b[\x03", {0, 26, 3}},
    {"Esc breaks a sequence", "\x1b[1\x1b[B", {224, 80}},
};

class DecoderCases : public ::testing::TestWithParam<Case> {};

TEST_P(DecoderCases, InOneRead) {
    EXPECT_EQ(Decode(GetParam().bytes, GetParam().bytes.size() + 1), GetParam().codes);
}

TEST_P(DecoderCases, SplitAtEveryBoundary) {
    const Case &c = GetParam();
    for (std::size_t cut = 1; cut < c.bytes.size() && cut < 40; ++cut) {
        TerminalDecoder decoder;
        std::vector<int> codes;
        FeedAll(decoder, c.bytes.substr(0, cut), 1000, codes);
        FeedAll(decoder, c.bytes.substr(cut), 1000, codes);
        TakeKeys(decoder, 1000 + 10000, codes);
        EXPECT_EQ(codes, c.codes) << "cut at " << cut;
    }
}

TEST_P(DecoderCases, OneByteAtATimeMillisecondsApart) {
    EXPECT_EQ(Decode(GetParam().bytes, 1, 1), GetParam().codes);
}

std::string CaseName(const ::testing::TestParamInfo<Case> &info) {
    std::string name;
    for (const char *p = info.param.name; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Terminals, DecoderCases, ::testing::ValuesIn(Cases), CaseName);

// --- Timing, with a clock the test controls ---------------------------------

class DecoderTiming : public ::testing::Test {
protected:
    TerminalDecoder decoder;
    std::vector<int> codes;

    void Feed(const std::string &bytes, Milliseconds at) {
        decoder.Feed(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), at);
    }
    std::vector<int> Take(Milliseconds now) {
        codes.clear();
        TakeKeys(decoder, now, codes);
        return codes;
    }
};

TEST_F(DecoderTiming, LoneEscapeAfterTheWait) {
    Feed("\x1b", 0);
    const DecodeStep waiting = decoder.Decode(0, 10);
    EXPECT_EQ(waiting.kind, DecodeStep::Kind::Wait);
    EXPECT_EQ(waiting.deadline, EscapeWait);
    EXPECT_EQ(Take(EscapeWait - 1), std::vector<int>{});
    EXPECT_EQ(Take(EscapeWait), std::vector<int>{27});
}

TEST_F(DecoderTiming, EscapeThenKeyAfterTheWaitAreTwoKeys) {
    Feed("\x1b", 0);
    Feed("x", EscapeWait + 10);
    EXPECT_EQ(Take(EscapeWait + 10), (std::vector<int>{27, 'x'}));
}

TEST_F(DecoderTiming, EscapeThenKeyWithinTheWaitIsAlt) {
    Feed("\x1b", 0);
    Feed("x", EscapeWait - 1);
    EXPECT_EQ(Take(EscapeWait - 1), (std::vector<int>{0, 45}));
}

TEST_F(DecoderTiming, ReadLateStillDecidedByArrival) {
    // Both bytes were read together long after, but they arrived 80 ms apart.
    Feed("\x1b", 0);
    Feed("[A", 80);
    EXPECT_EQ(Take(5000), (std::vector<int>{27, '[', 'A'}));
}

TEST_F(DecoderTiming, BegunSequenceWaitsLonger) {
    Feed("\x1b[1;", 0);
    EXPECT_EQ(Take(EscapeWait * 2), std::vector<int>{});
    const DecodeStep waiting = decoder.Decode(0, EscapeWait * 2);
    EXPECT_EQ(waiting.kind, DecodeStep::Kind::Wait);
    Feed("5A", SequenceWait - 1);
    EXPECT_EQ(Take(SequenceWait - 1), (std::vector<int>{224, 141}));
}

TEST_F(DecoderTiming, StalledSequenceIsSkippedWhole) {
    Feed("\x1b[1;", 0);
    EXPECT_EQ(Take(SequenceWait), std::vector<int>{});
    EXPECT_EQ(decoder.Size(), 0u);
    Feed("q", SequenceWait + 5);
    EXPECT_EQ(Take(SequenceWait + 5), std::vector<int>{'q'});
}

TEST_F(DecoderTiming, StalledIntroducerIsAltBracket) {
    Feed("\x1b[", 0);
    EXPECT_EQ(Take(SequenceWait - 1), std::vector<int>{});
    EXPECT_EQ(Take(SequenceWait), (std::vector<int>{0, 26}));
}

TEST_F(DecoderTiming, LateByteEndsTheSequenceAndStandsAlone) {
    Feed("\x1b[1", 0);
    Feed("~", SequenceWait + 1);
    EXPECT_EQ(Take(SequenceWait + 1), std::vector<int>{'~'});
}

TEST_F(DecoderTiming, DoubleEscapeWaitsForASequenceThenIsAltEscape) {
    Feed("\x1b\x1b", 0);
    EXPECT_EQ(Take(EscapeWait - 1), std::vector<int>{});
    EXPECT_EQ(Take(EscapeWait), (std::vector<int>{0, 1}));
}

TEST_F(DecoderTiming, TwoEscapePressesAreTwoEscapes) {
    Feed("\x1b", 0);
    Feed("\x1b", 120);
    EXPECT_EQ(Take(120), std::vector<int>{27});
    EXPECT_EQ(Take(120 + EscapeWait), std::vector<int>{27});
}

TEST_F(DecoderTiming, MouseReportWaitsForItsThreeBytes) {
    Feed("\x1b[M ", 0);
    EXPECT_EQ(decoder.Decode(0, 1).kind, DecodeStep::Kind::Wait);
    Feed("!!x", 2);
    EXPECT_EQ(Take(2), std::vector<int>{'x'});
}

TEST_F(DecoderTiming, PauseEndsAnOverLongSequence) {
    Feed("\x1b[" + std::string(LongestSequence + 10, '1'), 0);
    EXPECT_EQ(Take(0), std::vector<int>{});
    Feed("A", SequenceWait + 1);  // a new key, not the lost sequence's end
    EXPECT_EQ(Take(SequenceWait + 1), std::vector<int>{'A'});
}

TEST_F(DecoderTiming, QueueTakesOnlyWhatFits) {
    const std::string many(DecoderCapacity + 100, 'k');
    EXPECT_EQ(decoder.Feed(reinterpret_cast<const unsigned char *>(many.data()), many.size(), 0),
              DecoderCapacity);
    EXPECT_EQ(decoder.Room(), 0u);
    EXPECT_EQ(Take(0).size(), DecoderCapacity);
    EXPECT_EQ(decoder.Room(), DecoderCapacity);
}

TEST_F(DecoderTiming, DecodingFromAnOffsetRemovesNothing) {
    Feed("a\x1bOPb", 0);
    const DecodeStep first = decoder.Decode(0, 0);
    const DecodeStep second = decoder.Decode(first.length, 0);
    ASSERT_EQ(second.kind, DecodeStep::Kind::Key);
    EXPECT_EQ(CodesOf(second.event), (std::vector<int>{0, 59}));
    EXPECT_EQ(decoder.Decode(first.length + second.length, 0).event.character, 'b');
    EXPECT_EQ(decoder.Size(), 5u);
}

}  // namespace
}  // namespace vorla
