#include "platform/RegistryFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/FileDescriptor.h"
#include "platform/ThreadSafety.h"

namespace win32::registry {

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;


// Holds an exclusive flock on a descriptor; released when the guard goes.
class FileLockGuard {
public:
    explicit FileLockGuard(int fd) : fd(fd) {
        int result;
        do {
            result = flock(fd, LOCK_EX);
        } while (result != 0 && errno == EINTR);
        locked = result == 0;
    }
    ~FileLockGuard() {
        if (locked) {
            flock(fd, LOCK_UN);
        }
    }
    FileLockGuard(const FileLockGuard&) = delete;
    FileLockGuard& operator=(const FileLockGuard&) = delete;
    bool Locked() const { return locked; }

private:
    int fd;
    bool locked = false;
};

enum class Problem { Reading, Writing };

// The last problem reported per file and kind, so that a broken file read a thousand times is reported once,
// and again only when the problem changes or comes back after the file had been repaired.
win32::Mutex reportLock;
std::map<std::pair<std::string, Problem>, std::string> reportedProblems GUARDED_BY(reportLock);

void ReportOnce(const std::string& path, Problem kind, const std::string& problem) {
    {
        win32::LockGuard guard(reportLock);
        std::string& last = reportedProblems[{path, kind}];
        if (last == problem) {
            return;
        }
        last = problem;
    }
    std::fprintf(stderr, "VUVed3UzeroVadave: registry file %s: %s\n", path.c_str(), problem.c_str());
    std::fflush(stderr);
}

void ClearReport(const std::string& path, Problem kind) {
    win32::LockGuard guard(reportLock);
    if (!reportedProblems.empty()) {
        reportedProblems.erase({path, kind});
    }
}

// What tells one version of a hive file from another: writers replace the file by rename (a new inode) or at least
// change its times.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    explicit FileIdentity(const struct stat& status)
        : device(status.st_dev),
          inode(status.st_ino),
          size(status.st_size),
          modified(status.st_mtim),
          changed(status.st_ctim) {}

    bool operator==(const FileIdentity& other) const {
        const auto same = [](const timespec& a, const timespec& b) {
            return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
        };
        return device == other.device && inode == other.inode && size == other.size &&
               same(modified, other.modified) && same(changed, other.changed);
    }
};

// The parsed hives of the files as last read. Settings are read many times per connection and per mail, and
// parsing the file each time was most of the cost of a short session. A version is kept only when it was read
// well after its last change: a second change within the same timestamp tick would not show in its identity.
constexpr std::int64_t kSettledNanoseconds = 2'000'000'000;

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

timespec Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

struct CachedHive {
    FileIdentity identity;
    Hive hive;
};

win32::Mutex cacheLock;
std::unordered_map<std::string, CachedHive> cachedHives GUARDED_BY(cacheLock);

std::optional<Hive> CachedVersion(const std::string& path) {
    struct stat status{};
    if (stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    win32::LockGuard guard(cacheLock);
    const auto found = cachedHives.find(path);
    if (found == cachedHives.end() || !(found->second.identity == FileIdentity(status))) {
        return std::nullopt;
    }
    return found->second.hive;
}

// Keeps what was read from the file when the file stayed the same throughout the read and had settled before it.
void KeepVersion(const std::string& path, const struct stat& before, const struct stat& after, const timespec& readAt,
                 const Hive& hive) {
    const FileIdentity identity(after);
    const auto settled = [&readAt](const timespec& time) {
        return Nanoseconds(readAt) - Nanoseconds(time) > kSettledNanoseconds;
    };
    win32::LockGuard guard(cacheLock);
    if (identity == FileIdentity(before) && settled(before.st_mtim) && settled(before.st_ctim)) {
        cachedHives.insert_or_assign(path, CachedHive{identity, hive});
    } else {
        cachedHives.erase(path);
    }
}

bool CreateFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string prefix = folder.substr(0, slash);
        if (!prefix.empty() && mkdir(prefix.c_str(), kFolderMode) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t result = write(fd, text.data() + written, text.size() - written);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(result);
    }
    return true;
}

}  // namespace

