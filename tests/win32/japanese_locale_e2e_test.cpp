// Typing under a Japanese ANSI code page (932). Wine takes the code page from the Linux locale
// a program starts in, so ctest runs this program in ja_JP.UTF-8, and the quillrun.exe it
// starts inherits that. Windows takes it from the system locale, which a test cannot change.
#include <gtest/gtest.h>

#include "tests/win32/e2e_support.h"

namespace quillrun::testing {
namespace {

bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Under Wine the test run provides the Japanese code page; on Windows only a machine whose
// system locale is Japanese has it.
#define REQUIRE_JAPANESE_CODE_PAGE()                                                              \
    do {                                                                                          \
        if (::GetACP() != 932u && !UnderWine()) {                                                 \
            GTEST_SKIP() << "the system locale is not Japanese (code page " << ::GetACP() << ")"; \
        }                                                                                         \
        ASSERT_EQ(::GetACP(), 932u) << "this test must run in a Japanese locale";                 \
    } while (false)

TEST(JapaneseCodePage, ShiftJisTextIsTypedAsWritten) {
    REQUIRE_JAPANESE_CODE_PAGE();
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
    REQUIRE_JAPANESE_CODE_PAGE();
    QuillrunSession session;
    ASSERT_NE(session.window, nullptr);
    session.TypeFile("ok", L"\u30C6\u30AD\u30B9\u30C8.txt");  // テキスト.txt
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    EXPECT_EQ(WaitForTyped(session.target, L"ok\r\n"), L"ok\r\n");
}

}  // namespace
}  // namespace quillrun::testing
