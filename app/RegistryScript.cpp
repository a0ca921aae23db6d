#include "app/RegistryScript.h"

#include <cctype>
#include <cstdlib>
#include <utility>

#include "mail/ShiftJisText.h"

using namespace win32;

HRESULT HResultFromWin32(LONG error) {
    return error <= 0 ? static_cast<HRESULT>(error)
                      : static_cast<HRESULT>((static_cast<DWORD>(error) & 0xFFFF) | 0x80070000u);
}

namespace {

// Replaces %NAME% by its text before tokenising; values holding quotes must come with them doubled.
bool ExpandReplacements(std::string_view text, const std::map<std::string, std::string>& replacements,
                        std::string& expanded, std::string& error) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            expanded += text[i];
            continue;
        }
        const std::size_t end = text.find('%', i + 1);
        if (end == std::string_view::npos) {
            error = "unterminated %replacement% at offset " + std::to_string(i);
            return false;
        }
        const std::string name(text.substr(i + 1, end - i - 1));
        if (name.empty()) {
            expanded += '%';
        } else if (const auto found = replacements.find(name); found != replacements.end()) {
            expanded += found->second;
        } else {
            error = "unknown replacement %" + name + "%";
            return false;
        }
        i = end;
    }
    return true;
}

struct Token {
    std::string text;
    bool quoted = false;
    int line = 0;
};

bool Tokenize(std::string_view text, std::vector<Token>& tokens, std::string& error) {
    int line = 1;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        Token token{.text = {}, .quoted = c == '\'', .line = line};
        if (token.quoted) {
            ++i;
            for (;;) {
                if (i >= text.size()) {
                    error = "line " + std::to_string(token.line) + ": unterminated quoted text";
                    return false;
                }
                if (text[i] == '\'') {
                    if (i + 1 < text.size() && text[i + 1] == '\'') {
                        token.text += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (text[i] == '\n') {
                    ++line;
                }
                token.text += text[i++];
            }
        } else {
            while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) {
                token.text += text[i++];
            }
        }
        tokens.push_back(std::move(token));
    }
    return true;
}

bool IsWord(const Token& token, std::string_view word) {
    return !token.quoted && ShiftJisText::EqualsIgnoringCase(token.text, word);
}

std::optional<HKEY> HiveByName(const Token& token) {
    static const std::pair<const char*, const HKEY*> hives[] = {
        {"HKCR", &HKEY_CLASSES_ROOT},         {"HKEY_CLASSES_ROOT", &HKEY_CLASSES_ROOT},
        {"HKLM", &HKEY_LOCAL_MACHINE},        {"HKEY_LOCAL_MACHINE", &HKEY_LOCAL_MACHINE},
        {"HKCU", &HKEY_CURRENT_USER},         {"HKEY_CURRENT_USER", &HKEY_CURRENT_USER},
    };
    for (const auto& [name, hive] : hives) {
        if (IsWord(token, name)) {
            return *hive;
        }
    }
    return std::nullopt;
}

class Parser {
public:
    Parser(std::vector<Token> tokens, std::string& error) : tokens(std::move(tokens)), error(error) {}

    bool ParseScript(std::vector<RegistryScript::Root>& roots) {
        while (!AtEnd()) {
            const std::optional<HKEY> hive = HiveByName(Peek());
            if (!hive) {
                return Fail("a root key (HKCR, HKLM, HKCU)");
            }
            ++position;
            RegistryScript::Root root{.hive = *hive, .keys = {}};
            if (!Expect("{") || !ParseBlock(root.keys, nullptr)) {
                return false;
            }
            roots.push_back(std::move(root));
        }
        return true;
    }

private:
    bool AtEnd() const { return position >= tokens.size(); }
    const Token& Peek() const { return tokens[position]; }

    bool Fail(const std::string& expected) {
        if (AtEnd()) {
            error = "end of script: expected " + expected;
        } else {
            error = "line " + std::to_string(Peek().line) + ": expected " + expected + ", found '" + Peek().text + "'";
        }
        return false;
    }

    bool Expect(std::string_view word) {
        if (AtEnd() || Peek().quoted || Peek().text != word) {
            return Fail("'" + std::string(word) + "'");
        }
        ++position;
        return true;
    }

