// The dictionary kept open between engine objects: every batch makes a new engine, and the installed engine
// class hands each one the dictionary it already holds, as long as neither file has changed. Owned by the engine
// class's registration; engines of any thread may ask it.
#pragma once

#include <ctime>
#include <memory>
#include <mutex>
#include <string>

#include "engines/DictionaryTranslator.h"

namespace engines {

class DictionaryCache {
public:
    // The dictionary at `path`, opened again only when it is new or one of its files changed; null with `error`
    // set when it cannot be read.
    std::shared_ptr<DictionaryTranslator> Get(const std::string& path, std::string& error);

private:
    // What tells a changed file: size and modification time.
    struct FileStamp {
        long long size = -1;
        std::timespec modified{};
        bool operator==(const FileStamp& other) const
        {
            return size == other.size && modified.tv_sec == other.modified.tv_sec &&
                   modified.tv_nsec == other.modified.tv_nsec;
        }
    };
    static FileStamp Stamp(const std::string& file);

    std::mutex cacheLock;
    std::string path;                                 // guarded by cacheLock
    FileStamp indexStamp;                             // guarded by cacheLock
    FileStamp dataStamp;                              // guarded by cacheLock
    std::shared_ptr<DictionaryTranslator> dictionary;  // guarded by cacheLock
};

}  // namespace engines
