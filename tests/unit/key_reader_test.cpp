#include "console_services/key_reader.h"

#include <gtest/gtest.h>

#include <deque>

namespace vorla {
namespace {

// A console whose queue the test fills.  Modes are plain numbers; 0 is raw.
class ScriptedConsole final : public ConsoleInput {
public:
    std::deque<InputEvent> queue;
    int mode = 0x1F7;
    int kept = -1;
    int modeWhileReading = -1;
    int touches = 0;
    bool saveFails = false, rawFails = false, readFails = false, countFails = false, peekFails = false;

    bool SaveMode() override {
        ++touches;
        if (saveFails) return false;
        kept = mode;
        return true;
    }
    bool SetRawMode() override {
        ++touches;
        if (rawFails) return false;
        mode = 0;
        return true;
    }
    bool RestoreMode() override {
        ++touches;
        mode = kept;
        return true;
    }
    bool ReadEvent(InputEvent &event) override {
        ++touches;
        modeWhileReading = mode;
        if (readFails || queue.empty()) return false;
        event = queue.front();
        queue.pop_front();
        return true;
    }
    bool CountEvents(std::size_t &count) override {
        ++touches;
        count = queue.size();
        return !countFails;
    }
    bool PeekEvents(InputEvent *events, std::size_t capacity, std::size_t &copied) override {
        ++touches;
        copied = 0;
        if (peekFails) return false;
        for (; copied < capacity && copied < queue.size(); ++copied) events[copied] = queue[copied];
        return true;
    }
};

InputEvent Key(std::uint8_t character, std::uint16_t scan, std::uint32_t modifiers = 0,
               bool enhanced = false, bool pressed = true) {
    InputEvent event;
    event.key.character = character;
    event.key.scanCode = scan;
    event.key.modifiers = modifiers;
    event.key.enhanced = enhanced;
    event.key.pressed = pressed;
    return event;
}

InputEvent Release(std::uint8_t character, std::uint16_t scan) {
    return Key(character, scan, 0, false, false);
}

InputEvent Mouse() {
    InputEvent event;
    event.kind = InputEvent::Kind::Other;
    return event;
}

class KeyReaderTest : public ::testing::Test {
protected:
    ScriptedConsole console;
    PendingCode pending;

