// Linux stand-ins for the raw command line and run-time library loading.
#include <dlfcn.h>
#include <unistd.h>

#include <string.h>

#include <climits>
#include <cstring>

#include "launcher/command_line.h"
#include "platform/platform.h"

namespace vorla::platform {
namespace {

constexpr char LibraryName[] = "vorla.dll";

// The library's path in the directory that holds this program's executable
// file; false when that directory can't be told.
bool LibraryBesideExecutable(char (&path)[PATH_MAX]) {
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return false;
    char *slash = static_cast<char *>(memrchr(path, '/', static_cast<std::size_t>(length)));
    if (slash == nullptr) return false;
    const std::size_t directory = static_cast<std::size_t>(slash + 1 - path);
    if (directory + sizeof LibraryName > sizeof path) return false;
    std::memcpy(slash + 1, LibraryName, sizeof LibraryName);
    return true;
}

}  // namespace

std::size_t RawCommandLine(int argc, char **argv, char *line, std::size_t room) {
    return RebuildCommandLine(argc, argv, line, room);
}

void *LoadCommandLibrary() {
    // The executable's own directory first, then the loader's ordinary search
    // (LD_LIBRARY_PATH, the system directories); the current directory only
    // when it is one of those.
    char path[PATH_MAX];
    if (LibraryBesideExecutable(path)) {
        if (void *library = dlopen(path, RTLD_NOW | RTLD_LOCAL)) return library;
    }
    return dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
}

void *FindEntryPoint(void *library, const char *name) {
    return dlsym(library, name);
}

void ReleaseLibrary(void *library) {
    dlclose(library);
}

}  // namespace vorla::platform
