// One dictionary is kept (the one the preferences name); opening another replaces it, and engines still holding
// the old one keep it until they are released.
#include "engines/DictionaryCache.h"

#include <sys/stat.h>

#include "engines/DictionaryTranslator.h"
#include "engines/EdictTranslator.h"
#include "platform/UserFolders.h"

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

std::vector<DictionaryCache::FileStamp> DictionaryCache::StampsOf(const std::string& path)
{
    if (EdictTranslator::IsInstalled(path)) {
        const std::string englishJapanese = DictionaryTranslator::kDefaultPath;
        return {Stamp(path), Stamp(englishJapanese + ".index"), Stamp(englishJapanese + ".dict.dz")};
    }
    return {Stamp(path + ".index"), Stamp(path + ".dict.dz")};
}

std::string DictionaryCache::EdictCacheFile()
{
    return win32::UserFolder("XDG_CACHE_HOME", ".cache") + "/edict-english.index";
}

std::shared_ptr<Translator> DictionaryCache::Get(const std::string& wanted, std::string& error)
{
    const std::vector<FileStamp> current = StampsOf(wanted);
    win32::LockGuard cacheGuard(cacheLock);
    if (dictionary && path == wanted && stamps == current) {
        return dictionary;
    }
    std::shared_ptr<Translator> opened;
    if (EdictTranslator::IsInstalled(wanted)) {
        opened = EdictTranslator::Open(wanted, EdictCacheFile(), error);
    } else {
        opened = DictionaryTranslator::Open(wanted, error);
    }
    if (!opened) {
        return nullptr;
    }
    path = wanted;
    stamps = current;
    dictionary = opened;
    return opened;
}

}  // namespace engines
