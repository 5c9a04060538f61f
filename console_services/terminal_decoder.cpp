#include "terminal_decoder.h"

#include <cstring>
#include <optional>

namespace vorla {
namespace {

constexpr unsigned char Escape = 0x1B;

DecodeStep KeyStep(const KeyEvent &event, std::size_t length) {
    DecodeStep step;
    step.kind = DecodeStep::Kind::Key;
    step.length = length;
    step.event = event;
    return step;
}

DecodeStep SkipStep(std::size_t length) {
    DecodeStep step;
    step.kind = DecodeStep::Kind::Skip;
    step.length = length;
    return step;
}

DecodeStep WaitStep(Milliseconds deadline) {
    DecodeStep step;
    step.kind = DecodeStep::Kind::Wait;
    step.deadline = deadline;
    return step;
}

// A key that produces no character: the console reports its scan code.
struct KeySpec {
    std::uint16_t scanCode;
    bool enhanced;
    std::uint32_t modifiers;  // held by the key itself (Shift+Tab)
};

constexpr KeySpec Up{72, true, 0}, Down{80, true, 0}, Right{77, true, 0}, Left{75, true, 0};
constexpr KeySpec Home{71, true, 0}, End{79, true, 0}, Insert{82, true, 0}, Delete{83, true, 0};
constexpr KeySpec PageUp{73, true, 0}, PageDown{81, true, 0};
constexpr KeySpec BackTab{15, false, ModifierShift};
constexpr KeySpec F(int n) {
    return {static_cast<std::uint16_t>(n <= 10 ? 58 + n : 76 + n), false, 0};
}
constexpr KeySpec Shifted(KeySpec key) { return {key.scanCode, key.enhanced, ModifierShift}; }
constexpr KeySpec Ctrled(KeySpec key) { return {key.scanCode, key.enhanced, ModifierLeftCtrl}; }

// CSI n ~ keys (and rxvt's $ ^ @ forms of them).
std::optional<KeySpec> TildeKey(int number) {
    switch (number) {
    case 1: case 7: return Home;
    case 2: return Insert;
    case 3: return Delete;
    case 4: case 8: return End;
    case 5: return PageUp;
    case 6: return PageDown;
    case 11: return F(1);
    case 12: return F(2);
    case 13: return F(3);
    case 14: return F(4);
    case 15: return F(5);
    case 17: return F(6);
    case 18: return F(7);
    case 19: return F(8);
    case 20: return F(9);
    case 21: return F(10);
    // 23 and 24 are also what rxvt and the Linux console send for Shift+F1
    // and Shift+F2; they can't be told apart.
    case 23: return F(11);
    case 24: return F(12);
    // rxvt and the Linux console send their F13 to F20 for Shift+F3..F10.
    case 25: return Shifted(F(3));
    case 26: return Shifted(F(4));
    case 28: return Shifted(F(5));
    case 29: return Shifted(F(6));
    case 31: return Shifted(F(7));
    case 32: return Shifted(F(8));
    case 33: return Shifted(F(9));
    case 34: return Shifted(F(10));
    default: return std::nullopt;
    }
}

// Final bytes of CSI 1;m X and SS3 m X keys.
std::optional<KeySpec> LetterKey(unsigned char final) {
    switch (final) {
    case 'A': return Up;
    case 'B': return Down;
    case 'C': return Right;
    case 'D': return Left;
    case 'H': return Home;
    case 'F': return End;
    case 'P': return F(1);
    case 'Q': return F(2);
    case 'R': return F(3);
    case 'S': return F(4);
    default: return std::nullopt;
    }
}

// rxvt: Shift arrows as CSI a..d, Ctrl arrows as SS3 a..d.
std::optional<KeySpec> LowerArrow(unsigned char final) {
    switch (final) {
    case 'a': return Up;
    case 'b': return Down;
    case 'c': return Right;
    case 'd': return Left;
    default: return std::nullopt;
    }
}

// The xterm modifier parameter: 1 + Shift 1 + Alt 2 + Ctrl 4.
std::uint32_t ModifiersFromParameter(int m) {
    if (m < 2) return 0;
    const int bits = m - 1;
    std::uint32_t modifiers = 0;
    if (bits & 1) modifiers |= ModifierShift;
    if (bits & 2) modifiers |= ModifierLeftAlt;
    if (bits & 4) modifiers |= ModifierLeftCtrl;
    return modifiers;
}

KeyEvent EventFor(KeySpec key, std::uint32_t modifiers) {
    KeyEvent event;
    event.scanCode = key.scanCode;
    event.enhanced = key.enhanced;
    event.modifiers = key.modifiers | modifiers;
    return event;
}

// A key that produces a character (the keypad in application mode): the
// console reports the character, and none with Alt held.
KeyEvent CharacterKey(unsigned char character, std::uint16_t scanCode, bool enhanced,
                      std::uint32_t modifiers) {
    KeyEvent event;
    event.scanCode = scanCode;
    event.enhanced = enhanced;
    event.modifiers = modifiers;
    event.character = (modifiers & ModifierAlt) ? 0 : character;
    return event;
}

// SS3 j..y and X: the keypad in application mode.
std::optional<KeyEvent> KeypadKey(unsigned char final, std::uint32_t modifiers) {
    static constexpr std::uint16_t digitScans[10] = {82, 79, 80, 81, 75, 76, 77, 71, 72, 73};
    if (final >= 'p' && final <= 'y')
        return CharacterKey(static_cast<unsigned char>('0' + (final - 'p')),
                            digitScans[final - 'p'], false, modifiers & ~ModifierAlt);
    switch (final) {
    case 'M': {
        // Keypad Enter: 13, 10 with Ctrl, no character with Alt.
        const unsigned char character = (modifiers & ModifierCtrl) ? 10 : 13;
        return CharacterKey(character, 28, true, modifiers);
    }
    case 'j': return CharacterKey('*', 55, false, modifiers & ~ModifierAlt);
    case 'k': return CharacterKey('+', 78, false, modifiers & ~ModifierAlt);
    case 'l': return CharacterKey(',', 83, false, modifiers & ~ModifierAlt);
    case 'm': return CharacterKey('-', 74, false, modifiers & ~ModifierAlt);
    case 'n': return CharacterKey('.', 83, false, modifiers & ~ModifierAlt);
    case 'o': return CharacterKey('/', 53, true, modifiers & ~ModifierAlt);
    case 'X': return CharacterKey('=', 13, false, modifiers & ~ModifierAlt);
    default: return std::nullopt;
    }
}

// Up to three numeric parameters; an empty one is -1.  None when the
// parameter bytes are not plain numbers (private markers, sub-parameters).
struct Parameters {
    int values[3] = {-1, -1, -1};
    int count = 0;
};

std::optional<Parameters> ParseParameters(const unsigned char *bytes, std::size_t size) {
    Parameters parameters;
    if (size == 0) return parameters;
    int current = -1;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || bytes[i] == ';') {
            if (parameters.count == 3) return std::nullopt;
            parameters.values[parameters.count++] = current;
            current = -1;
        } else if (bytes[i] >= '0' && bytes[i] <= '9') {
            current = (current < 0 ? 0 : current) * 10 + (bytes[i] - '0');
            if (current > 9999) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return parameters;
}

bool IsPlainNumber(const unsigned char *bytes, std::size_t size) {
    if (size == 0) return false;
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] < '0' || bytes[i] > '9') return false;
    return true;
}

