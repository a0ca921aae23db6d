#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/CodePage.h"
#include "platform/MessageBox.h"

namespace {

using namespace win32;

TEST(MessageBox, HandsAnsiTextsToTheHandlerAsUtf8) {
    std::string seenText;
    std::string seenCaption;
    UINT seenType = 0;
    SetMessageBoxHandler([&](std::string_view text, std::string_view caption, UINT type) {
        seenText = text;
        seenCaption = caption;
        seenType = type;
        return IDOK;
    });
    const std::string text = Utf8ToAnsi("受信メールサーバが見つかりません。\n- ダンモ  varaved -");
    const std::string caption = Utf8ToAnsi("警告");
    EXPECT_EQ(MessageBox(nullptr, text.c_str(), caption.c_str(), 0x00050010), IDOK);
    SetMessageBoxHandler(nullptr);
    EXPECT_EQ(seenText, "受信メールサーバが見つかりません。\n- ダンモ  varaved -");
    EXPECT_EQ(seenCaption, "警告");
    EXPECT_EQ(seenType, MB_ICONSTOP | MB_TOPMOST | MB_SETFOREGROUND);
}

TEST(MessageBox, WithoutHandlerWritesToStandardError) {
    setenv("VUVED_NO_GUI", "1", 1);  // never open a dialog from a test
    const std::string text = Utf8ToAnsi("設定をご確認ください。");
    const std::string caption = Utf8ToAnsi("警告");
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBox(nullptr, text.c_str(), caption.c_str(), MB_ICONSTOP), IDOK);
    const std::string written = testing::internal::GetCapturedStderr();
    unsetenv("VUVED_NO_GUI");
    EXPECT_NE(written.find("警告"), std::string::npos) << written;
    EXPECT_NE(written.find("設定をご確認ください。"), std::string::npos) << written;
}

}  // namespace
