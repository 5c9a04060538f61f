#pragma once

#include <cstdint>

#include "console_services/console_services.h"

namespace vorla {

// Forms the command text from the raw command line, loads the command
// library, calls its CallCommand once with services, releases it and returns
// the status the library stored, or -1.  -1 without loading anything when
// the command text would not fit its buffer; -1 when the library can't be
// loaded or has no CallCommand.
int32_t RunLauncher(const char *rawCommandLine, const ConsoleServices &services);

// The table lent to the library: every service of this program, slot 5 null.
ConsoleServices MakeServiceTable();

}  // namespace vorla
