#include "rules/Rule.h"

#include <algorithm>

#include "mail/Email.h"
#include "rules/RuleTextReader.h"
#include "rules/RuleTextWriter.h"

namespace {

std::vector<std::string_view> SplitAtCommas(std::string_view text) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t comma; (comma = text.find(',', start)) != std::string_view::npos; start = comma + 1) {
        pieces.push_back(text.substr(start, comma - start));
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

}  // namespace

bool Rule::ExtractAddress(std::string_view text, std::string& address) const {
    const std::size_t at = text.find('@');
    if (at == std::string_view::npos) {
        return false;
    }
    const std::size_t open = text.find('<');
    const std::size_t close = text.find('>');
    if (open != std::string_view::npos && close != std::string_view::npos) {
        // "Name <user@host>": an angle pair the wrong way round holds no address.
        if (close < open) {
            return false;
        }
        address.assign(text.substr(open + 1, close - open - 1));
        return true;
    }
    const std::size_t paren = text.find('(');
    const std::size_t parenClose = text.find(')');
    if (paren != std::string_view::npos && parenClose != std::string_view::npos) {
        // "user@host (Name)" or "(Name) user@host".
        const std::string_view part =
            at < paren ? text.substr(0, paren) : text.substr(std::min(parenClose + 1, text.size()));
        std::string compact;
        for (char c : part) {
            if (c != ' ' && c != '\t') {
                compact += c;
            }
        }
        if (compact.empty()) {
            return false;
        }
        address = std::move(compact);
        return true;
    }
    address.assign(text);
    return true;
}

bool Rule::ExtractAddressList(std::string_view text, std::vector<std::string>& addresses) const {
    bool all = true;
    for (std::string_view piece : SplitAtCommas(text)) {
        std::string address;
        if (ExtractAddress(piece, address)) {
            addresses.push_back(std::move(address));
        } else {
            all = false;
        }
    }
    return all;
}

bool Rule::DomainPart(std::string_view text, std::string& domain) const {
    if (text.find('@') == std::string_view::npos) {
        domain.assign(text);
        return true;
    }
    std::string address;
    if (!ExtractAddress(text, address)) {
        return false;
    }
    const std::size_t at = address.find('@');
    if (at == std::string::npos) {
        return false;
    }
    domain = address.substr(at);
    return true;
}

bool Rule::DomainPartList(std::string_view text, std::vector<std::string>& domains) const {
    bool all = true;
    for (std::string_view piece : SplitAtCommas(text)) {
        std::string domain;
        if (DomainPart(piece, domain)) {
            domains.push_back(std::move(domain));
        } else {
            all = false;
        }
    }
    return all;
}

bool Rule::SplitList(std::string_view text, std::vector<std::string>& pieces) const {
    constexpr std::string_view kWhiteSpace = " \t\r\n";
    for (std::string_view piece : SplitAtCommas(text)) {
        const std::size_t first = piece.find_first_not_of(kWhiteSpace);
        if (first == std::string_view::npos) {
            pieces.emplace_back();
            continue;
        }
        const std::size_t last = piece.find_last_not_of(kWhiteSpace);
        pieces.emplace_back(piece.substr(first, last - first + 1));
    }
    return true;
}

bool Rule::ReadBaseBlock(RuleTextReader& in) {
    std::int32_t type = 0;
    if (!in.Literal("MailRule") || !in.Opening() || !in.Number(type)) {
        return false;
    }
    ruleType = type;
    return in.Closing();
}

void Rule::WriteBaseBlock(RuleTextWriter& out) const {
    out.Item("MailRule");
    out.Item("{");
    out.Number(ruleType);
    out.Item("}");
}

bool Rule::ReadOperatorBlock(RuleTextReader& in, std::int32_t& op, std::int32_t& value) {
    std::int32_t readOp = 0;
    std::int32_t readValue = 0;
    if (!in.Opening() || !ReadBaseBlock(in) || !in.Number(readOp) || !in.Number(readValue)) {
        return false;
    }
    op = readOp;
    value = readValue;
    return in.Closing();
}

void Rule::WriteOperatorBlock(RuleTextWriter& out, std::int32_t op, std::int32_t value) const {
    out.Item(ClassName());
    out.Item("{");
    WriteBaseBlock(out);
    out.Number(op);
    out.Number(value);
    out.Item("}");
}

bool Rule::SingleHeaderValue(Email& mail, std::string_view name, std::string& value) {
    std::vector<std::string> values;
    mail.GetHeaderValues(name, values);
    if (values.size() != 1) {
        return false;
    }
    value = std::move(values.front());
    return true;
}
