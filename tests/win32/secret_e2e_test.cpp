// A secret typed into the window clicked next, from the dialog Start's menu opens: it arrives
// exactly, and neither quillrun.ini, the clipboard nor the next dialog keeps it.
#include <gtest/gtest.h>

#include <windows.h>

#include "tests/win32/e2e_expect.h"
#include "win32/win32_secret_dialog.h"

namespace quillrun::testing {
namespace {

// Capitals, digits, a space, and characters that key sequences and shortcuts would read.
const std::wstring kSecret = L"Pa55 W0rd!{+}";

// What another program can learn of a password box: the length of its text, never the text
// (GetWindowTextLength would ask for a caption).
LRESULT LengthIn(HWND box) {
    return ::SendMessageW(box, WM_GETTEXTLENGTH, 0, 0);
}

void Click(HWND dialog, int control) {
    ::PostMessageW(::GetDlgItem(dialog, control), BM_CLICK, 0, 0);
}

// Quillrun started in a working folder apart from its application folder, a test target open.
class Secret : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(open.Start(), nullptr);
        ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == open.window(); }));
        std::tie(process, window) = install.Launch(work.path());
        ASSERT_NE(window, nullptr);
    }

    // The secret's dialog (item 205 of Start's menu), which opens empty, masked, OK grayed.
    HWND OpenDialog() {
        HWND menu = OpenStartMenu(window);
        EXPECT_TRUE(menu != nullptr && ChooseMenuItem(menu, StartMenuIndexOf(205)));
        HWND dialog = FindMessageBox(process.id(), window);
        const HWND box = ::GetDlgItem(dialog, win32::kSecretBoxId);
        EXPECT_NE(box, nullptr) << "the secret's dialog did not open";
        EXPECT_EQ(LengthIn(box), 0);
        EXPECT_NE(::SendMessageW(box, EM_GETPASSWORDCHAR, 0, 0), 0);
        EXPECT_FALSE(::IsDlgButtonChecked(dialog, win32::kShowSecretId));
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)));
        EXPECT_TRUE(WaitUntil([&] { return FocusIn(dialog) == box; }));
        return dialog;
    }

    QuillrunInstall install;
    TempFolder work;
    TargetProgram open{{}, L"Secret target"};
    Process process;
    HWND window = nullptr;
};

TEST_F(Secret, ArrivesExactlyWithOneEnterAndIsKeptNowhere) {
    ASSERT_TRUE(SetClipboardText(L"clipboard"));
    HWND dialog = OpenDialog();
    const HWND box = ::GetDlgItem(dialog, win32::kSecretBoxId);
    TypeUnicode(kSecret);
    ASSERT_TRUE(WaitUntil([&] { return LengthIn(box) == static_cast<LRESULT>(kSecret.size()); }));
    Click(dialog, win32::kShowSecretId);
    EXPECT_TRUE(WaitUntil([&] { return ::SendMessageW(box, EM_GETPASSWORDCHAR, 0, 0) == 0; }));
    Click(dialog, win32::kPressEnterId);
    ASSERT_TRUE(WaitUntil(
        [&] { return ::IsDlgButtonChecked(dialog, win32::kPressEnterId) == BST_CHECKED; }));
    Click(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog) && Text(window) == kPickCaption; }));
    ASSERT_TRUE(ClickWindow(open.window()));
    const std::wstring typed = kSecret + L"\r\n";
    ExpectTyped(open, typed);
    EXPECT_FALSE(WaitUntil([&] { return open.CharCount() > CharacterMessages(typed); }, 1s));

    dialog = OpenDialog();  // empty and masked again
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    ::PostMessageW(window, WM_CLOSE, 0, 0);  // which writes quillrun.ini
    ASSERT_TRUE(process.WaitForExit());
    for (const std::wstring& file : {install.settingsFile(), work / L"quillrun.ini"}) {
        const std::string bytes = ReadBytes(file);
        EXPECT_EQ(bytes.find(Narrow(kSecret)), std::string::npos) << Utf8(file);
        EXPECT_EQ(Utf16LeText(bytes).find(kSecret), std::wstring::npos) << Utf8(file);
    }
    EXPECT_TRUE(FileExists(install.settingsFile()));
    ASSERT_TRUE(WaitUntil([] { return ::OpenClipboard(nullptr) != FALSE; }));
    const HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
    const auto* text = data != nullptr ? static_cast<const wchar_t*>(::GlobalLock(data)) : nullptr;
    EXPECT_EQ(std::wstring(text != nullptr ? text : L""), L"clipboard");
    ::GlobalUnlock(data);
    ::CloseClipboard();
}

// A text pasted past the longest secret says why it cannot be typed, with OK grayed (the box
// takes more than a secret holds); cancelled, nothing waits for a click.
TEST_F(Secret, ATooLongTextIsRefusedAndCancelTypesNothing) {
    HWND dialog = OpenDialog();
    const HWND box = ::GetDlgItem(dialog, win32::kSecretBoxId);
    const HWND refusal = ::GetDlgItem(dialog, win32::kSecretRefusalId);
    ASSERT_TRUE(SetClipboardText(std::wstring(kMaxSecretLength + 1, L'x')));
    ::PostMessageW(box, WM_PASTE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !Text(refusal).empty(); })) << LengthIn(box);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)));
    ::SetWindowTextW(box, std::wstring(kMaxSecretLength, L'x').c_str());
    EXPECT_TRUE(WaitUntil(
        [&] { return Text(refusal).empty() && ::IsWindowEnabled(::GetDlgItem(dialog, IDOK)); }));
    Click(dialog, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    EXPECT_EQ(Text(window), kCaption) << "a cancelled dialog waits for a click";
}

}  // namespace
}  // namespace quillrun::testing