    int Get() { return ReadKey(&console, pending); }
    int Poll() { return PollKeyFrom(&console, pending); }
};

struct CodesCase {
    const char *name;
    InputEvent event;
    std::vector<int> codes;
};

TEST_F(KeyReaderTest, KeyPressesGiveTheirCodes) {
    const CodesCase cases[] = {
        {"F1", Key(0, 59), {0, 59}},
        {"separate Up", Key(0, 72, 0, true), {224, 72}},
        {"keypad Up", Key(0, 72), {0, 72}},
        {"Alt+X", Key(0, 45, ModifierLeftAlt), {0, 45}},
        {"Alt+1", Key(0, 2, ModifierRightAlt), {0, 120}},
        {"keypad Enter without character", Key(0, 28, 0, true), {13, 0}},
        {"Ctrl+C", Key(3, 46, ModifierLeftCtrl), {3}},
        {"a", Key('a', 30), {97}},
        {"code above 127", Key(0xE9, 0), {233}},
        {"Ctrl+Page Up", Key(0, 73, ModifierLeftCtrl, true), {224, 134}},
        {"F12", Key(0, 88), {224, 134}},
    };
    for (const CodesCase &c : cases) {
        console.queue = {c.event};
        for (int code : c.codes) EXPECT_EQ(Get(), code) << c.name;
        EXPECT_FALSE(pending.held) << c.name;
    }
}

TEST_F(KeyReaderTest, SecondCodeComesWithoutTouchingTheConsole) {
    console.queue = {Key(0, 59)};
    EXPECT_EQ(Get(), 0);
    const int touches = console.touches;
    console.readFails = true;
    EXPECT_EQ(Get(), 59);
    EXPECT_EQ(console.touches, touches);
}

TEST_F(KeyReaderTest, SkipsWhatIsNoQualifyingPress) {
    console.queue = {Release('a', 30), Key(0, 42, ModifierShift), Key(0, 29, ModifierLeftCtrl),
                     Key(0, 56, ModifierLeftAlt), Mouse(), Key(0, 57, ModifierLeftAlt),
                     Key('b', 48)};
    EXPECT_EQ(Get(), 'b');
    EXPECT_TRUE(console.queue.empty());
}

TEST_F(KeyReaderTest, RepeatCountGivesOneCode) {
    InputEvent held = Key('z', 44);
    held.key.repeatCount = 5;
    console.queue = {held};
    EXPECT_EQ(Get(), 'z');
    EXPECT_EQ(Get(), -1);  // nothing else queued: the script's read fails
}

TEST_F(KeyReaderTest, ModeIsRawWhileReadingAndRestoredAfter) {
    console.queue = {Key('a', 30)};
    EXPECT_EQ(Get(), 'a');
    EXPECT_EQ(console.modeWhileReading, 0);
    EXPECT_EQ(console.mode, 0x1F7);
}

TEST_F(KeyReaderTest, FailedReadGivesMinusOneAndRestoresTheMode) {
    console.readFails = true;
    EXPECT_EQ(Get(), -1);
    EXPECT_EQ(console.mode, 0x1F7);
}

TEST_F(KeyReaderTest, ModeThatCanNotBeReadIsNotChanged) {
    console.saveFails = true;
    console.queue = {Key('a', 30)};
    EXPECT_EQ(Get(), -1);
    EXPECT_EQ(console.mode, 0x1F7);
    EXPECT_EQ(console.queue.size(), 1u);
}

TEST_F(KeyReaderTest, RawModeThatCanNotBeSetReadsNothing) {
    console.rawFails = true;
    console.queue = {Key('a', 30)};
    EXPECT_EQ(Get(), -1);
    EXPECT_EQ(console.mode, 0x1F7);
    EXPECT_EQ(console.queue.size(), 1u);
}

TEST_F(KeyReaderTest, AbsentDeviceEveryTime) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadKey(nullptr, pending), -1);
        EXPECT_EQ(PollKeyFrom(nullptr, pending), 0);
    }
}

TEST_F(KeyReaderTest, PollOnWaitingF1GivesZeroThenTheSecondCode) {
    console.queue = {Key(0, 59)};
    EXPECT_EQ(Poll(), 0);
    EXPECT_TRUE(pending.held);
    EXPECT_EQ(pending.code, 59);
    EXPECT_EQ(Poll(), 59);
    EXPECT_EQ(Poll(), 0);
}

TEST_F(KeyReaderTest, PollRemovesNothingWhenNoQualifyingKeyWaits) {
    console.queue = {Release('a', 30), Mouse(), Key(0, 42, ModifierShift)};
    const int touches = console.touches;
    EXPECT_EQ(Poll(), 0);
    EXPECT_EQ(console.queue.size(), 3u);
    EXPECT_EQ(console.mode, 0x1F7);
    EXPECT_GT(console.touches, touches);
}

TEST_F(KeyReaderTest, PollDropsOnlyWhatLiesAheadOfTheKey) {
    console.queue = {Release('a', 30), Mouse(), Key('q', 16), Key('r', 19)};
    EXPECT_EQ(Poll(), 'q');
    ASSERT_EQ(console.queue.size(), 1u);
    EXPECT_EQ(console.queue.front().key.character, 'r');
}

TEST_F(KeyReaderTest, PollIsZeroWhenTheQueueCanNotBeSeen) {
    console.queue = {Key('a', 30)};
    console.countFails = true;
    EXPECT_EQ(Poll(), 0);
    console.countFails = false;
    console.peekFails = true;
    EXPECT_EQ(Poll(), 0);
    EXPECT_EQ(console.queue.size(), 1u);
}

TEST_F(KeyReaderTest, PollWithEmptyQueueIsZero) {
    EXPECT_EQ(Poll(), 0);
}

}  // namespace
}  // namespace vorla
