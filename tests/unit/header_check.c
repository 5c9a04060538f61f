/* Compiled as C99 with every warning fatal: the public header must serve a
 * library written in C. */
#include <stddef.h>

#include "console_services.h"

VORLA_EXPORT void VORLA_CALL CallCommand(const ConsoleServices *services,
                                         const char *commandText, int32_t *result);

VORLA_EXPORT void VORLA_CALL CallCommand(const ConsoleServices *services,
                                         const char *commandText, int32_t *result)
{
    char line[ConsoleLineSize];
    CallCommandEntry entry = CallCommand;
    (void)entry;
    if (services->GetLine(line) != NULL) services->PutText(commandText, ConsoleStandardError);
    *result = ConsoleNoStatus;
}