// CSI 1;m X and SS3 1;m X: the first parameter is absent or 1.
std::optional<int> LetterModifierParameter(const Parameters &parameters) {
    if (parameters.count == 0) return 1;
    if (parameters.values[0] != -1 && parameters.values[0] != 1) return std::nullopt;
    if (parameters.count == 1) return 1;
    if (parameters.count == 2) return parameters.values[1];
    return std::nullopt;
}

std::optional<KeyEvent> ResolveCsi(const Parameters &parameters, unsigned char final,
                                   std::uint32_t alt) {
    if (final == '~' || final == '$' || final == '^' || final == '@') {
        if (parameters.count < 1 || parameters.count > 2 || parameters.values[0] < 0)
            return std::nullopt;
        const std::optional<KeySpec> key = TildeKey(parameters.values[0]);
        if (!key) return std::nullopt;
        std::uint32_t modifiers = alt;
        if (parameters.count == 2) modifiers |= ModifiersFromParameter(parameters.values[1]);
        if (final == '$') modifiers |= ModifierShift;
        if (final == '^') modifiers |= ModifierLeftCtrl;
        if (final == '@') modifiers |= ModifierShift | ModifierLeftCtrl;
        return EventFor(*key, modifiers);
    }
    if (const std::optional<KeySpec> arrow = LowerArrow(final)) {
        if (parameters.count != 0) return std::nullopt;
        return EventFor(Shifted(*arrow), alt);
    }
    const std::optional<int> m = LetterModifierParameter(parameters);
    if (!m) return std::nullopt;
    const std::uint32_t modifiers = alt | ModifiersFromParameter(*m);
    if (final == 'Z') return EventFor(BackTab, modifiers);
    if (const std::optional<KeySpec> key = LetterKey(final)) return EventFor(*key, modifiers);
    return std::nullopt;
}

