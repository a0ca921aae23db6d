#include "platform/RegistryHive.h"

#include <algorithm>
#include <cstdio>

#include "platform/CodePage.h"

namespace win32::registry {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr DWORD kStringType = 1;  // REG_SZ
constexpr DWORD kDwordType = 4;   // REG_DWORD
constexpr DWORD kBinaryType = 3;  // REG_BINARY
constexpr std::size_t kHexLineWidth = 76;

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
    return Hive::Fold(a) == Hive::Fold(b);
}

std::string Quote(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            quoted.push_back('\\');
        }
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

// A REG_SZ can be written as "text" only when that text gives back exactly the same data: one terminating
// NUL, no control characters (they would break the line) and no lone surrogates (UTF-8 cannot hold them).
std::optional<std::string> PlainText(const Value& value) {
    if (value.type != kStringType || value.data.size() % 2 != 0) {
        return std::nullopt;
    }
    std::u16string units = Utf16Units(value.data);
    if (units.empty() || units.back() != u'\0') {
        return std::nullopt;
    }
    units.pop_back();
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (unit < 0x20 || unit == 0x7F) {
            return std::nullopt;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) {
                return std::nullopt;
            }
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return std::nullopt;
        }
    }
    return Utf16ToUtf8(units);
}

void AppendValueLine(const Value& value, std::string& out) {
    std::string line = value.name.empty() ? "@=" : Quote(value.name) + "=";
    if (const auto text = PlainText(value)) {
        out += line + Quote(*text) + "\n";
        return;
    }
    if (value.type == kDwordType && value.data.size() == 4) {
        const auto byte = [&](int i) {
            return static_cast<DWORD>(static_cast<unsigned char>(value.data[i]));
        };
        char digits[16];
        std::snprintf(digits, sizeof digits, "%08x", byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
        out += line + "dword:" + digits + "\n";
        return;
    }
    char prefix[24];
    if (value.type == kBinaryType) {
        std::snprintf(prefix, sizeof prefix, "hex:");
    } else {
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
    }
    line += prefix;
    // Long byte lists are wrapped as regedit does: a comma, a backslash, and two blanks on the next line.
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(value.data[i]));
        line += digits;
        if (i + 1 < value.data.size()) {
            line += ",";
            if (line.size() >= kHexLineWidth) {
                out += line + "\\\n";
                line = "  ";
            }
        }
    }
    out += line + "\n";
}

// Reads a quoted text starting at text[pos] == '"' with the escapes \\ and \"; pos ends after the closing
// quote.
std::optional<std::string> ParseQuoted(std::string_view text, std::size_t& pos, std::string& reason) {
    std::string result;
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return result;
        }
        if (c == '\\') {
            if (pos + 1 >= text.size() || (text[pos + 1] != '\\' && text[pos + 1] != '"')) {
                reason = "a backslash inside quotes must be followed by \\ or \"";
                return std::nullopt;
            }
            ++pos;
        }
        result.push_back(text[pos]);
    }
    reason = "the quoted text is not closed on this line";
    return std::nullopt;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads "xx,xx,..." (blanks allowed around items, one trailing comma tolerated) in one pass: rule texts make