    // Reads key entries (and, inside a key, "val" entries) up to the closing brace.
    bool ParseBlock(std::vector<RegistryScript::Key>& keys, std::vector<RegistryScript::Value>* values) {
        for (;;) {
            if (AtEnd()) {
                return Fail("'}'");
            }
            if (!Peek().quoted && Peek().text == "}") {
                ++position;
                return true;
            }
            if (values != nullptr && IsWord(Peek(), "val")) {
                ++position;
                if (AtEnd() || (!Peek().quoted && (Peek().text == "{" || Peek().text == "}"))) {
                    return Fail("a value name");
                }
                RegistryScript::Value value;
                value.name = tokens[position++].text;
                if (!Expect("=") || !ParseValue(value)) {
                    return false;
                }
                values->push_back(std::move(value));
                continue;
            }
            RegistryScript::Key key;
            if (IsWord(Peek(), "NoRemove")) {
                key.mark = RegistryScript::KeyMark::NoRemove;
            } else if (IsWord(Peek(), "ForceRemove")) {
                key.mark = RegistryScript::KeyMark::ForceRemove;
            } else if (IsWord(Peek(), "Delete")) {
                key.mark = RegistryScript::KeyMark::Delete;
            }
            if (key.mark != RegistryScript::KeyMark::None) {
                ++position;
            }
            if (AtEnd() || (!Peek().quoted && (Peek().text == "{" || Peek().text == "}" || Peek().text == "="))) {
                return Fail("a key name");
            }
            key.name = tokens[position++].text;
            if (!AtEnd() && !Peek().quoted && Peek().text == "=") {
                ++position;
                RegistryScript::Value value;
                if (!ParseValue(value)) {
                    return false;
                }
                key.values.push_back(std::move(value));
            }
            if (!AtEnd() && !Peek().quoted && Peek().text == "{") {
                ++position;
                if (!ParseBlock(key.subkeys, &key.values)) {
                    return false;
                }
            }
            keys.push_back(std::move(key));
        }
    }

    // s 'text' | e 'text' | d 'number' | b 'hex digits'
    bool ParseValue(RegistryScript::Value& value) {
        if (AtEnd() || Peek().quoted) {
            return Fail("a value type (s, e, d, b)");
        }
        const std::string kind = Peek().text;
        ++position;
        if (AtEnd()) {
            return Fail("the value");
        }
        const Token& data = tokens[position];
        if (kind == "s" || kind == "S" || kind == "e" || kind == "E") {
            if (!data.quoted) {
                return Fail("quoted text");
            }
            value.type = (kind == "s" || kind == "S") ? REG_SZ : REG_EXPAND_SZ;
            value.data = data.text;
        } else if (kind == "d" || kind == "D") {
            char* end = nullptr;
            const unsigned long long number = std::strtoull(data.text.c_str(), &end, 0);
            if (data.text.empty() || *end != '\0' || number > 0xFFFFFFFFull) {
                return Fail("a 32-bit number");
            }
            value.type = REG_DWORD;
            value.number = static_cast<DWORD>(number);
        } else if (kind == "b" || kind == "B") {
            if (data.text.size() % 2 != 0) {
                return Fail("an even number of hexadecimal digits");
            }
            value.type = REG_BINARY;
            for (std::size_t i = 0; i < data.text.size(); i += 2) {
                const std::string pair = data.text.substr(i, 2);
                if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
                    !std::isxdigit(static_cast<unsigned char>(pair[1]))) {
                    return Fail("hexadecimal digits");
                }
                value.data += static_cast<char>(std::strtoul(pair.c_str(), nullptr, 16));
            }
        } else {
            --position;
            return Fail("a value type (s, e, d, b)");
        }
        ++position;
        return true;
    }

    std::vector<Token> tokens;
    std::size_t position = 0;
    std::string& error;
};

// Closes the key when the scope ends.
class OpenKey {
public:
    OpenKey() = default;
    ~OpenKey() {
        if (key != nullptr) {
            RegCloseKey(key);
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY* Out() { return &key; }
    HKEY Get() const { return key; }

private:
    HKEY key = nullptr;
};

LONG WriteValue(HKEY key, const RegistryScript::Value& value) {
    const char* name = value.name.empty() ? nullptr : value.name.c_str();
    if (value.type == REG_DWORD) {
        return RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number), sizeof(DWORD));
    }
    const DWORD size = static_cast<DWORD>(value.data.size() + (value.type == REG_BINARY ? 0 : 1));
    return RegSetValueEx(key, name, 0, value.type, reinterpret_cast<const BYTE*>(value.data.c_str()), size);
}

