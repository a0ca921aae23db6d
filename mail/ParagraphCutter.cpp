// Paragraph rules, per body line (prefix p, text t) against the open paragraph (prefix q, text x); the first
// that applies wins:
//  1 blank line: close the paragraph;  2 different quoting (trailing blanks aside): close, open a new one;
//  3 same prefix: join;  4 nothing open yet: open;  5 less indented: join;  6 one more blank of indentation:
//  a new paragraph when a finished sentence is followed by a capital, digit or "(" (6a), else join (6b);
//  7 anything else: close, open a new one.
#include "mail/ParagraphCutter.h"

#include <string_view>

namespace {

// The prefix compared between lines: trailing blanks do not count.
std::string_view ComparisonForm(std::string_view prefix)
{
    const std::size_t last = prefix.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : prefix.substr(0, last + 1);
}

bool EndsWithBlank(const std::string& text) { return !text.empty() && text.back() == ' '; }

bool EndsSentence(const std::string& text)
{
    return !text.empty() && std::string_view(".?!\"'").find(text.back()) != std::string_view::npos;
}

bool StartsSentence(const std::string& text)
{
    if (text.empty()) {
        return false;
    }
    const char first = text.front();
    return (first >= 'A' && first <= 'Z') || (first >= '0' && first <= '9') || first == '(';
}

// Joins a line's text to the open paragraph with one blank, unless the paragraph already ends with one.
void JoinLoosely(std::string& paragraph, const std::string& text)
{
    if (!EndsWithBlank(paragraph)) {
        paragraph += ' ';
    }
    paragraph += text;
}

}  // namespace

void ParagraphCutter::Add(const MailBody& line)
{
    const std::string& p = line.prefix;
    const std::string& t = line.text;
    std::string& q = pending.prefix;
    std::string& x = pending.text;
    if (t.empty()) {
        if (!x.empty()) {
            flush(pending);
        }
        q = p;
        x.clear();
    } else if (ComparisonForm(p) != ComparisonForm(q)) {
        flush(pending);
        q = p;
        x = t;
    } else if (p == q) {
        x += ' ';
        x += t;
    } else if (x.empty()) {
        q = p;
        x = t;
    } else if (p.size() < q.size()) {
        JoinLoosely(x, t);
        q = p;
    } else if (p.size() == q.size() + 1 && p.back() == ' ' && StartsSentence(t) && EndsSentence(x)) {
        flush(pending);
        x = t;  // the new paragraph keeps the shorter prefix
    } else if (p.size() == q.size() + 1 && p.back() == ' ') {
        JoinLoosely(x, t);
        q = p;
    } else {
        flush(pending);
        q = p;
        x = t;
    }
}

void ParagraphCutter::Finish()
{
    if (!pending.text.empty()) {
        flush(pending);
    }
}
