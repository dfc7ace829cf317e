// Typing under a Japanese ANSI code page (932). Wine takes the code page from the Linux locale
// a program starts in, so ctest runs this program in ja_JP.UTF-8, and the quillrun.exe it
// starts inherits that.
#include <gtest/gtest.h>

#include "tests/win32/e2e_support.h"

namespace quillrun::testing {
namespace {

TEST(JapaneseCodePage, ShiftJisTextIsTypedAsWritten) {
    ASSERT_EQ(::GetACP(), 932u) << "this test must run in a Japanese locale";
    QuillrunSession session;
    ASSERT_NE(session.window, nullptr);
    // "日本語", half-width "ﾃｷｽﾄ", then "{}": the trail byte of 本 is 0x7B, an ASCII brace, and
    // must neither split the character nor be typed as a brace.
    session.TypeFile("\x93\xFA\x96\x7B\x8C\xEA\xC3\xB7\xBD\xC4{}\r\n2");
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    const std::wstring expected = L"\u65E5\u672C\u8A9E\uFF83\uFF77\uFF7D\uFF84{}\r\n2\r\n";
    EXPECT_EQ(WaitForTyped(session.target, expected), expected);
}

TEST(JapaneseCodePage, AShiftJisPathInThePathBoxIsOpened) {
    ASSERT_EQ(::GetACP(), 932u);
    QuillrunSession session;
    ASSERT_NE(session.window, nullptr);
    session.TypeFile("ok", L"\u30C6\u30AD\u30B9\u30C8.txt");  // テキスト.txt
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    EXPECT_EQ(WaitForTyped(session.target, L"ok\r\n"), L"ok\r\n");
}

}  // namespace
}  // namespace quillrun::testing
