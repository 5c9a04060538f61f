#include "text_streams.h"

#include <cstring>

namespace vorla {
namespace {

bool WriteAll(platform::StreamId id, const char *data, std::size_t size) {
    while (size > 0) {
        const std::ptrdiff_t written = platform::WriteSome(id, data, size);
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Makes unread input available; false at the end of input or on error.
bool Fill(InputStream &stream) {
    if (stream.position < stream.end) return true;
    const std::ptrdiff_t got = platform::ReadSome(stream.id, stream.buffer, StreamBufferSize);
    stream.position = 0;
    stream.end = got > 0 ? static_cast<std::size_t>(got) : 0;
    return got > 0;
}

}  // namespace

bool StreamFlush(OutputStream &stream) {
    const std::size_t used = stream.used;
    stream.used = 0;
    return WriteAll(stream.id, stream.buffer, used);
}

bool StreamPut(OutputStream &stream, const char *data, std::size_t size) {
    if (size <= StreamBufferSize - stream.used) {
        std::memcpy(stream.buffer + stream.used, data, size);
        stream.used += size;
        return true;
    }
    if (!StreamFlush(stream)) return false;
    if (size < StreamBufferSize) {
        std::memcpy(stream.buffer, data, size);
        stream.used = size;
        return true;
    }
    return WriteAll(stream.id, data, size);
}

bool StreamEndCall(OutputStream &stream) {
    return !stream.terminal || StreamFlush(stream);
}

std::ptrdiff_t StreamReadLine(InputStream &stream, char *out, std::size_t limit,
                              LineFeed lineFeed) {
    std::size_t stored = 0;
    bool took = false;
    while (stored < limit) {
        if (!Fill(stream)) return took ? static_cast<std::ptrdiff_t>(stored) : -1;
        took = true;
        const char *start = stream.buffer + stream.position;
        const std::size_t available = stream.end - stream.position;
        const std::size_t room = limit - stored;
        const std::size_t span = available < room ? available : room;
        const void *found = std::memchr(start, '\n', span);
        if (found != nullptr) {
            const std::size_t before = static_cast<std::size_t>(static_cast<const char *>(found) - start);
            const std::size_t keep = lineFeed == LineFeed::Keep ? before + 1 : before;
            std::memcpy(out + stored, start, keep);
            stream.position += before + 1;
            return static_cast<std::ptrdiff_t>(stored + keep);
        }
        std::memcpy(out + stored, start, span);
        stream.position += span;
        stored += span;
    }
    // At the limit: a line feed that follows at once still ends this line,
    // so a line of exactly the limit doesn't come back as an extra empty one.
    if (lineFeed == LineFeed::Drop && Fill(stream) && stream.buffer[stream.position] == '\n')
        ++stream.position;
    return static_cast<std::ptrdiff_t>(stored);
}

void StreamGiveBackUnread(InputStream &stream) {
    const std::size_t unread = stream.end - stream.position;
    if (unread == 0) return;
    if (platform::GiveBackInput(stream.id, unread)) stream.position = stream.end = 0;
}

}  // namespace vorla
