/* Command library for the benchmarks.
 *   vorla              stores 0 and returns: start-up cost alone
 *   vorla lines N      N calls of PutLine with a 40-character line
 *   vorla polls N      N calls of PollKey with no key waiting */
#include <stdlib.h>
#include <string.h>

#include "console_services.h"

VORLA_EXPORT void VORLA_CALL CallCommand(const ConsoleServices *services,
                                         const char *commandText, int32_t *result)
{
    const char *arguments = commandText + 6;
    long count, i;
    while (*arguments == ' ') ++arguments;
    count = atol(strchr(arguments, ' ') ? strchr(arguments, ' ') : "0");
    if (strncmp(arguments, "lines", 5) == 0) {
        for (i = 0; i < count; ++i) services->PutLine("0123456789012345678901234567890123456789");
    } else if (strncmp(arguments, "polls", 5) == 0) {
        for (i = 0; i < count; ++i) services->PollKey();
    }
    *result = 0;
}
