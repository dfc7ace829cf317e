// Quillrun under a Japanese locale: typing under the Japanese ANSI code page (932), and its
// texts in Japanese. Wine takes the code page and the display language from the Linux locale a
// program starts in, so ctest runs this program in ja_JP.UTF-8, and the quillrun.exe it starts
// inherits that. Windows takes them from the system locale and the user's display language,
// which a test cannot change.
#include <gtest/gtest.h>

#include "tests/win32/e2e_expect.h"

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

#define REQUIRE_JAPANESE_DISPLAY()                                                     \
    do {                                                                               \
        if (!DisplayIsJapanese() && !UnderWine()) {                                    \
            GTEST_SKIP() << "the display language is not Japanese";                    \
        }                                                                              \
        ASSERT_TRUE(DisplayIsJapanese()) << "this test must run in a Japanese locale"; \
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

// The messages and Start's menu are Japanese; the window's own texts stay as they are.
TEST(JapaneseDisplay, AFailedLaunchIsToldInJapanese) {
    REQUIRE_JAPANESE_DISPLAY();
    QuillrunInstall install;
    ASSERT_TRUE(WriteBytes(install.settingsFile(), "C:\\no-such-folder\\missing.exe\r\n"));
    auto [process, window] = install.Launch();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Text(window), L"Quillrun");
    ClickStart(window);
    HWND box = FindMessageBox(process.id(), window);
    ASSERT_NE(box, nullptr) << "no message box about the failed launch";
    const std::wstring text = AllChildText(box);
    EXPECT_NE(text.find(L"Quillrun は入力先のプログラムを起動できませんでした。\n\n"
                        L"C:\\no-such-folder\\missing.exe\n\n"),
              std::wstring::npos)
        << Utf8(text);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(box); }));
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(process.WaitForExit());
}

TEST(JapaneseDisplay, AStoppedRunIsToldInJapanese) {
    REQUIRE_JAPANESE_DISPLAY();
    QuillrunSession session(L"--char-delay-ms 5");
    ASSERT_NE(session.window, nullptr);
    TargetProgram other({}, L"Another program");
    ASSERT_NE(other.Start(), nullptr);
    ASSERT_NO_FATAL_FAILURE(SwitchAwayWhileTyping(session, other));
    // Held until the user comes back to Quillrun.
    ExpectNoMessage(session);
    ::SetForegroundWindow(session.window);
    const std::wstring message = TakeTheOnlyMessage(session);
    EXPECT_NE(message.find(L"別のウィンドウが前面に出たため、Quillrun は入力を中止しました。\n\n"
                           L"ファイルの "),
              std::wstring::npos)
        << Utf8(message);
    EXPECT_NE(message.find(L" 文字目で入力が止まりました。入力したのは "), std::wstring::npos)
        << Utf8(message);
}

TEST(JapaneseDisplay, StartsMenuAndTheWaitForAClickAreInJapanese) {
    REQUIRE_JAPANESE_DISPLAY();
    QuillrunSession session;
    ASSERT_NE(session.window, nullptr);
    HWND menu = OpenStartMenu(session.window);
    ASSERT_NE(menu, nullptr) << "Start's menu did not open";
    ExpectMenuBeginsWith(menu, {
                                   L"Start",
                                   L"次にクリックするウィンドウに入力",
                                   L"クリップボードのテキストを次にクリックするウィンドウに入力",
                                   L"シークレットを次にクリックするウィンドウに入力...",
                                   L"(grayed) 残りを次にクリックするウィンドウに入力",
                                   L"-",
                                   L"速度: プログラムが受け付けられる最速",
                                   L"速度: キーごとに 20 ミリ秒 (リモート デスクトップ)",
                                   L"速度: キーごとに 50 ミリ秒 (仮想マシン)",
                                   L"速度: キーごとに 100 ミリ秒 (Web コンソール、KVM コンソール)",
                                   L"キーのみ (Unicode 入力を受け付けないコンソール用)",
                                   L"キー シーケンス: {TAB}、{ENTER}、{WAIT 500} をキーとして読む",
                                   L"相手のコンピューターのキーボード レイアウト",
                                   L"    このコンピューターと同じ",
                               });
    // The second item: type into the window clicked next.
    ASSERT_TRUE(ChooseMenuItem(menu, 1));
    EXPECT_TRUE(WaitUntil([&] {
        return Text(session.window) == L"Quillrun - 入力先のウィンドウをクリックしてください";
    }));
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(WaitUntil([&] { return Text(session.window) == L"Quillrun"; }));
}

}  // namespace
}  // namespace quillrun::testing
