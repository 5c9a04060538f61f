// Buffered standard streams behind the text services.
//
// An output stream that is a terminal is written through by the end of every
// service call; a file or pipe keeps its buffer until it fills, until a
// shell command runs, or until the program ends.  Input is read through one
// buffer, whatever the stream is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace vorla {

inline constexpr std::size_t StreamBufferSize = 8192;

// The buffers are separate zero-filled storage, touched only once used.
struct OutputStream {
    platform::StreamId id;
    bool terminal;
    std::size_t used;
    char *buffer;  // StreamBufferSize bytes
};

struct InputStream {
    platform::StreamId id;
    std::size_t position;
    std::size_t end;
    char *buffer;  // StreamBufferSize bytes
};

// Appends data; true when all of it was taken (buffered or written).
bool StreamPut(OutputStream &stream, const char *data, std::size_t size);

// Delivers what the buffer holds; true when all of it went out.  What could
// not be delivered is dropped, so one failed write is reported once.
bool StreamFlush(OutputStream &stream);

// End of a service call: a terminal is written through now.
bool StreamEndCall(OutputStream &stream);

enum class LineFeed {
    // GetLine: the line feed is consumed but not stored.  A line that
    // reaches the limit still ends there when a line feed follows at once.
    Drop,
    // GetText: the line feed is stored like any character, when it fits.
    Keep,
};

// Reads one line's characters into out, at most limit of them, without a
// terminating zero.  Returns the number stored, or -1 when the end of input
// (or a read error) came before a single character was taken.
std::ptrdiff_t StreamReadLine(InputStream &stream, char *out, std::size_t limit,
                              LineFeed lineFeed);

// Hands back to a seekable input what the buffer holds unread, so that the
// next reader of the same file starts where this program's reading stands.
void StreamGiveBackUnread(InputStream &stream);

}  // namespace vorla
