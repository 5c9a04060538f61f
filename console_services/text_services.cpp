#include "text_services.h"

#include <cstring>

#include "console_services/text_streams.h"
#include "platform/platform.h"

namespace vorla {
namespace {

using platform::StreamId;

char outputBuffer[StreamBufferSize];
char errorBuffer[StreamBufferSize];
char inputBuffer[StreamBufferSize];
OutputStream standardOutput{StreamId::Output, false, 0, outputBuffer};
OutputStream standardError{StreamId::Error, false, 0, errorBuffer};
InputStream standardInput{StreamId::Input, 0, 0, inputBuffer};

OutputStream &Selected(int32_t selector) {
    return selector == ConsoleStandardError ? standardError : standardOutput;
}

// Writes text (and a line feed when asked) as one service call.  0 when all
// of text went out; the line feed alone failing doesn't change that.
int32_t WriteCall(OutputStream &stream, const char *text, bool lineFeed) {
    if (text == nullptr) return -1;
    bool complete = StreamPut(stream, text, std::strlen(text));
    if (lineFeed) StreamPut(stream, "\n", 1);
    // A terminal gets one write for the whole call where the buffer holds it.
    if (!StreamEndCall(stream) && stream.terminal) complete = false;
    return complete ? 0 : -1;
}

}  // namespace

void StartStandardStreams() {
    standardOutput.terminal = platform::IsTerminal(StreamId::Output);
    standardError.terminal = platform::IsTerminal(StreamId::Error);
    platform::PrepareOutputSignals();
}

void FinishStandardStreams() {
    StreamFlush(standardOutput);
    StreamFlush(standardError);
    StreamGiveBackUnread(standardInput);
}

extern "C" {

int32_t VORLA_CALL PutLine(const char *text) {
    return WriteCall(standardOutput, text, true);
}

int32_t VORLA_CALL PutText(const char *text, int32_t selector) {
    return WriteCall(Selected(selector), text, false);
}

char *VORLA_CALL GetLine(char *buffer) {
    if (buffer == nullptr) return nullptr;
    const std::ptrdiff_t stored =
        StreamReadLine(standardInput, buffer, ConsoleLineSize - 1, LineFeed::Drop);
    if (stored < 0) return nullptr;
    buffer[stored] = '\0';
    return buffer;
}

char *VORLA_CALL GetText(char *buffer, int32_t size, int32_t /*selector: always standard input*/) {
    if (buffer == nullptr || size <= 0) return nullptr;
    const std::ptrdiff_t stored = StreamReadLine(
        standardInput, buffer, static_cast<std::size_t>(size) - 1, LineFeed::Keep);
    if (stored < 0) return nullptr;
    buffer[stored] = '\0';
    return buffer;
}

int32_t VORLA_CALL RunShell(const char *command) {
    if (command != nullptr) {
        // The command's output must land after everything written before it,
        // and it must find a shared input file where this program's reading
        // really stands.
        StreamFlush(standardOutput);
        StreamFlush(standardError);
        StreamGiveBackUnread(standardInput);
    }
    return platform::RunCommandInterpreter(command);
}

}  // extern "C"

}  // namespace vorla
