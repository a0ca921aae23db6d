#include "modernmail/HtmlText.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <memory>
#include <mutex>
#include <string>

namespace modernmail {
namespace {

struct DocumentFree {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
struct XmlFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

std::string_view Name(const xmlNode* node) { return reinterpret_cast<const char*>(node->name); }

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names)
{
    for (std::string_view candidate : names) {
        if (name == candidate) {
            return true;
        }
    }
    return false;
}

bool IsDropped(std::string_view name) { return IsOneOf(name, {"script", "style", "head", "title", "template"}); }

bool IsBlock(std::string_view name)
{
    return IsOneOf(name, {"address", "article", "aside", "blockquote", "body", "center", "dd", "details", "dialog",
                          "div", "dl", "dt", "fieldset", "figcaption", "figure", "footer", "form", "h1", "h2", "h3",
                          "h4", "h5", "h6", "header", "hr", "li", "main", "nav", "ol", "p", "pre", "section",
                          "summary", "table", "tr", "ul"});
}

bool IsHtmlBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string Attribute(const xmlNode* node, const char* name)
{
    std::unique_ptr<xmlChar, XmlFree> value(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
    return value ? std::string(reinterpret_cast<const char*>(value.get())) : std::string();
}

// A non-breaking space reads as a blank.
std::string WithoutNoBreakSpaces(const std::string& text)
{
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\xC2' && at + 1 < text.size() && text[at + 1] == '\xA0') {
            plain += ' ';
            ++at;
        } else {
            plain += text[at];
        }
    }
    return plain;
}

// Collects the text as lines; blanks are collapsed as a browser shows them (except inside <pre>).
class TextBuilder {
public:
    void Text(std::string_view text, bool preformatted)
    {
        for (char c : text) {
            if (preformatted && c == '\n') {
                LineBreak();
            } else if (!preformatted && IsHtmlBlank(c)) {
                blankPending = !line.empty() && line.back() != ' ';
            } else {
                if (blankPending) {
                    line += ' ';
                    blankPending = false;
                }
                line += c;
            }
        }
    }
    // Text that is already one word (a list mark, an address) glued on with a blank before it.
    void Word(std::string_view word)
    {
        blankPending = !line.empty();
        Text(word, true);
    }
    void LineBreak()
    {
        lines.push_back(std::move(line));
        line.clear();
        blankPending = false;
    }
    void ParagraphBreak()
    {
        if (!line.empty()) {
            LineBreak();
        }
        if (!lines.empty() && !lines.back().empty()) {
            lines.emplace_back();
        }
        blankPending = false;
    }
    std::vector<std::string> Finish()
    {
        ParagraphBreak();
        while (!lines.empty() && lines.back().empty()) {
            lines.pop_back();
        }
        for (std::string& text : lines) {
            text = WithoutNoBreakSpaces(text);
        }
        return std::move(lines);
    }

private:
    std::vector<std::string> lines;
    std::string line;
    bool blankPending = false;
};

// The visible text of a subtree, blanks collapsed: to tell whether a link's text already is its address.
std::string PlainContent(const xmlNode* node)
{
    std::unique_ptr<xmlChar, XmlFree> content(xmlNodeGetContent(node));
    std::string collapsed;
    bool blank = false;
    for (const char* c = content ? reinterpret_cast<const char*>(content.get()) : ""; *c != '\0'; ++c) {
        if (IsHtmlBlank(*c)) {
            blank = !collapsed.empty();
        } else {
            if (blank) {
                collapsed += ' ';
                blank = false;
            }
            collapsed += *c;
        }
    }
    return collapsed;
}

void Walk(const xmlNode* node, TextBuilder& out, bool preformatted);

void WalkChildren(const xmlNode* node, TextBuilder& out, bool preformatted)
{
    int itemNumber = 0;
    const bool ordered = node->name != nullptr && Name(node) == "ol";
    for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && Name(child) == "li") {
            out.ParagraphBreak();
            out.Word(ordered ? std::to_string(++itemNumber) + ". " : std::string("- "));
        }
        Walk(child, out, preformatted);
    }
}

void Walk(const xmlNode* node, TextBuilder& out, bool preformatted)
{
    if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
        if (node->content != nullptr) {
            out.Text(reinterpret_cast<const char*>(node->content), preformatted);
        }
        return;
    }
    if (node->type != XML_ELEMENT_NODE) {
        return;
    }
    const std::string_view name = Name(node);
    if (IsDropped(name)) {
        return;
    }
    if (name == "br") {
        out.LineBreak();
        return;
    }
    const bool block = IsBlock(name);
    if (block && name != "li") {  // an item's paragraph was opened with its mark
        out.ParagraphBreak();
    } else if (name == "td" || name == "th") {
        out.Word("");
    }
    WalkChildren(node, out, preformatted || name == "pre");
    if (name == "a") {
        std::string address = Attribute(node, "href");
        const std::string text = PlainContent(node);
        if (address.rfind("mailto:", 0) == 0) {
            address.erase(0, 7);
        }
        const bool local = address.empty() || address[0] == '#' || address.rfind("javascript:", 0) == 0;
        if (!local && text != address) {
            out.Word("<" + address + ">");
        }
    }
    if (block) {
        out.ParagraphBreak();
    }
}

}  // namespace

std::vector<std::string> HtmlText::ToLines(std::string_view utf8)
{
    // The parser's global tables are set up once, before any thread parses.
    static std::once_flag initialized;
    std::call_once(initialized, [] { xmlInitParser(); });
    std::unique_ptr<xmlDoc, DocumentFree> document(
        htmlReadMemory(utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
                       HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET));
    TextBuilder out;
    if (document) {
        for (const xmlNode* node = document->children; node != nullptr; node = node->next) {
            Walk(node, out, false);
        }
    }
    return out.Finish();
}

}  // namespace modernmail
