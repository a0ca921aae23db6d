// Test texts of the mail benchmarks: mixed Japanese/ASCII text in each encoding, made with iconv from UTF-8.
#pragma once

#include <iconv.h>

#include <stdexcept>
#include <string>

namespace benchtext {

inline std::string Iconv(const char* to, const char* from, const std::string& in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("iconv_open");
    }
    std::string out(in.size() * 4 + 16, '\0');
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1)) {
        throw std::runtime_error("iconv");
    }
    out.resize(out.size() - outLeft);
    return out;
}

// About `bytes` of Shift_JIS: Japanese sentences with English words, figures and line breaks between them.
// No "\" or "~", which glibc's SHIFT_JIS reads as JIS X 0201 Roman.
inline std::string MixedShiftJis(std::size_t bytes) {
    static const char* const kSentences[] = {
        "本日の会議は午後三時から第二会議室で行います。",
        "Please find the attached report (version 2.4) for Q3.\n",
        "資料の準備をお願いいたします。ご不明な点があればお知らせください。\n",
        "The shipment #1042 left Osaka on Monday; ETA is Friday.",
        "東京都千代田区丸の内一丁目、担当：山田太郎（営業部）\n",
        "Thanks, and best regards.\n",
        "カタカナ表記のメールアドレスとＵＲＬも含まれています。",
    };
    std::string utf8;
    while (utf8.size() < bytes * 3 / 2) {
        for (const char* sentence : kSentences) {
            utf8 += sentence;
        }
    }
    std::string sjis = Iconv("SHIFT_JIS", "UTF-8", utf8);
    sjis.resize(bytes);
    // Do not end inside a double-byte character.
    while (!sjis.empty() && static_cast<unsigned char>(sjis.back()) >= 0x80) {
        sjis.pop_back();
    }
    return sjis;
}

}  // namespace benchtext
