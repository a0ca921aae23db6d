// The dictionary kept open between engine objects: every batch makes a new engine, and the installed engine
// class hands each one the dictionary it already holds, as long as its files have not changed. Owned by the
// engine class's registration; engines of any thread may ask it.
#pragma once

#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engines/Translator.h"
#include "platform/ThreadSafety.h"

namespace engines {

class DictionaryCache {
public:
    // The dictionary at `path`, opened again only when it is new or one of its files changed: an EDICT file
    // when `path` is one (its English index cached below $XDG_CACHE_HOME), else the dictd pair `path`.index and
    // `path`.dict.dz. Null with `error` set when it cannot be read.
    std::shared_ptr<Translator> Get(const std::string& path, std::string& error);

    // Where the English index of an EDICT file is kept between processes.
    static std::string EdictCacheFile();

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
    static std::vector<FileStamp> StampsOf(const std::string& path);

    win32::Mutex cacheLock;
    std::string path GUARDED_BY(cacheLock);
    std::vector<FileStamp> stamps GUARDED_BY(cacheLock);
    std::shared_ptr<Translator> dictionary GUARDED_BY(cacheLock);
};

}  // namespace engines