bool IsGone(LONG result) { return result == ERROR_FILE_NOT_FOUND; }

LONG RegisterKey(HKEY parent, const RegistryScript::Key& key) {
    if (key.mark == RegistryScript::KeyMark::ForceRemove || key.mark == RegistryScript::KeyMark::Delete) {
        const LONG removed = RegDeleteTree(parent, key.name.c_str());
        if (removed != ERROR_SUCCESS && !IsGone(removed)) {
            return removed;
        }
        if (key.mark == RegistryScript::KeyMark::Delete) {
            return ERROR_SUCCESS;
        }
    }
    OpenKey opened;
    LONG result = RegCreateKeyEx(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                 nullptr, opened.Out(), nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    for (const RegistryScript::Value& value : key.values) {
        if ((result = WriteValue(opened.Get(), value)) != ERROR_SUCCESS) {
            return result;
        }
    }
    for (const RegistryScript::Key& subkey : key.subkeys) {
        if ((result = RegisterKey(opened.Get(), subkey)) != ERROR_SUCCESS) {
            return result;
        }
    }
    return ERROR_SUCCESS;
}

bool HasSubkeys(HKEY key) {
    char name[256];
    DWORD size = sizeof(name);
    return RegEnumKeyEx(key, 0, name, &size) != ERROR_NO_MORE_ITEMS;
}

LONG UnregisterKey(HKEY parent, const RegistryScript::Key& key) {
    if (key.mark == RegistryScript::KeyMark::ForceRemove || key.mark == RegistryScript::KeyMark::Delete) {
        const LONG removed = RegDeleteTree(parent, key.name.c_str());
        return IsGone(removed) ? ERROR_SUCCESS : removed;
    }
    OpenKey opened;
    LONG result = RegOpenKeyEx(parent, key.name.c_str(), 0, KEY_ALL_ACCESS, opened.Out());
    if (IsGone(result)) {
        return ERROR_SUCCESS;
    }
    if (result != ERROR_SUCCESS) {
        return result;
    }
    for (const RegistryScript::Key& subkey : key.subkeys) {
        if ((result = UnregisterKey(opened.Get(), subkey)) != ERROR_SUCCESS) {
            return result;
        }
    }
    if (key.mark == RegistryScript::KeyMark::NoRemove) {
        return ERROR_SUCCESS;
    }
    for (const RegistryScript::Value& value : key.values) {
        if (!value.name.empty()) {
            result = RegDeleteValue(opened.Get(), value.name.c_str());
            if (result != ERROR_SUCCESS && !IsGone(result)) {
                return result;
            }
        }
    }
    // A key that other software has put subkeys into stays, so that their entries are not lost.
    if (HasSubkeys(opened.Get())) {
        return ERROR_SUCCESS;
    }
    result = RegDeleteKey(parent, key.name.c_str());
    return IsGone(result) ? ERROR_SUCCESS : result;
}

}  // namespace

std::optional<RegistryScript> RegistryScript::Parse(std::string_view text,
                                                    const std::map<std::string, std::string>& replacements,
                                                    std::string& error) {
    std::string expanded;
    std::vector<Token> tokens;
    if (!ExpandReplacements(text, replacements, expanded, error) || !Tokenize(expanded, tokens, error)) {
        return std::nullopt;
    }
    RegistryScript script;
    Parser parser(std::move(tokens), error);
    if (!parser.ParseScript(script.roots)) {
        return std::nullopt;
    }
    return script;
}

HRESULT RegistryScript::Register() const {
    for (const Root& root : roots) {
        for (const Key& key : root.keys) {
            if (const LONG result = RegisterKey(root.hive, key); result != ERROR_SUCCESS) {
                return HResultFromWin32(result);
            }
        }
    }
    return S_OK;
}

HRESULT RegistryScript::Unregister() const {
    for (const Root& root : roots) {
        for (const Key& key : root.keys) {
            if (const LONG result = UnregisterKey(root.hive, key); result != ERROR_SUCCESS) {
                return HResultFromWin32(result);
            }
        }
    }
    return S_OK;
}
