// The file of one registry hive: read afresh whenever it has changed (a version that has settled is kept parsed
// in memory), replaced atomically (temporary file, fsync, rename) under an advisory lock on a lock file beside it,
// so that writers in any thread or process lose nothing. A file that cannot be read or parsed is never replaced;
// the problem is reported once on stderr.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/RegistryHive.h"
#include "platform/Win32Types.h"

namespace win32::registry {

class RegistryFile {
public:
    RegistryFile(std::string folder, std::string rootName, std::vector<std::string> baseKeys);

    // The current contents (an absent file is an empty hive); nullopt when the file is unusable.
    std::optional<Hive> Load() const;
    // Loads the hive under the write lock, lets change edit it and, when change succeeds and sets changed,
    // writes the result back. Returns change's result, or the error that kept the file from being used.
    LONG Update(const std::function<LONG(Hive& hive, bool& changed)>& change) const;

    const std::string& Path() const { return path; }

private:
    bool WriteAtomically(const std::string& text) const;

    std::string folder;
    std::string rootName;
    std::vector<std::string> baseKeys;
    std::string path;
};

}  // namespace win32::registry
