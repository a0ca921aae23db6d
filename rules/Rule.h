// Base of the translation rules: one test of a mail (Subject, sender, body, MIME type, size, priority), read
// from and written to the stored rule text. Rules are read-only while matching; a rule list is built per
// decision by the translate thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Email;
class RuleTextReader;
class RuleTextWriter;

class Rule {
public:
    enum Type : std::int32_t {
        kWordContainSubject = 0,
        kUserContainFrom = 1,
        kWordContainMessage = 2,
        kContentTypeMessage = 3,
        kCharsetMessage = 4,
        kMailSize = 5,
        kPriorityMessage = 6,
        kUserContainTo = 7,
        kUserContainCc = 8,
    };

    // Operators of the rules that compare a code or number; 0 is unset.
    enum Operator : std::int32_t { kUnset = 0, kFirst = 1, kSecond = 2 };

    Rule(std::int32_t ruleType, const char* className) : ruleType(ruleType), className(className) {}
    virtual ~Rule() = default;
    Rule(const Rule&) = delete;
    Rule& operator=(const Rule&) = delete;

    virtual bool Match(Email& mail) const = 0;
    // Reads the block that follows the class name in the rule text.
    virtual bool ReadBody(RuleTextReader& in) = 0;
    // Writes the class name and the block.
    virtual void WriteRule(RuleTextWriter& out) const = 0;
    virtual bool IsValid() const = 0;

    // Address helpers for rules on address fields.
    virtual bool ExtractAddress(std::string_view text, std::string& address) const;
    virtual bool ExtractAddressList(std::string_view text, std::vector<std::string>& addresses) const;
    virtual bool DomainPart(std::string_view text, std::string& domain) const;
    virtual bool DomainPartList(std::string_view text, std::vector<std::string>& domains) const;
    virtual bool SplitList(std::string_view text, std::vector<std::string>& pieces) const;

    virtual std::int32_t GetRuleType() const { return ruleType; }
    virtual void SetRuleType(std::int32_t type) { ruleType = type; }

    const char* ClassName() const { return className; }

protected:
    // The base block: "MailRule" "{" ruleType "}".
    bool ReadBaseBlock(RuleTextReader& in);
    void WriteBaseBlock(RuleTextWriter& out) const;
    // The block of the rules that compare one code or number: "{" base block, operator, value "}".
    bool ReadOperatorBlock(RuleTextReader& in, std::int32_t& op, std::int32_t& value);
    void WriteOperatorBlock(RuleTextWriter& out, std::int32_t op, std::int32_t value) const;
    // The single value of a header field; false when it is missing or occurs more than once.
    static bool SingleHeaderValue(Email& mail, std::string_view name, std::string& value);

    std::int32_t ruleType;

private:
    const char* className;
};
