// The text services behind slots 0 to 4 of the table, and the start-up and
// ending of the standard streams they use.
#pragma once

#include "console_services/console_services.h"

namespace vorla {

// Program start-up: learns once which standard streams are terminals.
void StartStandardStreams();

// Program ending: delivers what the output streams hold and gives unread
// input back to a seekable standard input.  Safe to call more than once.
void FinishStandardStreams();

extern "C" {
int32_t VORLA_CALL PutLine(const char *text);
char *VORLA_CALL GetLine(char *buffer);
int32_t VORLA_CALL PutText(const char *text, int32_t selector);
char *VORLA_CALL GetText(char *buffer, int32_t size, int32_t selector);
int32_t VORLA_CALL RunShell(const char *command);
}

}  // namespace vorla
