#include "console_services/key_tables.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vorla {
namespace {

KeyEvent Press(std::uint16_t scan, std::uint32_t modifiers = 0, bool enhanced = false) {
    KeyEvent event;
    event.scanCode = scan;
    event.modifiers = modifiers;
    event.enhanced = enhanced;
    return event;
}

struct PairCase {
    std::uint16_t scan;
    std::uint32_t modifiers;
    bool enhanced;
    std::optional<CodePair> pair;
};

constexpr std::uint32_t Shift = ModifierShift, Ctrl = ModifierLeftCtrl, Alt = ModifierLeftAlt;

TEST(ExtendedKeyCode, NormalTableGivesOnlyThePairsThatCount) {
    const PairCase cases[] = {
        {1, Alt, false, CodePair{0, 1}},          // Alt+Esc
        {1, 0, false, std::nullopt},              // Esc itself is a character
        {2, Alt, false, CodePair{0, 120}},        // Alt+1
        {13, Alt, false, CodePair{0, 131}},       // Alt+=
        {3, Ctrl, false, CodePair{0, 3}},         // Ctrl+2
        {4, Ctrl, false, std::nullopt},           // Ctrl+3: nothing
        {14, Alt, false, CodePair{0, 14}},        // Alt+Backspace
        {15, Shift, false, CodePair{0, 15}},      // Shift+Tab
        {15, Ctrl, false, CodePair{0, 148}},
        {15, Alt, false, CodePair{0, 15}},
        {15, 0, false, std::nullopt},
        {16, 0, false, std::nullopt},             // q: the cell holds 113;0
        {16, Shift, false, std::nullopt},         // Q: 81;0
        {16, Alt, false, CodePair{0, 16}},
        {28, Alt, false, CodePair{0, 28}},        // Alt+Enter
        {41, Alt, false, CodePair{0, 41}},
        {43, Alt, false, std::nullopt},           // backslash has no Alt pair
        {45, Alt, false, CodePair{0, 45}},        // Alt+X
        {53, Alt, false, CodePair{0, 53}},
        {57, Alt, false, std::nullopt},           // space
        {59, 0, false, CodePair{0, 59}},          // F1
        {59, Shift, false, CodePair{0, 84}},
        {59, Ctrl, false, CodePair{0, 94}},
        {59, Alt, false, CodePair{0, 104}},
        {68, Alt, false, CodePair{0, 113}},       // Alt+F10
        {71, 0, false, CodePair{0, 71}},          // keypad Home
        {71, Shift, false, std::nullopt},
        {73, Ctrl, false, CodePair{0, 132}},      // Ctrl+keypad Page Up
        {72, 0, false, CodePair{0, 72}},          // keypad Up, not enhanced
        {83, Ctrl, false, CodePair{0, 147}},
        {76, 0, false, std::nullopt},             // keypad 5
        {87, 0, false, CodePair{224, 133}},       // F11
        {88, Alt, false, CodePair{224, 140}},     // Alt+F12
        {89, 0, false, std::nullopt},             // no row
        {0xFFFF, Alt, false, std::nullopt},
    };
    for (const PairCase &c : cases) {
        EXPECT_EQ(ExtendedKeyCode(Press(c.scan, c.modifiers, c.enhanced)), c.pair)
            << "scan " << c.scan << " modifiers " << c.modifiers;
    }
}

TEST(ExtendedKeyCode, EnhancedTableGivesItsPairWhateverItHolds) {
    const PairCase cases[] = {
        {72, 0, true, CodePair{224, 72}},         // separate Up
        {72, Shift, true, CodePair{224, 72}},
        {72, Ctrl, true, CodePair{224, 141}},
        {72, Alt, true, CodePair{0, 152}},
        {73, Ctrl, true, CodePair{224, 134}},     // Ctrl+Page Up: 134, not 132
        {83, Alt, true, CodePair{0, 163}},
        {28, 0, true, CodePair{13, 0}},           // keypad Enter: second code 0
        {28, Ctrl, true, CodePair{10, 0}},
        {28, Alt, true, CodePair{0, 166}},
        {53, Shift, true, CodePair{63, 0}},       // keypad slash
        {53, Ctrl, true, CodePair{0, 149}},
        {59, 0, true, std::nullopt},              // F1 is no enhanced key
    };
    for (const PairCase &c : cases) {
        EXPECT_EQ(ExtendedKeyCode(Press(c.scan, c.modifiers, c.enhanced)), c.pair)
            << "scan " << c.scan << " modifiers " << c.modifiers;
    }
}

TEST(ExtendedKeyCode, AltOutranksCtrlWhichOutranksShiftLeftOrRight) {
    EXPECT_EQ(ExtendedKeyCode(Press(59, Shift | Ctrl | ModifierRightAlt)), (CodePair{0, 104}));
    EXPECT_EQ(ExtendedKeyCode(Press(59, Shift | ModifierRightCtrl)), (CodePair{0, 94}));
    EXPECT_EQ(ExtendedKeyCode(Press(59, Shift)), (CodePair{0, 84}));
}

TEST(ScanCodeForCharacter, FindsTheKeyThatTypesIt) {
    const std::pair<char, std::uint16_t> cases[] = {
        {'x', 45}, {'X', 45}, {'1', 2}, {'!', 2}, {'@', 3}, {'*', 9},  // main row before keypad
        {'-', 12}, {'+', 13}, {'.', 52}, {'/', 53}, {'\\', 43}, {' ', 57},
        {'\r', 28}, {'\t', 15}, {'\b', 14}, {27, 1}, {127, 14}, {1, 30}, {26, 44}, {'\n', 28},
    };
    for (const auto &[character, scan] : cases)
        EXPECT_EQ(ScanCodeForCharacter(static_cast<std::uint8_t>(character)), scan) << int(character);
    EXPECT_EQ(ScanCodeForCharacter(0), 0);
    EXPECT_EQ(ScanCodeForCharacter(0xE9), 0);
}

}  // namespace
}  // namespace vorla
