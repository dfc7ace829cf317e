// The settings file and the Start button of the real quillrun.exe.
#include <windows.h>
// After windows.h, which they need.
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>

#include "app/start_menu.h"
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

    // Counted as the keyboard reaches the items: Start's commands, then the paces.
    constexpr int kPace50 = static_cast<int>(kStartCommands.size()) + 2;
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

// A shortcut to `program` with `arguments`, saved at `path`.
bool SaveShortcut(const std::wstring& path, const std::wstring& program,
                  const std::wstring& arguments) {
    IShellLinkW* rawLink = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&rawLink)))) {
        return false;
    }
    const win32::UniqueCom<IShellLinkW> link(rawLink);
    IPersistFile* rawFile = nullptr;
    if (FAILED(link.get()->SetPath(program.c_str())) ||
        FAILED(link.get()->SetArguments(arguments.c_str())) ||
        FAILED(link.get()->QueryInterface(IID_PPV_ARGS(&rawFile)))) {
        return false;
    }
    const win32::UniqueCom<IPersistFile> file(rawFile);
    return SUCCEEDED(file.get()->Save(path.c_str(), TRUE));
}

struct ProgramLineCase {
    const char* name;
    // The program line that starts the target, written in `folder`.
    std::function<std::wstring(const TargetProgram& target, const TempFolder& folder)> line;
};

class ProgramLine : public ::testing::TestWithParam<ProgramLineCase> {};

// What the program line names is started when Start is pressed, and typed into; the line is
// kept as written.
TEST_P(ProgramLine, StartsTheTargetAndKeepsTheLineAsWritten) {
    const win32::ComApartment com;
    TargetProgram target;
    TempFolder work;
    const std::wstring line = GetParam().line(target, work);
    ASSERT_FALSE(line.empty());
    QuillrunInstall install;
    ASSERT_TRUE(WriteBytes(install.settingsFile(), Narrow(line) + "\r\n"));
    // Quillrun inherits this process's environment.
    ASSERT_TRUE(::SetEnvironmentVariableW(L"QR_TARGET_DIR", BuildBinFolder().c_str()));
    auto [process, window] = install.Launch();
    ::SetEnvironmentVariableW(L"QR_TARGET_DIR", nullptr);
    ASSERT_NE(window, nullptr);

    ASSERT_TRUE(WriteBytes(work / L"text.txt", "typed"));
    SetPathBox(window, work / L"text.txt");
    ClickStart(window);
    ASSERT_NE(target.WaitForWindow(), nullptr) << "the target program did not start";
    EXPECT_EQ(WaitForTyped(target, L"typed\r\n"), L"typed\r\n");

    CloseAndWait(process, window);
    EXPECT_EQ(ReadBytes(install.settingsFile()), Narrow(line) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Start, ProgramLine,
    ::testing::Values(
        // Filled in when Start launches it.
        ProgramLineCase{"EnvironmentVariable",
                        [](const TargetProgram& target, const TempFolder&) {
                            std::wstring line = target.commandLine();
                            const std::wstring bin = BuildBinFolder();
                            return line.replace(line.find(bin), bin.size(), L"%QR_TARGET_DIR%");
                        }},
        // Opened as Explorer opens it, named whole without quotes. Wine's shell starts the
        // shortcut's program without handing its process back, as Windows does for a document
        // that goes to a program already running: the run finds the window of a program
        // started since.
        ProgramLineCase{"ShortcutWithASpaceInItsName",
                        [](const TargetProgram& target, const TempFolder& folder) {
                            const std::wstring& command = target.commandLine();
                            const std::wstring shortcut = folder / L"the target.lnk";
                            const std::size_t programEnd = command.find(L'"', 1);
                            return SaveShortcut(shortcut, command.substr(1, programEnd - 1),
                                                command.substr(programEnd + 2))
                                       ? shortcut
                                       : std::wstring();
                        }}),
    [](const auto& p) { return std::string(p.param.name); });

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
