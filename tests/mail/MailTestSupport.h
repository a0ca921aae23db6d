// Helpers of the mail tests: sample mails from tests/data, line splitting, and running a reference tool.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace mailtest {

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

// Runs `command` with `input` on its standard input and returns its standard output; false if it fails.
inline bool RunFilter(const std::string& command, const std::string& input, std::string& output) {
    char inputPath[] = "/tmp/mailtest-in-XXXXXX";
    const int fd = mkstemp(inputPath);
    if (fd < 0) {
        return false;
    }
    FILE* file = fdopen(fd, "wb");
    std::fwrite(input.data(), 1, input.size(), file);
    std::fclose(file);
    FILE* pipe = popen((command + " < " + inputPath).c_str(), "r");
    if (pipe == nullptr) {
        std::remove(inputPath);
        return false;
    }
    output.clear();
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        output.append(chunk, got);
    }
    const int status = pclose(pipe);
    std::remove(inputPath);
    return status == 0;
}

}  // namespace mailtest
