// A new temporary folder named by an environment variable while the object lives (or a folder below it, not
// there yet); the variable is restored and the folder removed at its end. Child processes inherit it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

class ScopedFolderVariable {
public:
    explicit ScopedFolderVariable(const char* variable, const char* below = nullptr) : variable(variable) {
        std::string pattern = (std::filesystem::temp_directory_path() / "vuved-XXXXXX").string();
        root = mkdtemp(pattern.data()) != nullptr ? pattern : throw std::runtime_error("no temporary folder");
        folder = below != nullptr ? root + "/" + below : root;
        if (const char* old = std::getenv(variable)) {
            previous = old;
        }
        setenv(variable, folder.c_str(), 1);
    }
    ~ScopedFolderVariable() {
        previous ? setenv(variable, previous->c_str(), 1) : unsetenv(variable);
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    ScopedFolderVariable(const ScopedFolderVariable&) = delete;
    ScopedFolderVariable& operator=(const ScopedFolderVariable&) = delete;

    std::string root;
    std::string folder;

private:
    const char* variable;
    std::optional<std::string> previous;
};