std::optional<KeyEvent> ResolveSs3(const Parameters &parameters, unsigned char final,
                                   std::uint32_t alt) {
    int m = 1;
    if (parameters.count == 1) {
        m = parameters.values[0];  // konsole: SS3 m P
    } else if (const std::optional<int> given = LetterModifierParameter(parameters)) {
        m = *given;
    } else {
        return std::nullopt;
    }
    const std::uint32_t modifiers = alt | ModifiersFromParameter(m);
    if (const std::optional<KeySpec> arrow = LowerArrow(final)) return EventFor(Ctrled(*arrow), modifiers);
    if (const std::optional<KeySpec> key = LetterKey(final)) return EventFor(*key, modifiers);
    return KeypadKey(final, modifiers);
}

}  // namespace

KeyEvent KeyForByte(unsigned char byte) {
    KeyEvent event;
    switch (byte) {
    case 0x00:  // Ctrl+Space, Ctrl+@: Ctrl with the 2 key
        event.scanCode = 3;
        event.modifiers = ModifierLeftCtrl;
        break;
    case 0x7F:  // Backspace
        event.character = 8;
        event.scanCode = 14;
        break;
    case 0x08:  // Ctrl+Backspace (and Ctrl+H, which sends the same)
        event.character = 127;
        event.scanCode = 14;
        event.modifiers = ModifierLeftCtrl;
        break;
    case Escape:
        event.character = Escape;
        event.scanCode = 1;
        break;
    default:
        event.character = byte;
        break;
    }
    return event;
}

KeyEvent KeyForAltByte(unsigned char byte) {
    const KeyEvent plain = KeyForByte(byte);
    KeyEvent alt;
    alt.scanCode = plain.scanCode != 0 ? plain.scanCode : ScanCodeForCharacter(byte);
    alt.modifiers = plain.modifiers | ModifierLeftAlt;
    // A key the tables give no Alt code for keeps its character: nothing
    // typed is lost.
    if (alt.scanCode != 0 && ExtendedKeyCode(alt)) return alt;
    return plain;
}

std::size_t TerminalDecoder::Feed(const unsigned char *data, std::size_t size, Milliseconds arrived) {
    if (head_ > 0) {
        std::memmove(bytes_, bytes_ + head_, size_);
        std::memmove(times_, times_ + head_, size_ * sizeof times_[0]);
        head_ = 0;
    }
    const std::size_t taken = size < Room() ? size : Room();
    std::memcpy(bytes_ + size_, data, taken);
    for (std::size_t i = 0; i < taken; ++i) times_[size_ + i] = arrived;
    size_ += taken;
    return taken;
}

void TerminalDecoder::Consume(const DecodeStep &step) {
    const std::size_t count = step.length < size_ ? step.length : size_;
    if (count > 0) lastDiscarded_ = ArrivedAt(count - 1);
    discarding_ = step.kind == DecodeStep::Kind::Skip && step.overlong;
    head_ += count;
    size_ -= count;
    if (size_ == 0) head_ = 0;
}

DecodeStep TerminalDecoder::DecodeDiscarded() const {
    std::size_t length = 0;
    Milliseconds previous = lastDiscarded_;
    for (; length < size_; ++length) {
        const unsigned char byte = At(length);
        // A pause ends the sequence as it ends any other.
        if (ArrivedAt(length) - previous > SequenceWait) break;
        previous = ArrivedAt(length);
        if (byte >= 0x40 && byte <= 0x7E) return SkipStep(length + 1);
        if (byte < 0x20 || byte > 0x3F) break;
    }
    DecodeStep step = SkipStep(length);
    step.overlong = length == size_ && length > 0;
    return step;
}

bool TerminalDecoder::Follows(std::size_t index, Milliseconds limit) const {
    return index < Size() && ArrivedAt(index) - ArrivedAt(index - 1) <= limit;
}

DecodeStep TerminalDecoder::Decode(std::size_t offset, Milliseconds now) const {
    if (offset >= Size()) return DecodeStep{};
    if (offset == 0 && discarding_) {
        const DecodeStep rest = DecodeDiscarded();
        if (rest.length > 0) return rest;
    }
    const unsigned char byte = At(offset);
    if (byte != Escape) return KeyStep(KeyForByte(byte), 1);
    return DecodeEscape(offset, now);
}

