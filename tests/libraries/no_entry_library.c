/* A library that loads but has no CallCommand.  Loading it leaves a mark
 * (the file named by VORLA_PROBE_REPORT) so that a test can tell it was
 * loaded and then released. */
#define _POSIX_C_SOURCE 200809L
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

__attribute__((visibility("default"))) int SomethingElse(void) { return 1; }

static void Mark(const char *line)
{
    const char *path = getenv("VORLA_PROBE_REPORT");
    int file = path ? open(path, O_WRONLY | O_CREAT | O_APPEND, 0600) : -1;
    if (file >= 0) {
        if (write(file, line, strlen(line)) < 0) {}
        close(file);
    }
}

__attribute__((constructor)) static void Loaded(void) { Mark("loaded\n"); }

__attribute__((destructor)) static void Released(void) { Mark("released\n"); }
