// vorla: hands its command line to the command library "vorla.dll" and ends
// with the status the library stores.  It prints nothing of its own.
#include <cstdlib>

#include "console_services/key_services.h"
#include "console_services/text_services.h"
#include "launcher/launcher.h"
#include "platform/platform.h"

namespace {

void FinishProgram() {
    vorla::FinishStandardStreams();
    vorla::CloseKeyboard();
}

}  // namespace

int main(int argc, char **argv) {
    vorla::StartStandardStreams();
    vorla::OpenKeyboard();
    // Also runs when the library ends the process itself with exit().
    std::atexit(FinishProgram);

    const ConsoleServices services = vorla::MakeServiceTable();
    // Most command lines fit here; a longer one gets memory of its own.
    char shortLine[2048];
    char *rawLine = shortLine;
    const std::size_t length = vorla::platform::RawCommandLine(argc, argv, shortLine, sizeof shortLine);
    if (length >= sizeof shortLine) {
        rawLine = static_cast<char *>(std::malloc(length + 1));
        if (rawLine == nullptr) return -1;
        vorla::platform::RawCommandLine(argc, argv, rawLine, length + 1);
    }
    const int32_t status = vorla::RunLauncher(rawLine, services);
    if (rawLine != shortLine) std::free(rawLine);
    return static_cast<int>(status);
}
