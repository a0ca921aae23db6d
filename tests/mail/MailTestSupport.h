// Helpers of the tests that handle mails: mails made of lines, sample mails from tests/data, a Japanese
// sample, codec runs, and running a reference tool.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mail/Email.h"

namespace mailtest {

// "会議" in Shift_JIS and ISO-2022-JP.
const std::string kKaigiSjis = "\x89\xEF\x8B\x63";
const std::string kKaigiJis = "\x1B$B2q5D\x1B(B";

// A mail of these header and body lines, ending in the "." line as the relay hands mails over.
inline std::unique_ptr<Email> Mail(std::vector<std::string> header,
                                   const std::vector<std::string>& body = {"Hi."}) {
    header.push_back("");
    header.insert(header.end(), body.begin(), body.end());
    header.push_back(".");
    auto mail = std::make_unique<Email>();
    mail->SetMail(header);
    return mail;
}

inline std::vector<std::string> Body(Email& mail) {
    std::vector<std::string> lines;
    mail.GetBodyLines(lines);
    return lines;
}

inline std::string SampleMail(const std::string& name) {
    std::ostringstream content;
    content << std::ifstream(std::string(VUVED_SOURCE_DIR) + "/tests/data/mail/" + name, std::ios::binary).rdbuf();
    return content.str();
}

// The lines of a text whose lines all end in `end`, without their terminators.
inline std::vector<std::string> Split(const std::string& text, const std::string& end = "\r\n") {
    std::vector<std::string> lines;
    for (std::size_t start = 0, at; (at = text.find(end, start)) != std::string::npos; start = at + end.size()) {
        lines.push_back(text.substr(start, at - start));
    }
    return lines;
}

// What a codec (Base64Codec, QuotedPrintableCodec) makes of `in`; each run must succeed.
template <typename Codec>
std::string Coded(bool encode, std::string_view in) {
    std::string out;
    EXPECT_TRUE(encode ? Codec().Encode(in, out) : Codec().Decode(in, out)) << in;
    return out;
}

// Runs `command` with `input` on its standard input and returns its standard output; false if it fails.
inline bool RunFilter(const std::string& command, const std::string& input, std::string& output) {
    char inputPath[] = "/tmp/mailtest-in-XXXXXX";
    ::close(::mkstemp(inputPath));
    std::ofstream(inputPath, std::ios::binary) << input;
    FILE* pipe = ::popen((command + " < " + inputPath).c_str(), "r");
    output.clear();
    char chunk[4096];
    for (std::size_t got; pipe != nullptr && (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        output.append(chunk, got);
    }
    const bool ran = pipe != nullptr && ::pclose(pipe) == 0;
    std::remove(inputPath);
    return ran;
}

}  // namespace mailtest
