// Gives a test its own empty registry folder through VUVED_REGISTRY_DIR and removes it afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class TempRegistryFolder {
public:
    TempRegistryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vuved-registry-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "cannot create a temporary folder";
        }
        root = pattern;
        folder = root + "/registry";  // not there yet: the first write must create it
        setenv("VUVED_REGISTRY_DIR", folder.c_str(), 1);
    }
    ~TempRegistryFolder() {
        unsetenv("VUVED_REGISTRY_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    TempRegistryFolder(const TempRegistryFolder&) = delete;
    TempRegistryFolder& operator=(const TempRegistryFolder&) = delete;

    std::string HivePath(const char* hive = "HKEY_CURRENT_USER") const {
        return folder + "/" + hive + ".reg";
    }

    std::string ReadHive(const char* hive = "HKEY_CURRENT_USER") const {
        std::ifstream file(HivePath(hive), std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    void WriteHive(const std::string& text, const char* hive = "HKEY_CURRENT_USER") const {
        std::filesystem::create_directories(folder);
        std::ofstream file(HivePath(hive), std::ios::binary | std::ios::trunc);
        file << text;
    }

    std::string root;
    std::string folder;
};

// A test with its own empty registry folder.
class RegistryFolderTest : public ::testing::Test {
protected:
    TempRegistryFolder registry;
};
