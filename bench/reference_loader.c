/* The reference for vorla's start-up and output: a plain C program that
 * loads a library with dlopen and calls its CallCommand once (with an empty
 * table and the command text "vorla "), and writes lines with the C
 * library's puts.
 *   reference_loader LIBRARY           load, call, release
 *   reference_loader LIBRARY lines N   puts N lines instead */
#define _POSIX_C_SOURCE 200809L
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "console_services.h"

int main(int argc, char **argv)
{
    void *library;
    void *entry;
    CallCommandEntry call;
    ConsoleServices services;
    int32_t result = -1;
    if (argc > 3 && strcmp(argv[2], "lines") == 0) {
        long count = atol(argv[3]), i;
        for (i = 0; i < count; ++i) puts("0123456789012345678901234567890123456789");
        return 0;
    }
    library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) return 2;
    entry = dlsym(library, "CallCommand");
    if (entry == NULL) return 3;
    memset(&services, 0, sizeof services);
    memcpy(&call, &entry, sizeof call);
    call(&services, "vorla ", &result);
    dlclose(library);
    return (int)result;
}