// long lists, and every registry call parses the whole file.
std::optional<std::string> ParseHexBytes(std::string_view list, std::string& reason) {
    std::string bytes;
    bytes.reserve(list.size() / 3 + 1);
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    std::size_t pos = 0;
    const auto skipBlanks = [&] {
        while (pos < list.size() && blank(list[pos])) {
            ++pos;
        }
    };
    skipBlanks();
    while (pos < list.size()) {
        const std::size_t start = pos;
        int value = 0;
        while (pos < list.size() && pos - start < 3 && HexDigit(list[pos]) >= 0) {
            value = value * 16 + HexDigit(list[pos++]);
        }
        const std::size_t digits = pos - start;
        skipBlanks();
        if (digits == 0 || digits > 2 || (pos < list.size() && list[pos] != ',')) {
            const std::size_t end = std::min(list.find(',', start), list.size());
            reason =
                "\"" + std::string(Trim(list.substr(start, end - start))) + "\" is not a hexadecimal byte";
            return std::nullopt;
        }
        bytes.push_back(static_cast<char>(value));
        ++pos;  // the comma
        skipBlanks();
    }
    return bytes;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::string Utf16Bytes(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::u16string Utf16Units(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return units;
}

Hive::Hive(std::string rootName, std::vector<std::string> baseKeys)
    : rootName(std::move(rootName)), baseKeys(std::move(baseKeys)) {
    Reset();
}

void Hive::Reset() {
    keys.clear();
    keys[""] = Key{};
    for (const auto& base : baseKeys) {
        Create(base);
    }
}

std::string Hive::Normalize(std::string_view path) {
    std::string normalized;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            if (!normalized.empty()) {
                normalized.push_back('\\');
            }
            normalized.append(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return normalized;
}

std::string Hive::Fold(std::string_view path) {
    std::string folded = Normalize(path);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return folded;
}

Key* Hive::Find(std::string_view path) {
    const auto found = keys.find(Fold(path));
    return found == keys.end() ? nullptr : &found->second;
}

Key& Hive::Create(std::string_view path) {
    const std::string normalized = Normalize(path);
    Key* key = &keys[""];
    std::size_t end = 0;
    while (end < normalized.size()) {
        end = normalized.find('\\', end + 1);
        if (end == std::string::npos) {
            end = normalized.size();
        }
        const std::string prefix = normalized.substr(0, end);
        auto [entry, inserted] = keys.try_emplace(Fold(prefix));
        if (inserted) {
            entry->second.path = prefix;
        }
        key = &entry->second;
    }
    return *key;
}

std::vector<const Key*> Hive::Children(std::string_view path) const {
    const std::string folded = Fold(path);
    const std::string prefix = folded.empty() ? "" : folded + "\\";
    std::vector<const Key*> children;
    for (auto entry = keys.lower_bound(prefix); entry != keys.end(); ++entry) {
        const std::string& name = entry->first;
        if (name.compare(0, prefix.size(), prefix) != 0) {
            break;
        }
        if (name.size() > prefix.size() && name.find('\\', prefix.size()) == std::string::npos) {
            children.push_back(&entry->second);
        }
    }
    return children;
}

void Hive::EraseTree(std::string_view path) {
    const std::string folded = Fold(path);
    if (folded.empty()) {
        Reset();
        return;
    }
    if (keys.erase(folded) == 0) {
        return;
    }
    // Descendants share the prefix "path\", so they follow one another in the map.
    const std::string prefix = folded + "\\";
    auto entry = keys.lower_bound(prefix);
    while (entry != keys.end() && entry->first.compare(0, prefix.size(), prefix) == 0) {
        entry = keys.erase(entry);
    }
    for (const auto& base : baseKeys) {
        if (Find(base) == nullptr) {
            Create(base);
        }
    }
}

Value* Hive::FindValue(Key& key, std::string_view name) {
    const auto found = std::find_if(key.values.begin(), key.values.end(),
                                    [&](const Value& value) { return EqualsFolded(value.name, name); });
    return found == key.values.end() ? nullptr : &*found;
}

void Hive::SetValue(Key& key, std::string_view name, DWORD type, std::string data) {
    if (Value* existing = FindValue(key, name)) {
        existing->type = type;
        existing->data = std::move(data);
        return;
    }
    key.values.push_back(Value{std::string(name), type, std::move(data)});
}

bool Hive::DeleteValue(Key& key, std::string_view name) {
    const auto found = std::find_if(key.values.begin(), key.values.end(),
                                    [&](const Value& value) { return EqualsFolded(value.name, name); });
    if (found == key.values.end()) {
        return false;
    }
    key.values.erase(found);
    return true;
}

std::string Hive::Serialize() const {
    std::string out(kHeader);
    out += "\n\n";
    for (const auto& [folded, key] : keys) {
        if (folded.empty() && key.values.empty()) {
            continue;
        }
        out += "[" + rootName + (key.path.empty() ? "" : "\\" + key.path) + "]\n";
        for (const auto& value : key.values) {
            AppendValueLine(value, out);
        }
        out += "\n";
    }
    return out;
}

std::optional<ParseError> Hive::Parse(std::string_view text) {
    Reset();
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        text.remove_prefix(kUtf8Bom.size());
    }
    const auto fail = [this](std::size_t index, std::string reason) {
        Reset();
        return ParseError{static_cast<int>(index + 1), std::move(reason)};
    };
    const std::vector<std::string_view> lines = SplitLines(text);
    bool headerSeen = false;
    Key* current = nullptr;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const std::string_view line = Trim(lines[index]);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (!IsValidUtf8(line)) {
            return fail(index, "the line is not valid UTF-8");
        }
        if (!headerSeen) {
            if (line != kHeader) {
                return fail(index, "the file must begin with \"" + std::string(kHeader) + "\"");
            }
            headerSeen = true;
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') {
                return fail(index, "a key line must end with ]");
            }
            const std::string_view path = line.substr(1, line.size() - 2);
            const bool inHive = EqualsFolded(path.substr(0, rootName.size()), rootName) &&
                                (path.size() == rootName.size() || path[rootName.size()] == '\\');
            if (!inHive) {
                return fail(index, "the key \"" + std::string(path) + "\" is not below " + rootName);
            }
            current = &Create(path.substr(rootName.size()));
            continue;
        }
        if (current == nullptr) {
            return fail(index, "a value stands before the first [key] line");
        }
        std::string reason;
        std::size_t pos = 0;
        std::string name;
        if (line.front() == '@') {
            pos = 1;
        } else if (line.front() == '"') {
            const auto quoted = ParseQuoted(line, pos, reason);
            if (!quoted) {
                return fail(index, reason);
            }
            name = *quoted;
        } else {
            return fail(index, "expected a [key] line or a value line beginning with \"name\" or @");
        }
        const std::string_view rest = Trim(line.substr(pos));
        if (rest.empty() || rest.front() != '=') {
            return fail(index, "expected = after the value name");
        }
        const std::string_view data = Trim(rest.substr(1));
        const std::size_t valueLine = index;
        if (!data.empty() && data.front() == '"') {
            std::size_t textPos = 0;
            const auto quoted = ParseQuoted(data, textPos, reason);
            if (!quoted) {
                return fail(valueLine, reason);
            }
            if (!Trim(data.substr(textPos)).empty()) {
                return fail(valueLine, "unexpected text after the closing quote");
            }
            SetValue(*current, name, kStringType, Utf16Bytes(Utf8ToUtf16(*quoted) + u'\0'));
        } else if (data.substr(0, 6) == "dword:") {
            const std::string_view digits = data.substr(6);
            if (digits.empty() || digits.size() > 8 ||
                !std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) >= 0; })) {
                return fail(valueLine, "dword: must be followed by 1 to 8 hexadecimal digits");
            }
            DWORD number = 0;
            for (const char c : digits) {
                number = number * 16 + static_cast<DWORD>(HexDigit(c));
            }
            std::string bytes;
            for (int shift = 0; shift < 32; shift += 8) {
                bytes.push_back(static_cast<char>((number >> shift) & 0xFF));
            }
            SetValue(*current, name, kDwordType, std::move(bytes));
        } else if (data.substr(0, 3) == "hex") {
            DWORD type = kBinaryType;
            std::size_t listStart = 0;
            if (data.substr(0, 4) == "hex:") {
                listStart = 4;
            } else if (data.substr(0, 4) == "hex(") {
                const std::size_t close = data.find("):");
                const std::string_view digits =
                    close == std::string_view::npos ? "" : data.substr(4, close - 4);
                if (digits.empty() || digits.size() > 8 ||
                    !std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) >= 0; })) {
                    return fail(valueLine, "hex( must be followed by a hexadecimal type and ):");
                }
                type = 0;
                for (const char c : digits) {
                    type = type * 16 + static_cast<DWORD>(HexDigit(c));
                }
                listStart = close + 2;
            } else {
                return fail(valueLine, "expected hex: or hex(type):");
            }
            // A byte list goes on over the following lines while a line ends with a backslash.
            std::string list(data.substr(listStart));
            while (!list.empty() && list.back() == '\\') {
                list.pop_back();
                if (++index >= lines.size()) {
                    return fail(valueLine, "the byte list goes on past the end of the file");
                }
                list += Trim(lines[index]);
            }
            auto bytes = ParseHexBytes(list, reason);
            if (!bytes) {
                return fail(valueLine, reason);
            }
            SetValue(*current, name, type, std::move(*bytes));
        } else if (data == "-") {
            return fail(valueLine, "value deletions (=-) do not belong in a stored hive");
        } else {
            return fail(valueLine, "expected \"text\", dword:, hex: or hex(type): after =");
        }
    }
    return std::nullopt;
}

}  // namespace win32::registry
