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

#include "console_services/key_tables.h"

namespace vorla {

using Milliseconds = std::int64_t;

// An Esc followed by nothing for this long is the Esc key itself.
inline constexpr Milliseconds EscapeWait = 50;
// Once a sequence has begun, how long a gap between its bytes may be before
// the sequence is given up.
inline constexpr Milliseconds SequenceWait = 300;
// A sequence longer than this is never a key: it is skipped, the part still
// to come included.
inline constexpr std::size_t LongestSequence = 256;
// Bytes the queue holds at most.  A reader takes no more from the terminal
// than there is room for; a sequence still waiting for its end never needs
// more than LongestSequence of it.
inline constexpr std::size_t DecoderCapacity = 8192;

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
    bool overlong = false;  // Skip: the sequence goes on past these bytes
};

class TerminalDecoder {
public:
    // Queues what fits of data; returns how many bytes were taken.
    std::size_t Feed(const unsigned char *data, std::size_t size, Milliseconds arrived);
    // Decodes the key that begins offset bytes into the queue, without
    // removing anything.
    DecodeStep Decode(std::size_t offset, Milliseconds now) const;
    // Removes the bytes of a step decoded at offset 0.
    void Consume(const DecodeStep &step);
    std::size_t Size() const { return size_; }
    std::size_t Room() const { return DecoderCapacity - size_; }

private:
    unsigned char At(std::size_t index) const { return bytes_[head_ + index]; }
    Milliseconds ArrivedAt(std::size_t index) const { return times_[head_ + index]; }
    // Whether byte index is queued and came within limit of the byte before.
    bool Follows(std::size_t index, Milliseconds limit) const;
    DecodeStep DecodeEscape(std::size_t offset, Milliseconds now) const;
    DecodeStep DecodeSequence(std::size_t start, std::size_t introducer, bool alt,
                              Milliseconds now) const;
    // The rest of an over-long sequence, at the head of the queue.
    DecodeStep DecodeDiscarded() const;

    unsigned char bytes_[DecoderCapacity];
    Milliseconds times_[DecoderCapacity];
    std::size_t head_ = 0;
    std::size_t size_ = 0;
    bool discarding_ = false;
    Milliseconds lastDiscarded_ = 0;
};

// The event for a single byte the terminal sent outside any sequence.
KeyEvent KeyForByte(unsigned char byte);
// The event for a byte that came after an Esc within EscapeWait: that key
// with Alt held.
KeyEvent KeyForAltByte(unsigned char byte);

}  // namespace vorla
