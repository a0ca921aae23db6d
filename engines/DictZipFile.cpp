// dictzip reading: the gzip header (RFC 1952) carries an "RA" extra subfield with the uncompressed chunk length
// and the compressed size of every chunk; chunks end in a full flush, so each inflates alone as raw deflate.
#include "engines/DictZipFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>

namespace engines {

namespace {

constexpr unsigned char kFlagHeaderCrc = 0x02;
constexpr unsigned char kFlagExtra = 0x04;
constexpr unsigned char kFlagName = 0x08;
constexpr unsigned char kFlagComment = 0x10;
// Inflated chunks kept for later entries; a dictionary chunk is about 58 KB.
constexpr std::size_t kCachedChunks = 64;

bool ReadAt(int descriptor, std::uint64_t offset, void* buffer, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const ssize_t got = ::pread(descriptor, bytes, size, static_cast<off_t>(offset));
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

unsigned Le16(const unsigned char* bytes) { return bytes[0] | (bytes[1] << 8); }

// Skips a NUL-terminated field of the header, reading it a piece at a time.
bool SkipZeroTerminated(int descriptor, std::uint64_t& offset)
{
    unsigned char piece[256];
    for (;;) {
        const ssize_t got = ::pread(descriptor, piece, sizeof piece, static_cast<off_t>(offset));
        if (got <= 0) {
            return false;
        }
        const void* end = std::memchr(piece, 0, static_cast<std::size_t>(got));
        if (end != nullptr) {
            offset += static_cast<std::uint64_t>(static_cast<const unsigned char*>(end) - piece) + 1;
            return true;
        }
        offset += static_cast<std::uint64_t>(got);
    }
}

}  // namespace

bool DictZipFile::Open(const std::string& path, std::string& error)
{
    descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    unsigned char header[12];
    if (!ReadAt(descriptor, 0, header, sizeof header) || header[0] != 0x1F || header[1] != 0x8B || header[2] != 8 ||
        (header[3] & kFlagExtra) == 0) {
        error = path + ": not a dictzip file (no gzip header with an extra field)";
        return false;
    }
    const unsigned flags = header[3];
    const unsigned extraLength = Le16(header + 10);
    std::vector<unsigned char> extra(extraLength);
    if (!ReadAt(descriptor, sizeof header, extra.data(), extra.size())) {
        error = path + ": truncated gzip extra field";
        return false;
    }
    std::uint64_t dataOffset = sizeof header + extraLength;
    std::vector<unsigned> chunkSizes;
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        const unsigned subfieldLength = Le16(extra.data() + at + 2);
        if (at + 4 + subfieldLength > extra.size()) {
            break;
        }
        const unsigned char* data = extra.data() + at + 4;
        if (extra[at] == 'R' && extra[at + 1] == 'A' && subfieldLength >= 6) {
            chunkLength = Le16(data + 2);
            const unsigned count = Le16(data + 4);
            if (6 + 2 * static_cast<std::size_t>(count) > subfieldLength) {
                break;
            }
            for (unsigned i = 0; i < count; ++i) {
                chunkSizes.push_back(Le16(data + 6 + 2 * i));
            }
        }
        at += 4 + subfieldLength;
    }
    if (chunkLength == 0 || chunkSizes.empty()) {
        error = path + ": no dictzip chunk table in the gzip header";
        return false;
    }
    if (((flags & kFlagName) != 0 && !SkipZeroTerminated(descriptor, dataOffset)) ||
        ((flags & kFlagComment) != 0 && !SkipZeroTerminated(descriptor, dataOffset))) {
        error = path + ": truncated gzip header";
        return false;
    }
    if ((flags & kFlagHeaderCrc) != 0) {
        dataOffset += 2;
    }
    chunkOffsets.reserve(chunkSizes.size() + 1);
    chunkOffsets.push_back(dataOffset);
    for (unsigned size : chunkSizes) {
        chunkOffsets.push_back(chunkOffsets.back() + size);
    }
    return true;
}

struct DictZipFile::Chunk {
    Chunk() = default;
    ~Chunk()
    {
        if (streamOpen) {
            inflateEnd(&stream);
        }
    }
    Chunk(const Chunk&) = delete;
    Chunk& operator=(const Chunk&) = delete;

