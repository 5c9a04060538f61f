// Key events as the console reports them, and the two tables that turn a
// key press without a character into a lead code and a second code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vorla {

// Modifier state of a key event.
enum : std::uint32_t {
    ModifierLeftAlt = 1u << 0,
    ModifierRightAlt = 1u << 1,
    ModifierLeftCtrl = 1u << 2,
    ModifierRightCtrl = 1u << 3,
    ModifierShift = 1u << 4,
};
inline constexpr std::uint32_t ModifierAlt = ModifierLeftAlt | ModifierRightAlt;
inline constexpr std::uint32_t ModifierCtrl = ModifierLeftCtrl | ModifierRightCtrl;

struct KeyEvent {
    bool pressed = true;           // false: the key was released
    std::uint8_t character = 0;    // 0 when the key produces no character
    std::uint16_t scanCode = 0;
    std::uint32_t modifiers = 0;
    bool enhanced = false;         // separate cursor block, keypad Enter and slash
    std::uint16_t repeatCount = 1; // ignored by the key services
};

// Anything the console input device queues; only key events matter here.
struct InputEvent {
    enum class Kind { Key, Other } kind = Kind::Key;
    KeyEvent key;
};

struct CodePair {
    std::uint8_t lead;
    std::uint8_t second;
    friend bool operator==(CodePair, CodePair) = default;
};

enum KeyColumn { ColumnPlain, ColumnShift, ColumnCtrl, ColumnAlt, KeyColumnCount };

inline constexpr std::size_t NormalKeyRows = 89;
struct EnhancedKeyRow {
    std::uint16_t scanCode;
    CodePair pairs[KeyColumnCount];
};
inline constexpr std::size_t EnhancedKeyRows = 12;

// One row per scan code 0..88.  Besides the pairs that count, the rows hold
// each key's ordinary characters (US layout) in the cells that don't.
extern const CodePair NormalKeyTable[NormalKeyRows][KeyColumnCount];
extern const EnhancedKeyRow EnhancedKeyTable[EnhancedKeyRows];

// The column for a modifier state: Alt first, then Ctrl, then Shift.
KeyColumn ColumnFor(std::uint32_t modifiers);

// The code pair for a key press whose character code is 0, or none.
std::optional<CodePair> ExtendedKeyCode(const KeyEvent &event);

// The scan code of the key whose plain, Shift or Ctrl cell holds character,
// lowest scan code first; 0 when no key does.
std::uint16_t ScanCodeForCharacter(std::uint8_t character);

}  // namespace vorla
