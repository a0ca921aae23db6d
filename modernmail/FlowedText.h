// Joins the lines of format=flowed text (RFC 3676) into the paragraphs they were written as, each with its quote
// depth written as ">" marks and one blank. Stateless; any thread.
#pragma once

#include <string>
#include <vector>

namespace modernmail {

class FlowedText {
public:
    // delSp: the DelSp=yes parameter, whose flowed lines end in a blank that is not part of the text.
    static std::vector<std::string> Join(const std::vector<std::string>& lines, bool delSp);
};

}  // namespace modernmail
