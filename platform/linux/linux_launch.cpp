// Linux stand-ins for the raw command line and run-time library loading.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "launcher/command_line.h"
#include "platform/platform.h"

namespace vorla::platform {
namespace {

constexpr char LibraryName[] = "vorla.dll";

// The directory that holds this program's executable file, with a trailing
// slash; empty when it can't be told.
std::string ExecutableDirectory() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return {};
    const std::string whole(path, static_cast<std::size_t>(length));
    const std::size_t slash = whole.rfind('/');
    return slash == std::string::npos ? std::string() : whole.substr(0, slash + 1);
}

}  // namespace

std::string RawCommandLine(int argc, char **argv) {
    return RebuildCommandLine(argc, argv);
}

void *LoadCommandLibrary() {
    // The executable's own directory first, then the loader's ordinary search
    // (LD_LIBRARY_PATH, the system directories); the current directory only
    // when it is one of those.
    const std::string directory = ExecutableDirectory();
    if (!directory.empty()) {
        if (void *library = dlopen((directory + LibraryName).c_str(), RTLD_NOW | RTLD_LOCAL))
            return library;
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
