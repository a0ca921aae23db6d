#include "platform/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace win32 {

namespace {

constexpr const char* kOwnFolder = "/VUVed3UzeroVadave";

// $HOME, else the home folder of the user's account, else /tmp.
std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    const passwd* user = getpwuid(getuid());
    return user != nullptr ? user->pw_dir : "/tmp";
}

}  // namespace

std::string UserFolder(const char* xdgVariable, const char* belowHome)
{
    if (const char* base = std::getenv(xdgVariable); base != nullptr && base[0] == '/') {
        return std::string(base) + kOwnFolder;
    }
    return HomeFolder() + "/" + belowHome + kOwnFolder;
}

std::string RuntimeFolderPath()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] != '\0') {
        return std::string(runtime) + kOwnFolder;
    }
    return "/tmp" + std::string(kOwnFolder) + "-" + std::to_string(getuid());
}

}  // namespace win32
