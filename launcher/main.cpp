// vorla: hands its command line to the command library "vorla.dll" and ends
// with the status the library stores.  It prints nothing of its own.
#include <cstdlib>
#include <string>

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
    const std::string rawLine = vorla::platform::RawCommandLine(argc, argv);
    const int32_t status = vorla::RunLauncher(rawLine.c_str(), services);
    return static_cast<int>(status);
}