DecodeStep TerminalDecoder::DecodeEscape(std::size_t offset, Milliseconds now) const {
    const std::size_t next = offset + 1;
    if (next >= Size()) {
        const Milliseconds deadline = ArrivedAt(offset) + EscapeWait;
        return now >= deadline ? KeyStep(KeyForByte(Escape), 1) : WaitStep(deadline);
    }
    if (!Follows(next, EscapeWait)) return KeyStep(KeyForByte(Escape), 1);

    const unsigned char second = At(next);
    if (second == '[' || second == 'O') return DecodeSequence(offset, next, false, now);
    if (second != Escape) return KeyStep(KeyForAltByte(second), 2);

    // Esc Esc: Alt+Esc, unless a sequence follows (rxvt's Alt prefix).
    const std::size_t third = next + 1;
    if (third >= Size()) {
        const Milliseconds deadline = ArrivedAt(next) + EscapeWait;
        return now >= deadline ? KeyStep(KeyForAltByte(Escape), 2) : WaitStep(deadline);
    }
    if (Follows(third, EscapeWait) && (At(third) == '[' || At(third) == 'O'))
        return DecodeSequence(offset, third, true, now);
    return KeyStep(KeyForAltByte(Escape), 2);
}

DecodeStep TerminalDecoder::DecodeSequence(std::size_t start, std::size_t introducer, bool alt,
                                           Milliseconds now) const {
    const bool csi = At(introducer) == '[';
    const std::uint32_t altModifier = alt ? std::uint32_t{ModifierLeftAlt} : 0u;

    // The sequence ends before byte end without a final byte.  Esc [ or
    // Esc O alone is Alt+[ or Alt+O; anything longer is skipped.
    auto giveUp = [&](std::size_t end) {
        if (end == introducer + 1) return KeyStep(KeyForAltByte(At(introducer)), end - start);
        return SkipStep(end - start);
    };
    // Byte index is needed: wait for it, or give up when it is late.
    auto missing = [&](std::size_t index) -> std::optional<DecodeStep> {
        if (index >= Size()) {
            const Milliseconds deadline = ArrivedAt(index - 1) + SequenceWait;
            if (now >= deadline) return giveUp(index);
            return WaitStep(deadline);
        }
        if (!Follows(index, SequenceWait)) return giveUp(index);
        return std::nullopt;
    };

    std::size_t i = introducer + 1;
    // The Linux console's F1 to F5: CSI [ A..E.  The second [ is no final.
    if (csi) {
        if (auto step = missing(i)) return *step;
        if (At(i) == '[') {
            if (auto step = missing(i + 1)) return *step;
            const unsigned char final = At(i + 1);
            const std::size_t length = i + 2 - start;
            if (final >= 'A' && final <= 'E') return KeyStep(EventFor(F(final - 'A' + 1), altModifier), length);
            return SkipStep(length);
        }
    }

    const std::size_t parametersStart = i;
    std::size_t parametersEnd = i;
    std::size_t intermediates = 0;
    for (;; ++i) {
        if (i - start >= LongestSequence) {
            DecodeStep step = SkipStep(i - start);
            step.overlong = true;
            return step;
        }
        if (auto step = missing(i)) return *step;
        const unsigned char byte = At(i);
        if (byte >= 0x30 && byte <= 0x3F) {
            if (intermediates > 0) return giveUp(i);
            parametersEnd = i + 1;
            continue;
        }
        if (byte >= 0x20 && byte <= 0x2F) {
            if (!csi) return giveUp(i);
            // rxvt ends its Shift forms with $, which the grammar calls an
            // intermediate byte: after a plain number it is the final byte.
            const bool rxvtShift = byte == '$' && intermediates == 0 &&
                                   IsPlainNumber(bytes_ + head_ + parametersStart,
                                                 parametersEnd - parametersStart);
            if (!rxvtShift) {
                ++intermediates;
                continue;
            }
        } else if (byte < 0x40 || byte > 0x7E) {
            // A control byte or one above 126 is no part of a sequence.
            return giveUp(i);
        }

        const std::size_t length = i + 1 - start;
        // X10 mouse report: CSI M and three bytes of any value.
        if (csi && byte == 'M' && parametersEnd == parametersStart && intermediates == 0) {
            for (std::size_t extra = 1; extra <= 3; ++extra)
                if (auto step = missing(i + extra)) return *step;
            return SkipStep(length + 3);
        }
        if (intermediates > 0) return SkipStep(length);
        const std::optional<Parameters> parameters =
            ParseParameters(bytes_ + head_ + parametersStart, parametersEnd - parametersStart);
        if (!parameters) return SkipStep(length);
        const std::optional<KeyEvent> event = csi ? ResolveCsi(*parameters, byte, altModifier)
                                                  : ResolveSs3(*parameters, byte, altModifier);
        return event ? KeyStep(*event, length) : SkipStep(length);
    }
}

}  // namespace vorla
