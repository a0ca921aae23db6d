// Gives the process a registry folder of its own (VUVED_REGISTRY_DIR, restored afterwards) inside a new temporary
// folder, removed at the end; the hive files can be read and written directly.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

class TempRegistryFolder {
public:
    TempRegistryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vuved-registry-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("cannot create a temporary registry folder");
            std::abort();
        }
        root = pattern;
        folder = root + "/registry";  // not there yet: the first write must create it
        setenv("VUVED_REGISTRY_DIR", folder.c_str(), 1);
    }
    ~TempRegistryFolder() {
        previous ? setenv("VUVED_REGISTRY_DIR", previous->c_str(), 1) : unsetenv("VUVED_REGISTRY_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    TempRegistryFolder(const TempRegistryFolder&) = delete;
    TempRegistryFolder& operator=(const TempRegistryFolder&) = delete;

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

    std::string root;
    std::string folder;

private:
    const std::optional<std::string> previous = std::getenv("VUVED_REGISTRY_DIR")
                                                    ? std::optional<std::string>(std::getenv("VUVED_REGISTRY_DIR"))
                                                    : std::nullopt;
};
