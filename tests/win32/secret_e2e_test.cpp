// A secret typed into the window clicked next, from the dialog Start's menu opens: it arrives
// exactly, and neither the files Quillrun writes, the clipboard nor the next dialog keep it.
#include <gtest/gtest.h>

#include <windows.h>

#include "tests/win32/e2e_expect.h"
#include "win32/win32_secret_dialog.h"

namespace quillrun::testing {
namespace {

constexpr int kSecretItemId = 205;
// Capitals, digits, a space, and characters that key sequences and shortcuts would read.
const std::wstring kSecret = L"Pa55 W0rd!{+}";

// The length of a password box's text: a box of another process tells that, never the text.
// GetWindowTextLength would ask for the caption only.
LRESULT LengthIn(HWND box) {
    return ::SendMessageW(box, WM_GETTEXTLENGTH, 0, 0);
}

// Quillrun with its application folder apart from its working folder, and a test target open.
class Secret : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(open.Start(), nullptr);
        ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == open.window(); }));
        std::tie(process, window) = install.Launch(work.path());
        ASSERT_NE(window, nullptr);
    }

    // The secret's dialog, opened from Start's menu: empty, masked, OK grayed.
    HWND OpenDialog() {
        HWND menu = OpenStartMenu(window);
        EXPECT_NE(menu, nullptr);
        EXPECT_TRUE(menu != nullptr && ChooseMenuItem(menu, StartMenuIndexOf(kSecretItemId)));
        HWND dialog = FindMessageBox(process.id(), window);
        const HWND box = ::GetDlgItem(dialog, win32::kSecretBoxId);
        EXPECT_NE(box, nullptr) << "the secret's dialog did not open";
        EXPECT_EQ(LengthIn(box), 0);
        EXPECT_NE(::GetWindowLongW(box, GWL_STYLE) & ES_PASSWORD, 0);
        EXPECT_NE(::SendMessageW(box, EM_GETPASSWORDCHAR, 0, 0), 0);
        EXPECT_EQ(::SendDlgItemMessageW(dialog, win32::kShowSecretId, BM_GETCHECK, 0, 0),
                  BST_UNCHECKED);
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)));
        // Keys typed now go into the box.
        EXPECT_TRUE(WaitUntil([&] { return FocusIn(dialog) == box; }))
            << "in front: " << Utf8(Text(::GetForegroundWindow()));
        return dialog;
    }

    static void Click(HWND dialog, int control) {
        ::PostMessageW(::GetDlgItem(dialog, control), BM_CLICK, 0, 0);
    }

    // Every file in the folder, none of which may hold the secret as text of either width.
    static void ExpectNoFileHolds(const std::wstring& folder, const std::wstring& secret) {
        const std::string narrow = Narrow(secret);
        const std::string wide(reinterpret_cast<const char*>(secret.data()),
                               secret.size() * sizeof(wchar_t));
        WIN32_FIND_DATAW found{};
        const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        do {
            const std::string bytes = ReadBytes(folder + L"\\" + found.cFileName);
            EXPECT_EQ(bytes.find(narrow), std::string::npos) << Utf8(found.cFileName);
            EXPECT_EQ(bytes.find(wide), std::string::npos) << Utf8(found.cFileName);
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }

    QuillrunInstall install;
    TempFolder work;
    TargetProgram open{{}, L"Secret target"};
    Process process;
    HWND window = nullptr;
};

TEST_F(Secret, ArrivesExactlyWithOneEnterAndIsLeftNowhere) {
    ASSERT_TRUE(SetClipboardText(L"on the clipboard before"));
    HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    const HWND box = ::GetDlgItem(dialog, win32::kSecretBoxId);
    TypeUnicode(kSecret);
    ASSERT_TRUE(WaitUntil([&] { return LengthIn(box) == static_cast<LRESULT>(kSecret.size()); }))
        << LengthIn(box) << " characters";
    Click(dialog, win32::kShowSecretId);
    EXPECT_TRUE(WaitUntil([&] { return ::SendMessageW(box, EM_GETPASSWORDCHAR, 0, 0) == 0; }))
        << "Show did not unmask the box";
    Click(dialog, win32::kPressEnterId);
    ASSERT_TRUE(WaitUntil([&] {
        return ::SendDlgItemMessageW(dialog, win32::kPressEnterId, BM_GETCHECK, 0, 0) ==
               BST_CHECKED;
    }));
    ASSERT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)));
    Click(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog) && Text(window) == kPickCaption; }));
    ASSERT_TRUE(ClickWindow(open.window()));

    const std::wstring typed = kSecret + L"\r\n";
    ExpectTyped(open, typed);
    EXPECT_FALSE(WaitUntil([&] { return open.CharCount() > CharacterMessages(typed); }, 1s))
        << "more followed: " << Utf8(open.Text());
    EXPECT_TRUE(WaitUntil([&] { return Text(window) == kCaption; }));
    EXPECT_EQ(FindMessageBox(process.id(), window, 1s), nullptr);

    // Opened again: empty, masked, Show unchecked (OpenDialog expects it so).
    dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));

    // Closed, Quillrun has written quillrun.ini (the application folder's: it had none).
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(process.WaitForExit());
    EXPECT_TRUE(FileExists(install.settingsFile()));
    ExpectNoFileHolds(install.folder(), kSecret);
    ExpectNoFileHolds(work.path(), kSecret);
    ASSERT_TRUE(WaitUntil([] { return ::OpenClipboard(nullptr) != FALSE; }));
    const HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
    const auto* text = data != nullptr ? static_cast<const wchar_t*>(::GlobalLock(data)) : nullptr;
    EXPECT_EQ(std::wstring(text != nullptr ? text : L""), L"on the clipboard before");
    if (text != nullptr) {
        ::GlobalUnlock(data);
    }
    ::CloseClipboard();
}

// Cancelled with a text in it, the dialog types nothing and the next opens empty; a text too
// long for a secret says why under the box and cannot be chosen.
TEST_F(Secret, ATooLongTextIsRefusedAndACancelledOneIsGone) {
    HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    const HWND box = ::GetDlgItem(dialog, win32::kSecretBoxId);
    const HWND refusal = ::GetDlgItem(dialog, win32::kSecretRefusalId);
    const HWND ok = ::GetDlgItem(dialog, IDOK);
    // Pasted past the longest secret: the box takes it all, and says why it cannot be typed.
    ASSERT_TRUE(SetClipboardText(std::wstring(kMaxSecretLength + 1, L'x')));
    ::PostMessageW(box, WM_PASTE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !Text(refusal).empty(); }))
        << LengthIn(box) << " characters pasted";
    EXPECT_FALSE(::IsWindowEnabled(ok));
    ::SetWindowTextW(box, std::wstring(kMaxSecretLength, L'x').c_str());
    EXPECT_TRUE(WaitUntil([&] { return Text(refusal).empty() && ::IsWindowEnabled(ok); }));
    Click(dialog, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    EXPECT_EQ(Text(window), kCaption) << "a cancelled dialog waits for a click";

    dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    EXPECT_EQ(open.CharCount(), 0);
}

}  // namespace
}  // namespace quillrun::testing
