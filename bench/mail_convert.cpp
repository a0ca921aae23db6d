// Japanese code conversion throughput against iconv(3) called in-process on the same buffer.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include "bench/mail_text.h"
#include "mail/JapaneseCodeConverter.h"

namespace {

constexpr std::size_t kTextBytes = 4 << 20;

const std::string& ShiftJisText() {
    static const std::string text = benchtext::MixedShiftJis(kTextBytes);
    return text;
}
const std::string& JisText() {
    static const std::string text = benchtext::Iconv("ISO-2022-JP", "SHIFT_JIS", ShiftJisText());
    return text;
}
const std::string& EucText() {
    static const std::string text = benchtext::Iconv("EUC-JP", "SHIFT_JIS", ShiftJisText());
    return text;
}

enum Direction { kSjisToJis, kJisToSjis, kEucToSjis, kSjisToJisDetected };

const std::string& Input(Direction direction) {
    switch (direction) {
        case kJisToSjis:
            return JisText();
        case kEucToSjis:
            return EucText();
        default:
            return ShiftJisText();
    }
}

void Converter(benchmark::State& state) {
    const auto direction = static_cast<Direction>(state.range(0));
    const std::string& in = Input(direction);
    const JapaneseCodeConverter converter;
    std::string out;
    for (auto _ : state) {
        out.clear();
        switch (direction) {
            case kSjisToJis:
                converter.ToJis(in, out, CodeKind::ShiftJis);
                break;
            case kSjisToJisDetected:
                converter.ToJis(in, out, CodeKind::Detect);
                break;
            case kJisToSjis:
                converter.ToShiftJis(in, out, CodeKind::Iso2022Jp);
                break;
            case kEucToSjis:
                converter.ToShiftJis(in, out, CodeKind::EucJp);
                break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

void Iconv(benchmark::State& state) {
    const auto direction = static_cast<Direction>(state.range(0));
    const std::string& in = Input(direction);
    const char* from = direction == kJisToSjis ? "ISO-2022-JP" : direction == kEucToSjis ? "EUC-JP" : "SHIFT_JIS";
    const char* to = direction == kSjisToJis ? "ISO-2022-JP" : "SHIFT_JIS";
    iconv_t cd = iconv_open(to, from);
    std::string out(in.size() * 2 + 16, '\0');
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        char* outPtr = out.data();
        std::size_t outLeft = out.size();
        iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

void DirectionNames(benchmark::internal::Benchmark* bench) { bench->ArgName("direction"); }

}  // namespace

// direction: 0 Shift_JIS -> ISO-2022-JP, 1 ISO-2022-JP -> Shift_JIS, 2 EUC-JP -> Shift_JIS,
// 3 Shift_JIS -> ISO-2022-JP with the encoding detected first.
BENCHMARK(Converter)->Apply(DirectionNames)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(Iconv)->Apply(DirectionNames)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
