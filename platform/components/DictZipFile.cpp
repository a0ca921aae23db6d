// dictzip reading: the gzip header (RFC 1952) carries an "RA" extra subfield with the uncompressed chunk length
// and the compressed size of every chunk; chunks end in a full flush, so each inflates alone as raw deflate.
#include "platform/components/DictZipFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>

namespace win32 {

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

DictZipFile::~DictZipFile()
{
    if (descriptor >= 0) {
        ::close(descriptor);
    }
}

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

const std::string* DictZipFile::Chunk(std::size_t index)
{
    if (auto cached = inflated.find(index); cached != inflated.end()) {
        return &cached->second;
    }
    const std::uint64_t compressedSize = chunkOffsets[index + 1] - chunkOffsets[index];
    std::string compressed(compressedSize, '\0');
    if (!ReadAt(descriptor, chunkOffsets[index], compressed.data(), compressed.size())) {
        return nullptr;
    }
    std::string plain(chunkLength, '\0');
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        return nullptr;
    }
    stream.next_in = reinterpret_cast<Bytef*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(plain.data());
    stream.avail_out = static_cast<uInt>(plain.size());
    const int result = inflate(&stream, Z_SYNC_FLUSH);
    const std::size_t produced = plain.size() - stream.avail_out;
    inflateEnd(&stream);
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
        return nullptr;
    }
    plain.resize(produced);
    if (inflated.size() >= kCachedChunks) {
        inflated.clear();
    }
    return &inflated.emplace(index, std::move(plain)).first->second;
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
        const std::string* chunk = Chunk(index);
        const std::uint64_t within = offset % chunkLength;
        if (chunk == nullptr || within >= chunk->size()) {
            return std::nullopt;
        }
        const std::uint64_t take = std::min<std::uint64_t>(length, chunk->size() - within);
        out.append(*chunk, within, take);
        offset += take;
        length -= take;
    }
    return out;
}

}  // namespace win32
