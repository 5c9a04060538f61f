/* A library that loads but has no CallCommand.  Loading it leaves a mark
 * (the file named by VORLA_PROBE_REPORT) so that a test can tell it was
 * loaded and then released. */
#define _POSIX_C_SOURCE 200809L
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

__attribute__((visibility("default"))) int SomethingElse(void) { return 1; }

__attribute__((constructor)) static void Loaded(void)
{
    const char *path = getenv("VORLA_PROBE_REPORT");
    int file = path ? open(path, O_WRONLY | O_CREAT | O_APPEND, 0600) : -1;
    if (file >= 0) {
        if (write(file, "loaded\n", 7) < 0) {}
        close(file);
    }
}

__attribute__((destructor)) static void Released(void)
{
    const char *path = getenv("VORLA_PROBE_REPORT");
    int file = path ? open(path, O_WRONLY | O_CREAT | O_APPEND, 0600) : -1;
    if (file >= 0) {
        if (write(file, "released\n", 9) < 0) {}
        close(file);
    }
}
