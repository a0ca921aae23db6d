// Base of the rules that look for a word in a text of the mail (Subject, From, To, Cc, body lines), with the
// match mode and the case and width sensitivity chosen by the user.
#pragma once

#include <functional>
#include <memory>

#include "rules/Rule.h"

class WordRule : public Rule {
public:
    enum MatchMode : std::int32_t {
        kNone = 0,
        kContains = 1,
        kDoesNotContain = 2,
        kEquals = 3,
        kDiffers = 4,
        kBeginsWith = 5,
        kEndsWith = 6,
    };

    using Rule::Rule;

    // "{" "WordRule" "{" base block, length, text, mode, case, width "}" "}".
    bool ReadBody(RuleTextReader& in) override;
    void WriteRule(RuleTextWriter& out) const override;
    bool IsValid() const override { return !text.empty() && matchMode != kNone; }

    virtual void SetText(std::string_view value) { text.assign(value); }
    virtual const std::string& GetText() const { return text; }
    virtual void SetMatchMode(std::int32_t mode) { matchMode = mode; }
    virtual std::int32_t GetMatchMode() const { return matchMode; }
    virtual bool GetCaseSensitive() const { return caseSensitive; }
    virtual void SetCaseSensitive(bool value) { caseSensitive = value; }
    virtual bool GetWidthSensitive() const { return widthSensitive; }
    virtual void SetWidthSensitive(bool value) { widthSensitive = value; }
    // True when `subject` satisfies the match mode for the rule's text.
    virtual bool MatchText(std::string_view subject) const;

protected:
    // The rule's text folded and widened as the rule's flags ask, with its searcher: made once for all the
    // texts of one mail.
    class PreparedText {
    public:
        explicit PreparedText(std::string prepared);
        PreparedText(const PreparedText&) = delete;
        PreparedText& operator=(const PreparedText&) = delete;
        // Position of the first occurrence in `haystack`, or npos.
        std::size_t Find(std::string_view haystack) const;
        std::string_view Text() const { return text; }

    private:
        const std::string text;
        const std::boyer_moore_horspool_searcher<std::string::const_iterator> searcher;
    };

    std::unique_ptr<PreparedText> Prepare() const;
    bool MatchPrepared(std::string_view subject, const PreparedText& prepared) const;

    std::string text;
    std::int32_t matchMode = kNone;
    bool caseSensitive = true;
    bool widthSensitive = true;
};
