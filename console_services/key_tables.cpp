#include "key_tables.h"

namespace vorla {
namespace {

constexpr CodePair None{0, 0};
constexpr CodePair Char(char c) { return {static_cast<std::uint8_t>(c), 0}; }
constexpr CodePair Code(int second) { return {0, static_cast<std::uint8_t>(second)}; }
constexpr CodePair Wide(int second) { return {224, static_cast<std::uint8_t>(second)}; }

}  // namespace

// Columns: plain, Shift, Ctrl, Alt.
const CodePair NormalKeyTable[NormalKeyRows][KeyColumnCount] = {
    /*  0 */ {None, None, None, None},
    /*  1 Esc */ {Char(27), Char(27), Char(27), Code(1)},
    /*  2 1 */ {Char('1'), Char('!'), None, Code(120)},
    /*  3 2 */ {Char('2'), Char('@'), Code(3), Code(121)},
    /*  4 3 */ {Char('3'), Char('#'), None, Code(122)},
    /*  5 4 */ {Char('4'), Char('$'), None, Code(123)},
    /*  6 5 */ {Char('5'), Char('%'), None, Code(124)},
    /*  7 6 */ {Char('6'), Char('^'), Char(30), Code(125)},
    /*  8 7 */ {Char('7'), Char('&'), None, Code(126)},
    /*  9 8 */ {Char('8'), Char('*'), None, Code(127)},
    /* 10 9 */ {Char('9'), Char('('), None, Code(128)},
    /* 11 0 */ {Char('0'), Char(')'), None, Code(129)},
    /* 12 - */ {Char('-'), Char('_'), Char(31), Code(130)},
    /* 13 = */ {Char('='), Char('+'), None, Code(131)},
    /* 14 Backspace */ {Char(8), Char(8), Char(127), Code(14)},
    /* 15 Tab */ {Char(9), Code(15), Code(148), Code(15)},
    /* 16 Q */ {Char('q'), Char('Q'), Char(17), Code(16)},
    /* 17 W */ {Char('w'), Char('W'), Char(23), Code(17)},
    /* 18 E */ {Char('e'), Char('E'), Char(5), Code(18)},
    /* 19 R */ {Char('r'), Char('R'), Char(18), Code(19)},
    /* 20 T */ {Char('t'), Char('T'), Char(20), Code(20)},
    /* 21 Y */ {Char('y'), Char('Y'), Char(25), Code(21)},
    /* 22 U */ {Char('u'), Char('U'), Char(21), Code(22)},
    /* 23 I */ {Char('i'), Char('I'), Char(9), Code(23)},
    /* 24 O */ {Char('o'), Char('O'), Char(15), Code(24)},
    /* 25 P */ {Char('p'), Char('P'), Char(16), Code(25)},
    /* 26 [ */ {Char('['), Char('{'), Char(27), Code(26)},
    /* 27 ] */ {Char(']'), Char('}'), Char(29), Code(27)},
    /* 28 Enter */ {Char(13), Char(13), Char(10), Code(28)},
    /* 29 Ctrl */ {None, None, None, None},
    /* 30 A */ {Char('a'), Char('A'), Char(1), Code(30)},
    /* 31 S */ {Char('s'), Char('S'), Char(19), Code(31)},
    /* 32 D */ {Char('d'), Char('D'), Char(4), Code(32)},
    /* 33 F */ {Char('f'), Char('F'), Char(6), Code(33)},
    /* 34 G */ {Char('g'), Char('G'), Char(7), Code(34)},
    /* 35 H */ {Char('h'), Char('H'), Char(8), Code(35)},
    /* 36 J */ {Char('j'), Char('J'), Char(10), Code(36)},
    /* 37 K */ {Char('k'), Char('K'), Char(11), Code(37)},
    /* 38 L */ {Char('l'), Char('L'), Char(12), Code(38)},
    /* 39 ; */ {Char(';'), Char(':'), None, Code(39)},
    /* 40 ' */ {Char('\''), Char('"'), None, Code(40)},
    /* 41 ` */ {Char('`'), Char('~'), None, Code(41)},
    /* 42 left Shift */ {None, None, None, None},
    /* 43 \ */ {Char('\\'), Char('|'), Char(28), None},
    /* 44 Z */ {Char('z'), Char('Z'), Char(26), Code(44)},
    /* 45 X */ {Char('x'), Char('X'), Char(24), Code(45)},
    /* 46 C */ {Char('c'), Char('C'), Char(3), Code(46)},
    /* 47 V */ {Char('v'), Char('V'), Char(22), Code(47)},
    /* 48 B */ {Char('b'), Char('B'), Char(2), Code(48)},
    /* 49 N */ {Char('n'), Char('N'), Char(14), Code(49)},
    /* 50 M */ {Char('m'), Char('M'), Char(13), Code(50)},
    /* 51 , */ {Char(','), Char('<'), None, Code(51)},
    /* 52 . */ {Char('.'), Char('>'), None, Code(52)},
    /* 53 / */ {Char('/'), Char('?'), None, Code(53)},
    /* 54 right Shift */ {None, None, None, None},
    /* 55 keypad * */ {Char('*'), Char('*'), None, None},
    /* 56 Alt */ {None, None, None, None},
    /* 57 space */ {Char(' '), Char(' '), Char(' '), Char(' ')},
    /* 58 Caps Lock */ {None, None, None, None},
    /* 59 F1 */ {Code(59), Code(84), Code(94), Code(104)},
    /* 60 F2 */ {Code(60), Code(85), Code(95), Code(105)},
    /* 61 F3 */ {Code(61), Code(86), Code(96), Code(106)},
    /* 62 F4 */ {Code(62), Code(87), Code(97), Code(107)},
    /* 63 F5 */ {Code(63), Code(88), Code(98), Code(108)},
    /* 64 F6 */ {Code(64), Code(89), Code(99), Code(109)},
    /* 65 F7 */ {Code(65), Code(90), Code(100), Code(110)},
    /* 66 F8 */ {Code(66), Code(91), Code(101), Code(111)},
    /* 67 F9 */ {Code(67), Code(92), Code(102), Code(112)},
    /* 68 F10 */ {Code(68), Code(93), Code(103), Code(113)},
    /* 69 Num Lock */ {None, None, None, None},
    /* 70 Scroll Lock */ {None, None, None, None},
    /* 71 keypad 7 Home */ {Code(71), Char('7'), Code(119), None},
    /* 72 keypad 8 Up */ {Code(72), Char('8'), Code(141), None},
    /* 73 keypad 9 Page Up */ {Code(73), Char('9'), Code(132), None},
    /* 74 keypad - */ {Char('-'), Char('-'), None, None},
    /* 75 keypad 4 Left */ {Code(75), Char('4'), Code(115), None},
    /* 76 keypad 5 */ {None, Char('5'), None, None},
    /* 77 keypad 6 Right */ {Code(77), Char('6'), Code(116), None},
    /* 78 keypad + */ {Char('+'), Char('+'), None, None},
    /* 79 keypad 1 End */ {Code(79), Char('1'), Code(117), None},
    /* 80 keypad 2 Down */ {Code(80), Char('2'), Code(145), None},
    /* 81 keypad 3 Page Down */ {Code(81), Char('3'), Code(118), None},
    /* 82 keypad 0 Insert */ {Code(82), Char('0'), Code(146), None},
    /* 83 keypad . Delete */ {Code(83), Char('.'), Code(147), None},
    /* 84 */ {None, None, None, None},
    /* 85 */ {None, None, None, None},
    /* 86 */ {None, None, None, None},
    /* 87 F11 */ {Wide(133), Wide(135), Wide(137), Wide(139)},
    /* 88 F12 */ {Wide(134), Wide(136), Wide(138), Wide(140)},
};

const EnhancedKeyRow EnhancedKeyTable[EnhancedKeyRows] = {
    {28, {Char(13), Char(13), Char(10), Code(166)}},             // keypad Enter
    {53, {Char('/'), Char('?'), Code(149), Code(164)}},          // keypad /
    {71, {Wide(71), Wide(71), Wide(119), Code(151)}},            // Home
    {72, {Wide(72), Wide(72), Wide(141), Code(152)}},            // Up
    {73, {Wide(73), Wide(73), Wide(134), Code(153)}},            // Page Up
    {75, {Wide(75), Wide(75), Wide(115), Code(155)}},            // Left
    {77, {Wide(77), Wide(77), Wide(116), Code(157)}},            // Right
    {79, {Wide(79), Wide(79), Wide(117), Code(159)}},            // End
    {80, {Wide(80), Wide(80), Wide(145), Code(160)}},            // Down
    {81, {Wide(81), Wide(81), Wide(118), Code(161)}},            // Page Down
    {82, {Wide(82), Wide(82), Wide(146), Code(162)}},            // Insert
    {83, {Wide(83), Wide(83), Wide(147), Code(163)}},            // Delete
};

KeyColumn ColumnFor(std::uint32_t modifiers) {
    if (modifiers & ModifierAlt) return ColumnAlt;
    if (modifiers & ModifierCtrl) return ColumnCtrl;
    if (modifiers & ModifierShift) return ColumnShift;
    return ColumnPlain;
}

std::optional<CodePair> ExtendedKeyCode(const KeyEvent &event) {
    const KeyColumn column = ColumnFor(event.modifiers);
    if (event.enhanced) {
        for (const EnhancedKeyRow &row : EnhancedKeyTable)
            if (row.scanCode == event.scanCode) return row.pairs[column];
        return std::nullopt;
    }
    if (event.scanCode >= NormalKeyRows) return std::nullopt;
    const CodePair pair = NormalKeyTable[event.scanCode][column];
    if ((pair.lead == 0 || pair.lead == 224) && pair.second != 0) return pair;
    return std::nullopt;
}

std::uint16_t ScanCodeForCharacter(std::uint8_t character) {
    if (character == 0 || character == 224) return 0;
    for (std::uint16_t scan = 0; scan < NormalKeyRows; ++scan) {
        for (int column = ColumnPlain; column <= ColumnCtrl; ++column) {
            const CodePair cell = NormalKeyTable[scan][column];
            if (cell.lead == character && cell.second == 0) return scan;
        }
    }
    return 0;
}

}  // namespace vorla
