#include "platform/RegistryFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

namespace win32::registry {

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

// Owns one open file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor() {
        if (fd >= 0) {
            close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd; }
    bool Valid() const { return fd >= 0; }

private:
    int fd;
};

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
std::mutex reportLock;
std::map<std::pair<std::string, Problem>, std::string> reportedProblems;  // guarded by reportLock

void ReportOnce(const std::string& path, Problem kind, const std::string& problem) {
    {
        std::scoped_lock guard(reportLock);
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
    std::scoped_lock guard(reportLock);
    if (!reportedProblems.empty()) {
        reportedProblems.erase({path, kind});
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
    Hive hive(rootName, baseKeys);
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
