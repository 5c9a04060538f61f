// Turns what a terminal sends for keys into console key events.
//
// Bytes are queued with the time they arrived.  Decoding looks only at the
// queue and at a clock value the caller passes in, so the same bytes with the
// same timing decode the same way however the reads happened to split them.
//
// Two stages: control sequences (CSI = Esc [, SS3 = Esc O) are parsed by the
// ECMA-48 grammar into parameters and a final byte, with the exceptions real
// terminals need; then one table maps the key and its modifiers to the event.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "console_services/key_tables.h"

namespace vorla {

using Milliseconds = std::int64_t;

// An Esc followed by nothing for this long is the Esc key itself.
inline constexpr Milliseconds EscapeWait = 50;
// Once a sequence has begun, how long a gap between its bytes may be before
// the sequence is given up.
inline constexpr Milliseconds SequenceWait = 300;
// A sequence longer than this is never a key: what has come of it is
// skipped, so that endless parameters can't hold the queue.
inline constexpr std::size_t LongestSequence = 4096;

struct DecodeStep {
    enum class Kind {
        Empty,  // nothing queued from the offset on
        Wait,   // the bytes so far can't be decided before deadline
        Key,    // event, made from length bytes
        Skip,   // length bytes that make no key: drop them
    } kind = Kind::Empty;
    std::size_t length = 0;
    Milliseconds deadline = 0;
    KeyEvent event;
};

class TerminalDecoder {
public:
    void Feed(const unsigned char *data, std::size_t size, Milliseconds arrived);
    // Decodes the key that begins offset bytes into the queue, without
    // removing anything.
    DecodeStep Decode(std::size_t offset, Milliseconds now) const;
    void Drop(std::size_t count);
    std::size_t Size() const { return bytes_.size() - head_; }

private:
    struct Sequence;

    unsigned char At(std::size_t index) const { return bytes_[head_ + index]; }
    Milliseconds ArrivedAt(std::size_t index) const { return times_[head_ + index]; }
    // Whether byte index is queued and came within limit of the byte before.
    bool Follows(std::size_t index, Milliseconds limit) const;
    DecodeStep DecodeEscape(std::size_t offset, Milliseconds now) const;
    DecodeStep DecodeSequence(std::size_t start, std::size_t introducer, bool alt,
                              Milliseconds now) const;

    std::vector<unsigned char> bytes_;
    std::vector<Milliseconds> times_;
    std::size_t head_ = 0;
};

// The event for a single byte the terminal sent outside any sequence.
KeyEvent KeyForByte(unsigned char byte);
// The event for a byte that came after an Esc within EscapeWait: that key
// with Alt held.
KeyEvent KeyForAltByte(unsigned char byte);

}  // namespace vorla
