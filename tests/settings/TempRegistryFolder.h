// Gives the process a registry folder of its own (VUVED_REGISTRY_DIR, restored afterwards) inside a new temporary
// folder, removed at the end; the hive files can be read and written directly.
#pragma once

#include <fstream>
#include <sstream>

#include "settings/ScopedFolderVariable.h"

class TempRegistryFolder : public ScopedFolderVariable {
public:
    // Not there yet: the first write must create it.
    TempRegistryFolder() : ScopedFolderVariable("VUVED_REGISTRY_DIR", "registry") {}

    std::string HivePath(const char* hive = "HKEY_CURRENT_USER") const { return folder + "/" + hive + ".reg"; }
    std::string ReadHive(const char* hive = "HKEY_CURRENT_USER") const {
        std::stringstream text;
        text << std::ifstream(HivePath(hive), std::ios::binary).rdbuf();
        return text.str();
    }
    void WriteHive(const std::string& text, const char* hive = "HKEY_CURRENT_USER") const {
        std::filesystem::create_directories(folder);
        std::ofstream(HivePath(hive), std::ios::binary | std::ios::trunc) << text;
    }
};
