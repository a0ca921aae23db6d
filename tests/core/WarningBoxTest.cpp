#include "core/WarningBox.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/CodePage.h"
#include "platform/MessageBox.h"

namespace {

TEST(WarningBox, ShowsTheTextUnderTheWarningTitleAsAStopBoxOnTop)
{
    struct Shown {
        std::string text;
        std::string caption;
        win32::UINT type = 0;
        int count = 0;
    } shown;
    win32::SetMessageBoxHandler([&](std::string_view text, std::string_view caption, win32::UINT type) {
        shown.text = text;
        shown.caption = caption;
        shown.type = type;
        ++shown.count;
        return win32::IDOK;
    });
    ShowWarningBox(win32::Utf8ToAnsi("受信メールサーバが見つかりません。\nまた、").c_str());
    win32::SetMessageBoxHandler({});

    EXPECT_EQ(shown.count, 1);
    EXPECT_EQ(shown.caption, "警告");
    EXPECT_EQ(shown.text, "受信メールサーバが見つかりません。\nまた、");
    EXPECT_EQ(shown.type, 0x00050010u);
}

}  // namespace
