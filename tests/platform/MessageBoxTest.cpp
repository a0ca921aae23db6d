#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/CodePage.h"
#include "platform/MessageBox.h"

namespace {

using namespace win32;

// Texts come in code page 932: a handler gets them as UTF-8, and without one (no dialogs in tests) they go to
// standard error.
TEST(MessageBox, HandsAnsiTextsToTheHandlerAsUtf8OrWritesThemToStandardError) {
    std::string seen;
    SetMessageBoxHandler([&](std::string_view text, std::string_view caption, UINT type) {
        seen = std::string(caption) + ": " + std::string(text) + " (" + std::to_string(type) + ")";
        return IDOK;
    });
    const std::string text = Utf8ToAnsi("受信メールサーバが見つかりません。\n- ダンモ  varaved -");
    const std::string caption = Utf8ToAnsi("警告");
    EXPECT_EQ(MessageBox(nullptr, text.c_str(), caption.c_str(), 0x00050010), IDOK);
    SetMessageBoxHandler(nullptr);
    EXPECT_EQ(seen, "警告: 受信メールサーバが見つかりません。\n- ダンモ  varaved - (" +
                        std::to_string(MB_ICONSTOP | MB_TOPMOST | MB_SETFOREGROUND) + ")");

    setenv("VUVED_NO_GUI", "1", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBox(nullptr, text.c_str(), caption.c_str(), MB_ICONSTOP), IDOK);
    const std::string written = testing::internal::GetCapturedStderr();
    unsetenv("VUVED_NO_GUI");
    EXPECT_NE(written.find("警告"), std::string::npos) << written;
    EXPECT_NE(written.find("受信メールサーバが見つかりません。"), std::string::npos) << written;
}

}  // namespace
