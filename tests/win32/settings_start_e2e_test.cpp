// The settings file and the Start button of the real quillrun.exe.
#include <gtest/gtest.h>

#include "tests/target/test_target_protocol.h"
#include "tests/win32/e2e_support.h"

namespace quillrun::testing {
namespace {

// A command line that starts the test target with a caption of its own, writing into `folder`.
std::wstring TargetCommandLine(const TempFolder& folder, const std::wstring& title) {
    return L"\"" + BuildBinFolder() + L"\\qr_target.exe\" --out \"" + (folder / L"typed.bin") +
           L"\" --title \"" + title + L"\"";
}

void CloseAll(const std::wstring& caption) {
    for (HWND window : WindowsWithCaption(caption)) {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    WaitUntil([&] { return WindowsWithCaption(caption).empty(); });
}

void CloseAndWait(Process& process, HWND window) {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(process.WaitForExit());
}

TEST(Settings, WithoutAFileTheDefaultTargetIsWrittenAtClose) {
    QuillrunInstall install;
    auto [process, window] = install.Launch();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(FileExists(install.settingsFile()));
    CloseAndWait(process, window);
    EXPECT_EQ(ReadBytes(install.settingsFile()), "C:\\WINDOWS\\Notepad.exe\r\n");
}

TEST(Settings, StartedElsewhereTheSavedTargetSurvives) {
    QuillrunInstall install;
    TempFolder elsewhere;
    ASSERT_TRUE(WriteBytes(install.settingsFile(), "C:\\Apps\\custom.exe -a\r\n"));
    auto [process, window] = install.Launch(elsewhere.path());
    ASSERT_NE(window, nullptr);
    CloseAndWait(process, window);
    EXPECT_EQ(ReadBytes(install.settingsFile()), "C:\\Apps\\custom.exe -a\r\n");
    EXPECT_FALSE(FileExists(elsewhere / L"quillrun.ini"));
}

// Enter in the path box presses Start. A choice made in Start's menu is written at once (a
// sign-out closes no window), on the line that set it; the lines Quillrun does not own stay.
TEST(Start, EnterLaunchesTheTargetAndTheSettingsFileKeepsEveryLine) {
    QuillrunInstall install;
    TempFolder work;
    const std::wstring title = L"QR target launched by Start";
    const std::string firstLine = Narrow(TargetCommandLine(work, title));
    const std::string others =
        "; typed into the lab machines, ask before changing\r\ncolour=blue\r\n";
    ASSERT_TRUE(WriteBytes(install.settingsFile(), firstLine + "\r\n" + others + "pace=20\r\n"));
    auto [process, window] = install.Launch();
    ASSERT_NE(window, nullptr);

    ASSERT_TRUE(BringToFront(window));
    ASSERT_EQ(FocusIn(window), PathBoxOf(window));
    PressKey(VK_RETURN);
    HWND target = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        const auto found = WindowsWithCaption(title);
        target = found.empty() ? nullptr : found.front();
        return target != nullptr;
    })) << "Enter did not start the target program";
    EXPECT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == target; }))
        << "the target's window did not take the focus";
    EXPECT_FALSE(::IsIconic(target));
    EXPECT_FALSE(::IsZoomed(target));

    constexpr int kPace50 = 6;  // counted as the keyboard reaches the items
    HWND menu = OpenStartMenu(window);
    ASSERT_NE(menu, nullptr) << "Start's menu did not open";
    ASSERT_TRUE(ChooseMenuItem(menu, kPace50));
    const std::string chosen = firstLine + "\r\n" + others + "pace=50\r\n";
    EXPECT_TRUE(WaitUntil([&] { return ReadBytes(install.settingsFile()) == chosen; }))
        << ReadBytes(install.settingsFile());

    CloseAndWait(process, window);
    EXPECT_EQ(ReadBytes(install.settingsFile()), chosen);
    CloseAll(title);
}

TEST(Start, TwoQuickClicksStartTwoInstances) {
    QuillrunInstall install;
    TempFolder work;
    const std::wstring title = L"QR target clicked twice";
    ASSERT_TRUE(WriteBytes(install.settingsFile(), Narrow(TargetCommandLine(work, title))));
    auto [process, window] = install.Launch();
    ASSERT_NE(window, nullptr);

    ClickStart(window);
    ClickStart(window);
    EXPECT_TRUE(WaitUntil([&] { return WindowsWithCaption(title).size() == 2; }))
        << WindowsWithCaption(title).size() << " instances";
    CloseAll(title);
    CloseAndWait(process, window);
}

TEST(Start, AMissingProgramIsReportedAndQuillrunKeepsWorking) {
    QuillrunInstall install;
    ASSERT_TRUE(WriteBytes(install.settingsFile(), "C:\\no-such-folder\\missing-target.exe\r\n"));
    auto [process, window] = install.Launch();
    ASSERT_NE(window, nullptr);

    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        ClickStart(window);
        HWND box = FindMessageBox(process.id(), window);
        ASSERT_NE(box, nullptr) << "no message box about the failed launch";
        const std::wstring text = AllChildText(box);
        EXPECT_NE(text.find(L"Quillrun could not start the program to type into:\n\n"
                            L"C:\\no-such-folder\\missing-target.exe\n\n"),
                  std::wstring::npos)
            << Narrow(text);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }));
    }

    // Still alive and answering: its path box takes new text.
    HWND path = PathBoxOf(window);
    ::SendMessageW(path, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"C:\\typed.txt"));
    EXPECT_EQ(Text(path), L"C:\\typed.txt");
    CloseAndWait(process, window);
    EXPECT_EQ(process.ExitCode(), 0u);
}

}  // namespace
}  // namespace quillrun::testing
