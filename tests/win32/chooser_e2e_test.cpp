// The browse button of the real quillrun.exe: the system's open-file dialog, its two file
// types, and what a choice or a cancel does to the path box.
#include "tests/win32/e2e_support.h"

#include <dlgs.h>  // the dialog's control ids; needs <windows.h> first
#include <gtest/gtest.h>

namespace quillrun::testing {
namespace {

// The open-file dialog, owned by Quillrun's window.
HWND WaitForDialog(DWORD processId, HWND owner) {
    HWND dialog = nullptr;
    WaitUntil([&] {
        for (HWND candidate : TopLevelWindows(processId)) {
            if (::GetWindow(candidate, GW_OWNER) == owner && ClassName(candidate) == L"#32770") {
                dialog = candidate;
                return true;
            }
        }
        return false;
    });
    return dialog;
}

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> items;
    const auto count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring item(static_cast<std::size_t>(
                              ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0)),
                          L'\0');
        ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(item.data()));
        items.push_back(item);
    }
    return items;
}

class Chooser : public ::testing::Test {
  protected:
    void SetUp() override {
        std::tie(process, window) = install.Launch();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        if (process.Running()) {
            ::PostMessageW(window, WM_CLOSE, 0, 0);
            process.WaitForExit();
        }
    }

    [[nodiscard]] HWND PathBox() const { return PathBoxOf(window); }
    // Clicks the browse button; the dialog it opens, or null.
    HWND OpenDialog() const {
        ClickChoose(window);
        return WaitForDialog(process.id(), window);
    }
    void TypeIntoPathBox(const std::wstring& text) const { SetPathBox(window, text); }

    QuillrunInstall install;
    Process process;
    HWND window = nullptr;
};

TEST_F(Chooser, OffersTheTwoFileTypesAndPutsTheChosenFullPathIntoThePathBox) {
    TempFolder folder;
    const std::wstring chosen = folder / L"chosen file.txt";
    ASSERT_TRUE(WriteBytes(chosen, "text"));
    TypeIntoPathBox(L"C:\\typed by hand.txt");

    HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr) << "no open-file dialog";
    HWND types = ::GetDlgItem(dialog, cmb1);
    ASSERT_NE(types, nullptr);
    const std::vector<std::wstring> expected = {
        L"\uFF83\uFF77\uFF7D\uFF84\uFF8C\uFF67\uFF72\uFF99 (*.txt)",
        L"\u3059\u3079\u3066\u306E\uFF8C\uFF67\uFF72\uFF99 (*.*)"};
    EXPECT_EQ(ComboItems(types), expected);
    EXPECT_EQ(::SendMessageW(types, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(Text(dialog), L"Open") << "the dialog has no title of its own";

    // The file name box starts empty: it is not primed with the path box.
    HWND name = ::GetDlgItem(dialog, cmb13);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(Text(name), L"");
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(chosen.c_str()));
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    EXPECT_EQ(Text(PathBox()), chosen);
}

TEST_F(Chooser, CancellingKeepsAPathTypedByHand) {
    TypeIntoPathBox(L"C:\\typed by hand.txt");
    HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    EXPECT_EQ(Text(PathBox()), L"C:\\typed by hand.txt");
    // The window works on: a second dialog opens and closes the same way.
    dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    EXPECT_EQ(Text(PathBox()), L"C:\\typed by hand.txt");
}

}  // namespace
}  // namespace quillrun::testing
