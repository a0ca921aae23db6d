// An ordered list of text lines without their CR LF: what a mail is written into (Email::GetMail) and what
// the POP3 agents send, each line followed by CR LF. Owned by its user; not shared between threads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class LineList {
public:
    using value_type = std::string;
    using const_iterator = std::vector<std::string>::const_iterator;

    LineList() = default;
    LineList(std::initializer_list<std::string> lines) : lines(lines) {}
    explicit LineList(std::vector<std::string> lines) : lines(std::move(lines)) {}

    void Append(std::string line) { lines.push_back(std::move(line)); }
    void Append(std::string_view line) { lines.emplace_back(line); }
    void Append(const char* line) { lines.emplace_back(line); }
    void Clear() { lines.clear(); }
    void Reserve(std::size_t count) { lines.reserve(count); }

    std::size_t size() const { return lines.size(); }
    bool empty() const { return lines.empty(); }
    const std::string& operator[](std::size_t index) const { return lines[index]; }
    const std::string* data() const { return lines.data(); }
    const_iterator begin() const { return lines.begin(); }
    const_iterator end() const { return lines.end(); }
    const std::vector<std::string>& Lines() const { return lines; }

    // The lines as sent: every line followed by CR LF.
    std::string Joined() const;

    bool operator==(const LineList&) const = default;

private:
    std::vector<std::string> lines;
};