RegistryFile::RegistryFile(std::string folder, std::string rootName, std::vector<std::string> baseKeys)
    : folder(std::move(folder)),
      rootName(std::move(rootName)),
      baseKeys(std::move(baseKeys)),
      path(this->folder + "/" + this->rootName + ".reg") {}

std::optional<Hive> RegistryFile::Load() const {
    if (std::optional<Hive> cached = CachedVersion(path)) {
        return cached;
    }
    Hive hive(rootName, baseKeys);
    const timespec readAt = Now();
    const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid()) {
        if (errno == ENOENT) {
            return hive;
        }
        ReportOnce(path, Problem::Reading,
                   std::string("cannot be read (") + std::strerror(errno) +
                       "); its settings are not used and it is left unchanged");
        return std::nullopt;
    }
    struct stat before{};
    fstat(file.Get(), &before);
    std::string text;
    char chunk[8192];
    for (;;) {
        const ssize_t result = read(file.Get(), chunk, sizeof chunk);
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result < 0) {
            ReportOnce(path, Problem::Reading,
                       std::string("cannot be read (") + std::strerror(errno) +
                           "); its settings are not used and it is left unchanged");
            return std::nullopt;
        }
        if (result == 0) {
            break;
        }
        text.append(chunk, static_cast<std::size_t>(result));
    }
    if (const auto error = hive.Parse(text)) {
        ReportOnce(path, Problem::Reading,
                   "line " + std::to_string(error->line) + ": " + error->reason +
                       "; the file's settings are not used and it is left unchanged until it is corrected");
        return std::nullopt;
    }
    ClearReport(path, Problem::Reading);
    struct stat after{};
    if (fstat(file.Get(), &after) == 0) {
        KeepVersion(path, before, after, readAt, hive);
    }
    return hive;
}

LONG RegistryFile::Update(const std::function<LONG(Hive& hive, bool& changed)>& change) const {
    if (!CreateFolders(folder)) {
        ReportOnce(path, Problem::Writing,
                   "its folder cannot be created (" + std::string(std::strerror(errno)) + ")");
        return ERROR_CANTWRITE;
    }
    const FileDescriptor lockFile(open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kFileMode));
    if (!lockFile.Valid()) {
        ReportOnce(path, Problem::Writing,
                   "its lock file cannot be opened (" + std::string(std::strerror(errno)) + ")");
        return ERROR_CANTWRITE;
    }
    const FileLockGuard lock(lockFile.Get());
    if (!lock.Locked()) {
        ReportOnce(path, Problem::Writing,
                   "its lock file cannot be locked (" + std::string(std::strerror(errno)) + ")");
        return ERROR_CANTWRITE;
    }
    std::optional<Hive> hive = Load();
    if (!hive) {
        return ERROR_BADDB;
    }
    bool changed = false;
    const LONG result = change(*hive, changed);
    if (result != ERROR_SUCCESS || !changed) {
        return result;
    }
    return WriteAtomically(hive->Serialize()) ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

bool RegistryFile::WriteAtomically(const std::string& text) const {
    std::string temporary = folder + "/." + rootName + ".reg.XXXXXX";
    const FileDescriptor file(mkostemp(temporary.data(), O_CLOEXEC));  // mkostemp creates the file 0600
    if (!file.Valid()) {
        ReportOnce(path, Problem::Writing, "cannot be written (" + std::string(std::strerror(errno)) + ")");
        return false;
    }
    if (!WriteAll(file.Get(), text) || fchmod(file.Get(), kFileMode) != 0 || fsync(file.Get()) != 0 ||
        rename(temporary.c_str(), path.c_str()) != 0) {
        ReportOnce(path, Problem::Writing, "cannot be written (" + std::string(std::strerror(errno)) + ")");
        unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable.
    const FileDescriptor directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Valid()) {
        fsync(directory.Get());
    }
    ClearReport(path, Problem::Writing);
    return true;
}

}  // namespace win32::registry
