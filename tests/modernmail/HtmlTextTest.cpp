#include "modernmail/HtmlText.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

TEST(HtmlTextToLines, BlocksBreaksListsLinksAndEntities) {
    const struct { const char* name; const char* html; Lines expected; } cases[] = {
        {"blocks make paragraphs, br a line", "<p>One<br>two</p><div>Three</div>", {"One", "two", "", "Three"}},
        {"blanks collapse", "<p>  a \n\t b  </p>", {"a b"}},
        {"entities are decoded", "<p>caf&eacute; &amp; &#8217;&nbsp;x &lt;b&gt;</p>", {"café & ’ x <b>"}},
        {"scripts, styles and the head are dropped",
         "<html><head><title>T</title><style>p{}</style></head><body><script>x()</script><p>Text</p></body>", {"Text"}},
        {"list items keep their marks", "<ul><li>a</li><li> b</li></ul><ol><li>c</li><li>d</li></ol>",
         {"- a", "", "- b", "", "1. c", "", "2. d"}},
        {"a link keeps its text and address", "<p>See <a href=\"https://x.example/p\">the page</a>.</p>",
         {"See the page <https://x.example/p>."}},
        {"a link that shows its address once", "<a href=\"mailto:a@x.example\">a@x.example</a>", {"a@x.example"}},
        {"page-local links keep their text only", "<a href=\"#top\">Top</a>", {"Top"}},
        {"table cells stay apart", "<table><tr><td>Name</td><td>Value</td></tr></table>", {"Name Value"}},
        {"pre keeps its lines", "<pre>a  b\nc</pre>", {"a  b", "c"}},
        {"broken markup is read anyway", "<p>open <b>bold<p>next", {"open bold", "", "next"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(modernmail::HtmlText::ToLines(c.html), c.expected);
    }
}

}  // namespace
