// Linux backend of the module queries: /proc/self for the command line and the executable, the XDG runtime
// folder (or a private folder in /tmp) for what the server publishes.
#include "platform/ComServerModule.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/UserFolders.h"

namespace win32 {

std::string GetCommandLine() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    while (!raw.empty() && raw.back() == '\0') {
        raw.pop_back();
    }
    std::replace(raw.begin(), raw.end(), '\0', ' ');
    return raw;
}

DWORD GetModuleFileName(void* /*module*/, char* buffer, DWORD size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) {
        buffer[0] = '\0';
        return 0;
    }
    const DWORD copied = std::min<DWORD>(static_cast<DWORD>(length), size - 1);
    std::memcpy(buffer, path, copied);
    buffer[copied] = '\0';
    return static_cast<DWORD>(length) > copied ? size : copied;
}

DWORD GetShortPathName(const char* /*longPath*/, char* shortPath, DWORD size) {
    if (shortPath != nullptr && size > 0) {
        shortPath[0] = '\0';
    }
    return 0;
}

std::string RuntimeFolder() {
    std::string folder = RuntimeFolderPath();
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return {};
    }
    // A folder that someone else made (in /tmp) or that others may enter would expose the server.
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 077) != 0) {
        return {};
    }
    return folder;
}

std::string AutomationSocketPath() {
    const std::string folder = RuntimeFolder();
    return folder.empty() ? std::string() : folder + "/automation";
}

}  // namespace win32