    std::string compressed;
    std::unique_ptr<char[]> plain;  // room for the whole chunk; the first `produced` bytes are valid
    std::size_t capacity = 0;
    std::size_t produced = 0;
    bool complete = false;
    bool streamOpen = false;
    z_stream stream{};
};

DictZipFile::DictZipFile() = default;

DictZipFile::~DictZipFile()
{
    if (descriptor >= 0) {
        ::close(descriptor);
    }
}

const DictZipFile::Chunk* DictZipFile::Inflate(std::size_t index, std::size_t needed)
{
    auto found = chunks.find(index);
    if (found == chunks.end()) {
        if (chunks.size() >= kCachedChunks) {
            chunks.clear();
        }
        auto chunk = std::make_unique<Chunk>();
        chunk->compressed.resize(chunkOffsets[index + 1] - chunkOffsets[index]);
        if (!ReadAt(descriptor, chunkOffsets[index], chunk->compressed.data(), chunk->compressed.size()) ||
            inflateInit2(&chunk->stream, -MAX_WBITS) != Z_OK) {
            return nullptr;
        }
        chunk->streamOpen = true;
        chunk->plain = std::make_unique_for_overwrite<char[]>(chunkLength);
        chunk->capacity = chunkLength;
        chunk->stream.next_in = reinterpret_cast<Bytef*>(chunk->compressed.data());
        chunk->stream.avail_in = static_cast<uInt>(chunk->compressed.size());
        found = chunks.emplace(index, std::move(chunk)).first;
    }
    Chunk& chunk = *found->second;
    // Inflating a little past the need saves restarting the stream for the next entry nearby.
    constexpr std::size_t kReadAhead = 4096;
    while (!chunk.complete && chunk.produced < needed) {
        const std::size_t target = std::min<std::size_t>(chunk.capacity, needed + kReadAhead);
        chunk.stream.next_out = reinterpret_cast<Bytef*>(chunk.plain.get() + chunk.produced);
        chunk.stream.avail_out = static_cast<uInt>(target - chunk.produced);
        const int result = inflate(&chunk.stream, Z_SYNC_FLUSH);
        const std::size_t made = target - chunk.produced - chunk.stream.avail_out;
        chunk.produced += made;
        if (result != Z_OK && result != Z_BUF_ERROR && result != Z_STREAM_END) {
            chunks.erase(found);
            return nullptr;
        }
        // The end of the data, or of what this chunk's input holds.
        chunk.complete = result == Z_STREAM_END || made == 0 || chunk.produced == chunk.capacity;
    }
    return &chunk;
}

std::optional<std::string> DictZipFile::Read(std::uint64_t offset, std::uint64_t length)
{
    if (descriptor < 0 || chunkLength == 0 || chunkOffsets.empty()) {
        return std::nullopt;  // not opened, or its chunk table was not read
    }
    std::string out;
    out.reserve(length);
    while (length > 0) {
        const std::size_t index = offset / chunkLength;
        if (index + 1 >= chunkOffsets.size()) {
            return std::nullopt;
        }
        const std::uint64_t within = offset % chunkLength;
        const std::uint64_t wanted = std::min<std::uint64_t>(length, chunkLength - within);
        const Chunk* chunk = Inflate(index, static_cast<std::size_t>(within + wanted));
        if (chunk == nullptr || within >= chunk->produced) {
            return std::nullopt;
        }
        const std::uint64_t take = std::min<std::uint64_t>(wanted, chunk->produced - within);
        out.append(chunk->plain.get() + within, take);
        offset += take;
        length -= take;
    }
    return out;
}

}  // namespace engines
