#include "launcher.h"

#include "console_services/key_services.h"
#include "console_services/text_services.h"
#include "launcher/command_line.h"
#include "platform/platform.h"

namespace vorla {

ConsoleServices MakeServiceTable() {
    ConsoleServices table{};
    table.PutLine = PutLine;
    table.GetLine = GetLine;
    table.PutText = PutText;
    table.GetText = GetText;
    table.RunShell = RunShell;
    table.Reserved = nullptr;
    table.GetKey = GetKey;
    table.PollKey = PollKey;
    return table;
}

int32_t RunLauncher(const char *rawCommandLine, const ConsoleServices &services) {
    char commandText[CommandTextSize];
    if (!FormCommandText(SkipProgramName(rawCommandLine), commandText)) return -1;

    void *library = platform::LoadCommandLibrary();
    if (library == nullptr) return -1;
    void *entry = platform::FindEntryPoint(library, "CallCommand");
    if (entry == nullptr) {
        platform::ReleaseLibrary(library);
        return -1;
    }

    int32_t result = -1;
    reinterpret_cast<CallCommandEntry>(entry)(&services, commandText, &result);
    platform::ReleaseLibrary(library);
    return result;
}

}  // namespace vorla
