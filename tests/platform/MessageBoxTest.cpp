#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/CodePage.h"
#include "platform/MessageBox.h"

namespace {

using namespace win32;

// Texts come in code page 932; without a handler (the relay tests record the boxes through one) they go to stderr.
TEST(MessageBox, WritesItsAnsiTextsToStandardErrorWithoutDialogs)
{
    const std::string text = Utf8ToAnsi("受信メールサーバが見つかりません。\n- ダンモ  varaved -");
    const std::string caption = Utf8ToAnsi("警告");
    setenv("VUVED_NO_GUI", "1", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBox(nullptr, text.c_str(), caption.c_str(), MB_ICONSTOP), IDOK);
    const std::string written = testing::internal::GetCapturedStderr();
    unsetenv("VUVED_NO_GUI");
    EXPECT_NE(written.find("警告"), std::string::npos) << written;
    EXPECT_NE(written.find("受信メールサーバが見つかりません。\n- ダンモ  varaved -"), std::string::npos) << written;
}

}  // namespace
