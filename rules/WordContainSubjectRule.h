// The word rule on the Subject, read with its encoded words decoded.
#pragma once

#include "rules/WordRule.h"

class WordContainSubjectRule : public WordRule {
public:
    WordContainSubjectRule() : WordRule(kWordContainSubject, "WordContainSubjectRule") {}
    bool Match(Email& mail) const override;
};
