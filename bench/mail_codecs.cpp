// Base64, quoted-printable and MD5 on 1 MiB, with OpenSSL's base64 blocks and MD5 on the same buffers.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <random>

#include "mail/Base64Codec.h"
#include "mail/Md5.h"
#include "mail/QuotedPrintableCodec.h"

namespace {

constexpr std::size_t kBytes = 1 << 20;

// Random bytes without zeros (the codec treats a zero byte as absent).
const std::string& Binary() {
    static const std::string data = [] {
        std::mt19937 random(42);
        std::string bytes(kBytes, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(1 + random() % 255);
        }
        return bytes;
    }();
    return data;
}

// Mostly printable text with some 8-bit bytes and line breaks, as quoted-printable mail bodies are.
const std::string& Text() {
    static const std::string data = [] {
        std::mt19937 random(7);
        std::string bytes(kBytes, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const unsigned r = random() % 100;
            bytes[i] = r < 2 ? '\n' : r < 6 ? static_cast<char>(0xA0 + random() % 0x5F)
                                            : static_cast<char>(' ' + random() % 95);
        }
        return bytes;
    }();
    return data;
}

const std::string& Base64Text() {
    static const std::string data = [] {
        std::string out;
        Base64Codec().Encode(Binary(), out);
        return out;
    }();
    return data;
}

const std::string& QuotedText() {
    static const std::string data = [] {
        std::string out;
        QuotedPrintableCodec().Encode(Text(), out);
        return out;
    }();
    return data;
}

void Base64Encode(benchmark::State& state) {
    std::string out;
    for (auto _ : state) {
        out.clear();
        Base64Codec().Encode(Binary(), out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void Base64Decode(benchmark::State& state) {
    std::string out;
    for (auto _ : state) {
        out.clear();
        Base64Codec().Decode(Base64Text(), out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Base64Text().size()));
}

void OpenSslEncodeBlock(benchmark::State& state) {
    std::string out(Base64Text().size() + 16, '\0');
    for (auto _ : state) {
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(Binary().data()), static_cast<int>(kBytes));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void OpenSslDecodeBlock(benchmark::State& state) {
    std::string out(kBytes + 16, '\0');
    for (auto _ : state) {
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(Base64Text().data()),
                        static_cast<int>(Base64Text().size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Base64Text().size()));
}

void QuotedPrintableEncode(benchmark::State& state) {
    std::string out;
    for (auto _ : state) {
        out.clear();
        QuotedPrintableCodec().Encode(Text(), out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void QuotedPrintableDecode(benchmark::State& state) {
    std::string out;
    for (auto _ : state) {
        out.clear();
        QuotedPrintableCodec().Decode(QuotedText(), out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * QuotedText().size()));
}

void Md5Digest(benchmark::State& state) {
    for (auto _ : state) {
        Md5 md5;
        md5.Update(Binary());
        benchmark::DoNotOptimize(md5.Final());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void OpenSslMd5(benchmark::State& state) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        EVP_Digest(Binary().data(), kBytes, digest, &length, EVP_md5(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

}  // namespace

BENCHMARK(Base64Encode)->Unit(benchmark::kMicrosecond);
BENCHMARK(OpenSslEncodeBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(Base64Decode)->Unit(benchmark::kMicrosecond);
BENCHMARK(OpenSslDecodeBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(QuotedPrintableEncode)->Unit(benchmark::kMicrosecond);
BENCHMARK(QuotedPrintableDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK(Md5Digest)->Unit(benchmark::kMicrosecond);
BENCHMARK(OpenSslMd5)->Unit(benchmark::kMicrosecond);
