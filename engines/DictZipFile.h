// Random access to a dictzip file (gzip with a chunk table in its extra field, each chunk deflated on its own),
// so that a dictionary entry is read by inflating only the chunks it lies in. Owned by one translator; one
// thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace engines {

class DictZipFile {
public:
    DictZipFile();
    ~DictZipFile();
    DictZipFile(const DictZipFile&) = delete;
    DictZipFile& operator=(const DictZipFile&) = delete;

    // Opens the file and reads its chunk table; on failure `error` says which file and why.
    bool Open(const std::string& path, std::string& error);
    // The uncompressed bytes [offset, offset + length); nothing when the range or the data is damaged.
    std::optional<std::string> Read(std::uint64_t offset, std::uint64_t length);

private:
    // A chunk inflated only as far as it has been read so far; the stream resumes for a later, deeper read.
    struct Chunk;
    // The chunk's first `needed` bytes (fewer at the end of the data); null when the chunk cannot be read.
    const Chunk* Inflate(std::size_t index, std::size_t needed);

    int descriptor = -1;
    std::uint32_t chunkLength = 0;
    std::vector<std::uint64_t> chunkOffsets;  // file offset of each chunk, plus one past the last
    std::map<std::size_t, std::unique_ptr<Chunk>> chunks;
};

}  // namespace engines
