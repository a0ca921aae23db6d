// One dictionary is kept (the one the preferences name); opening another replaces it, and engines still holding
// the old one keep it until they are released.
#include "engines/DictionaryCache.h"

#include <sys/stat.h>

namespace engines {

DictionaryCache::FileStamp DictionaryCache::Stamp(const std::string& file)
{
    FileStamp stamp;
    struct stat status {};
    if (::stat(file.c_str(), &status) == 0) {
        stamp.size = static_cast<long long>(status.st_size);
        stamp.modified = status.st_mtim;
    }
    return stamp;
}

std::shared_ptr<DictionaryTranslator> DictionaryCache::Get(const std::string& wanted, std::string& error)
{
    const FileStamp index = Stamp(wanted + ".index");
    const FileStamp data = Stamp(wanted + ".dict.dz");
    std::scoped_lock cacheGuard(cacheLock);
    if (dictionary && path == wanted && indexStamp == index && dataStamp == data) {
        return dictionary;
    }
    std::shared_ptr<DictionaryTranslator> opened = DictionaryTranslator::Open(wanted, error);
    if (!opened) {
        return nullptr;
    }
    path = wanted;
    indexStamp = index;
    dataStamp = data;
    dictionary = opened;
    return opened;
}

}  // namespace engines
