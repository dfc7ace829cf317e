// Bad input and faults, end to end with the real quillrun.exe: files that are not plain text,
// odd paths in the path box, damaged settings and application folders, and targets that go
// away or stop answering. Nothing may crash, nothing may be lost, and no keystroke may go to a
// window it was not meant for.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "app/form_layout.h"
#include "tests/win32/e2e_expect.h"

namespace quillrun::testing {
namespace {

bool CreateFolders(const std::wstring& base, const std::wstring& relative) {
    std::wstring path = base;
    std::size_t start = 0;
    for (std::size_t slash = relative.find(L'\\'); slash != std::wstring::npos;
         slash = relative.find(L'\\', start)) {
        path += L"\\" + relative.substr(start, slash - start);
        if (!::CreateDirectoryW(path.c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
        start = slash + 1;
    }
    return true;
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(name);
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// ---------------------------------------------------------------------------------------------
// Files that are not plain text

INSTANTIATE_TEST_SUITE_P(
    BadInput, TypesTheFile,
    ::testing::Values(
        // NUL and other control characters are never typed, as keys or as Unicode input:
        // programs take them as editing commands. The rest of the text arrives.
        CorpusCase{"NulAndControlCharacters",
                   std::string("a\0b\x01\x07\x1B\x7F"
                               "c\r\n\0\r\n",
                               13),
                   L"abc\r\n\r\n"},
        // Not valid UTF-8 as a whole: every byte is read in the ANSI code page (1252 here).
        CorpusCase{"InvalidUtf8FallsBackToAnsi", "caf\xC3\xA9 \xE9t\xE9 \xC3(",
                   L"caf\u00C3\u00A9 \u00E9t\u00E9 \u00C3(\r\n"},
        CorpusCase{"Utf16BigEndianWithMark",
                   std::string("\xFE\xFF\0a\0\r\0\n\xD8\x3D\xDE\x00\0{", 14),
                   L"a\r\n\U0001F600{\r\n"},
        // A UTF-16 file cut off inside a character: the stray byte becomes U+FFFD.
        CorpusCase{"Utf16CutOffInsideACharacter", std::string("\xFF\xFEo\0k\0!", 7),
                   L"ok\uFFFD\r\n"}),
    [](const auto& p) { return std::string(p.param.name); });

// Quillrun's private bytes (memory it alone holds), or 0 if the system does not say.
SIZE_T PrivateBytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!::K32GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                   sizeof counters)) {
        return 0;
    }
    // Windows reports the same commit charge in both; Wine fills in only the older field.
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

// 100 MB of text: short lines, or one line.
std::string HundredMegabytes(bool oneLine) {
    constexpr std::size_t kSize = 100u << 20;
    std::string text;
    text.reserve(kSize + 100);
    for (int line = 0; text.size() < kSize; ++line) {
        std::string row = "row " + std::to_string(line) + " ";
        row.resize(78, '.');
        text += row + (oneLine ? "  " : "\r\n");
    }
    return text;
}

TEST(BadInput, A100MegabyteFileIsTypedWithFlatMemory) {
    for (const bool oneLine : {false, true}) {
        SCOPED_TRACE(oneLine ? "one line" : "short lines");
        QuillrunSession session;
        ASSERT_NE(session.window, nullptr);
        const SIZE_T idle = PrivateBytes(session.process.handle());
        ASSERT_GT(idle, 0u) << "the system does not report Quillrun's private bytes";
        session.TypeFile(HundredMegabytes(oneLine));
        ASSERT_NE(session.target.WaitForWindow(), nullptr);
        ASSERT_TRUE(WaitUntil([&] { return session.target.CharCount() >= 1000; }, 60s));
        const SIZE_T atStart = PrivateBytes(session.process.handle());
        ASSERT_TRUE(WaitUntil([&] { return session.target.CharCount() >= 8000; }, 60s));
        const SIZE_T nearEnd = PrivateBytes(session.process.handle());
        const long typed = session.target.CharCount();

        // Stopped by closing Quillrun's window, as a user would.
        ::PostMessageW(session.window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(session.process.WaitForExit(10s));
        EXPECT_EQ(session.process.ExitCode(), 0u);

        std::printf(
            "[ figures  ] %s: private bytes idle %zu KiB, typing began %zu KiB, after %ld "
            "characters %zu KiB\n",
            oneLine ? "one line" : "short lines", idle / 1024, atStart / 1024, typed,
            nearEnd / 1024);
        const auto grew = [](SIZE_T from, SIZE_T to) { return to > from ? to - from : 0; };
        // A chunk of the file, a piece of a line and the run's own state; nothing in proportion
        // to the file.
        EXPECT_LT(grew(idle, atStart), SIZE_T{8} << 20);
        EXPECT_LT(grew(atStart, nearEnd), SIZE_T{1} << 20);
    }
}

// ---------------------------------------------------------------------------------------------
// What the path box may hold

struct PathCase {
    const char* name;
    std::wstring file;  // created under the base folder with "typed" in it
    bool inAppFolder;   // base: Quillrun's application (and working) folder, else a temp folder
    std::function<std::wstring(const std::wstring& base, const std::wstring& file)> pathBox;
    bool typed;
    // What the message about an untyped file says, once the user is back at Quillrun; empty:
    // there is none.
    std::wstring message = {};
};

class PathBoxHolds : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathBoxHolds, WhatItNamesIsTypedOrNothingIs) {
    const PathCase& c = GetParam();
    QuillrunSession session;
    ASSERT_NE(session.window, nullptr);
    const std::wstring base = c.inAppFolder ? session.install.folder() : session.work.path();
    ASSERT_TRUE(CreateFolders(base, c.file));
    ASSERT_TRUE(WriteBytes(base + L"\\" + c.file, "typed"));
    SetPathBox(session.window, c.pathBox(base, c.file));
    ClickStart(session.window);
    if (c.typed) {
        ExpectTyped(session.target, L"typed\r\n");
    } else {
        ASSERT_NE(session.target.WaitForWindow(), nullptr);
        EXPECT_FALSE(WaitUntil([&] { return session.target.CharCount() != 0; }, kNothingHappens));
    }
    EXPECT_TRUE(session.process.Running());
    ::SetForegroundWindow(session.window);
    if (c.message.empty()) {
        ExpectNoMessage(session);
    } else {
        const std::wstring message = TakeTheOnlyMessage(session);
        EXPECT_NE(message.find(c.message), std::wstring::npos) << Utf8(message);
        EXPECT_NE(message.find(L"Nothing of the file was typed"), std::wstring::npos)
            << Utf8(message);
    }
}

std::wstring FullPath(const std::wstring& base, const std::wstring& file) {
    return base + L"\\" + file;
}

const std::wstring kLongFolder(100, L'd');

INSTANTIATE_TEST_SUITE_P(
    BadInput, PathBoxHolds,
    ::testing::Values(
        // The path box is used as it stands: a leading space or quotes are part of the name,
        // and no file of that name is found, which the user is told.
        PathCase{"LeadingSpace", L"text.txt", false,
                 [](auto& b, auto& f) { return L" " + FullPath(b, f); }, false,
                 L"could not open the file \" "},
        PathCase{"Quoted", L"text.txt", false,
                 [](auto& b, auto& f) { return L"\"" + FullPath(b, f) + L"\""; }, false,
                 L"could not open the file \"\""},
        // A folder (Quillrun's own, as the box holds it at the start) names no file: silent.
        PathCase{"Folder", L"text.txt", true, [](auto& b, auto&) { return b; }, false},
        // Wine, as Windows 10, takes con.txt for the console, which does not open in a program
        // without one; NUL opens, as a device: neither is read.
        PathCase{"DeviceName", L"text.txt", false,
                 [](auto& b, auto&) { return FullPath(b, L"con.txt"); }, false, L"for a device"},
        PathCase{"NulDevice", L"text.txt", false, [](auto&, auto&) { return std::wstring(L"NUL"); },
                 false, L"for a device"},
        // Windows itself ignores spaces at the end of a file name.
        PathCase{"TrailingSpaces", L"text.txt", false,
                 [](auto& b, auto& f) { return FullPath(b, f) + L"  "; }, true},
        // Relative to the folder Quillrun was started in.
        PathCase{"Relative", L"sub\\rel.txt", true, [](auto&, auto& f) { return f; }, true},
        PathCase{"JapaneseFolderAndName", L"\u65E5\u672C\u8A9E\\\u30C6\u30AD\u30B9\u30C8.txt",
                 false, FullPath, true},
        PathCase{"LongerThan260Characters",
                 kLongFolder + L"\\" + kLongFolder + L"\\" + kLongFolder + L"\\long.txt", false,
                 FullPath, true}),
    [](const auto& p) { return std::string(p.param.name); });

// ---------------------------------------------------------------------------------------------
// Damaged settings and application folders

TEST(BadInput, ASettingsFileWithA100KilobyteFirstLine) {
    QuillrunInstall install;
    const std::string firstLine = "C:\\" + std::string(100'000, 'a') + "\\editor.exe";
    ASSERT_TRUE(WriteBytes(install.settingsFile(), firstLine + "\r\nsecond line\r\n"));
    auto [process, window] = install.Launch();
    ASSERT_NE(window, nullptr);

    // Such a program cannot be started; the message says so in a box that fits the screen.
    ClickStart(window);
    HWND box = FindMessageBox(process.id(), window);
    ASSERT_NE(box, nullptr);
    const std::wstring text = AllChildText(box);
    EXPECT_NE(text.find(L"\\editor.exe"), std::wstring::npos);
    EXPECT_LT(text.size(), 1000u);
    RECT boxRect{};
    ::GetWindowRect(box, &boxRect);
    EXPECT_LE(boxRect.right - boxRect.left, ::GetSystemMetrics(SM_CXSCREEN));
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }));

    // The line is kept whole, and so is every other line.
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(process.WaitForExit());
    EXPECT_EQ(process.ExitCode(), 0u);
    EXPECT_EQ(ReadBytes(install.settingsFile()), firstLine + "\r\nsecond line\r\n");
}

TEST(BadInput, ASettingsFileThatIsAFolder) {
    QuillrunInstall install;
    ASSERT_TRUE(::CreateDirectoryW(install.settingsFile().c_str(), nullptr));
    auto [process, window] = install.Launch();
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(process.WaitForExit());
    EXPECT_EQ(process.ExitCode(), 0u);
    // The folder stays, and no half-written file is left beside it.
    EXPECT_TRUE(IsFolder(install.settingsFile()));
    EXPECT_EQ(FolderEntries(install.folder()),
              (std::vector<std::wstring>{L"quillrun.exe", L"quillrun.ini"}));
}

// The test run prepares a copy of Quillrun in a folder that nobody may change (not even root,
// under which the tests may run), with a settings file in it, and names it in this variable.
TEST(BadInput, AReadOnlyApplicationFolder) {
    std::wstring folder(MAX_PATH, L'\0');
    folder.resize(::GetEnvironmentVariableW(L"QUILLRUN_READONLY_APP", folder.data(),
                                            static_cast<DWORD>(folder.size())));
    if (folder.empty() || folder.size() >= MAX_PATH) {
        GTEST_SKIP() << "no read-only application folder was prepared";
    }
    const std::wstring probe = folder + L"\\probe.tmp";
    if (WriteBytes(probe, "x")) {
        ::DeleteFileW(probe.c_str());
        GTEST_SKIP() << "the prepared folder is writable here";
    }
    const std::wstring settings = folder + L"\\quillrun.ini";
    const std::string before = ReadBytes(settings);
    ASSERT_FALSE(before.empty());
    const auto entries = FolderEntries(folder);

    TempFolder elsewhere;  // started from a writable folder, as from a shortcut
    Process process = Process::Start(L"\"" + folder + L"\\quillrun.exe\"", elsewhere.path());
    ASSERT_TRUE(process.started());
    HWND window = WaitForWindow(process.id(), kCaption);
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(process.WaitForExit());
    EXPECT_EQ(process.ExitCode(), 0u);
    EXPECT_EQ(ReadBytes(settings), before);
    EXPECT_EQ(FolderEntries(folder), entries);
    EXPECT_TRUE(FolderEntries(elsewhere.path()).empty());
}

// ---------------------------------------------------------------------------------------------
// Targets that go away or stop answering

// The target closes itself 200 ms after it shows, long before the tick; another program runs.
class TargetClosedBeforeTheTick : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(session.window, nullptr);
        ASSERT_NE(other.Start(), nullptr);
    }

    // Starts typing `text`, waits for the target to go, then brings the other program's window
    // or Quillrun's own to the front.
    void TypeAfterTheTargetHasGone(const std::string& text, bool quillrunInFront) {
        session.TypeFile(text);
        ASSERT_NE(session.target.WaitForWindow(), nullptr);
        ASSERT_TRUE(WaitUntil([&] { return WindowsWithCaption(session.target.title()).empty(); }));
        ASSERT_TRUE(quillrunInFront ? ComeBackToQuillrun(session) : BringToFront(other.window()));
    }

    QuillrunSession session{L"--close-after-ms 200"};
    TargetProgram other{{}, L"Another program"};
};

TEST_F(TargetClosedBeforeTheTick, TextGoesToTheWindowInFront) {
    TypeAfterTheTargetHasGone("to the window in front", false);
    EXPECT_EQ(WaitForTyped(other, L"to the window in front\r\n"), L"to the window in front\r\n");
}

TEST_F(TargetClosedBeforeTheTick, WithQuillrunInFrontNothingIsTyped) {
    TypeAfterTheTargetHasGone("nowhere to go", true);
    // Quillrun does not type into its own path box, nor into the window behind it.
    EXPECT_FALSE(
        WaitUntil([&] { return Text(session.PathBox()) != session.file; }, kNothingHappens));
    EXPECT_EQ(other.CharCount(), 0);
    EXPECT_TRUE(Answers(session.window));
    // Once the wait for a window of another program is over, the user hears why.
    const std::wstring message = TakeTheOnlyMessage(session);
    EXPECT_NE(message.find(L"typed nothing"), std::wstring::npos) << Narrow(message);
    EXPECT_NE(message.find(L"Nothing of the file was typed"), std::wstring::npos);
}

TEST(BadInput, TargetClosedDuringTheRunStopsTheTyping) {
    QuillrunSession session(L"--char-delay-ms 5");
    ASSERT_NE(session.window, nullptr);
    TargetProgram other({}, L"A window behind the target");
    ASSERT_NE(other.Start(), nullptr);
    session.TypeFile(LongText());
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return session.target.CharCount() >= 20; }));
    ::PostMessageW(session.target.window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return WindowsWithCaption(session.target.title()).empty(); }));

    // Whatever comes to the front gets nothing.
    EXPECT_FALSE(WaitUntil(
        [&] { return other.CharCount() != 0 || Text(session.PathBox()) != session.file; }, 1500ms))
        << "other " << other.CharCount() << ", path box " << Narrow(Text(session.PathBox()));
    EXPECT_TRUE(Answers(session.window));
    ::PostMessageW(session.window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(session.process.WaitForExit(5s));
    EXPECT_EQ(session.process.ExitCode(), 0u);
}

TEST(BadInput, ATargetThatHangsEndsTheRunAndQuillrunStaysResponsive) {
    // The target stops answering for 8 s at its 30th character; Quillrun gives up after 5 s.
    QuillrunSession session(L"--stall-at 30 --stall-ms 8000");
    ASSERT_NE(session.window, nullptr);
    session.TypeFile(LongText());
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    HWND target = session.target.window();
    ASSERT_TRUE(WaitUntil([&] { return !Answers(target, 200); }));
    const auto stalled = Clock::now();

    // While the target hangs, Quillrun's window answers at once: sent messages, and real input
    // too, which would wait behind the target's unread keystroke while the two shared their
    // input. A click on Quillrun (on its caption or between its controls, wherever the target
    // leaves it uncovered; never its buttons) brings it to the front.
    EXPECT_FALSE(WaitUntil([&] { return !Answers(session.window); }, 2s))
        << "Quillrun hung with its target";
    const std::optional<POINT> bare = BarePointOf(session.window);
    ASSERT_TRUE(bare.has_value()) << "the target covers Quillrun";
    ClickAt(*bare);
    EXPECT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == session.window; }, 1s))
        << "a click on Quillrun waited behind the target";
    EXPECT_FALSE(Answers(target, 200)) << "the target no longer hung when the click was taken";
    ASSERT_TRUE(WaitUntil([&] { return Answers(target, 200); }, 15s));
    EXPECT_GE(Clock::now() - stalled, 7s);

    // The run had ended: what was queued before the hang arrives, then nothing more.
    long count = session.target.CharCount();
    EXPECT_FALSE(CountMovedOn(session.target, count, 3, 2s));
    EXPECT_LT(count, 40);
    EXPECT_TRUE(session.process.Running());
    // The 30th character was sent but never confirmed: typing stopped at it. The click ended
    // the wait for it at once, as a stop by a click on Quillrun, not as a target that stopped
    // responding.
    const std::wstring message = TakeTheOnlyMessage(session);
    EXPECT_NE(message.find(L"because its window was clicked"), std::wstring::npos)
        << Narrow(message);
    EXPECT_NE(message.find(L"line 1, column 30 of the file; 29 characters were typed"),
              std::wstring::npos)
        << Narrow(message);
}

// The user clicks Start while the target hangs for a moment (4 s, less than the 5 s Quillrun
// waits for it): the run stops there, before another key, and says that the click stopped it;
// the click starts nothing, then or once the target answers again.
TEST(BadInput, AClickOnStartWhileTheTargetHangsStopsTheRunThereAndStartsNothing) {
    QuillrunSession session(L"--stall-at 10 --stall-ms 4000");
    ASSERT_NE(session.window, nullptr);
    session.TypeFile(LongText());
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    HWND target = session.target.window();
    ASSERT_TRUE(WaitUntil([&] { return !Answers(target, 200); }));

    // A real click on Start (its left part, not the menu's arrow), raised until nothing covers
    // it, as a user would see it.
    HWND start = ::GetDlgItem(session.window, static_cast<int>(ControlId::Start));
    RECT button{};
    ::GetWindowRect(start, &button);
    const POINT middle{button.left + (button.right - button.left) / 3,
                       (button.top + button.bottom) / 2};
    ASSERT_TRUE(WaitUntil([&] {
        if (::WindowFromPoint(middle) == start) {
            return true;
        }
        ::SetWindowPos(session.window, HWND_TOP, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
        return false;
    })) << "the target covers Start";
    ClickAt(middle);
    const std::wstring message = TakeTheOnlyMessage(session);
    EXPECT_NE(message.find(L"because its window was clicked"), std::wstring::npos)
        << Narrow(message);
    EXPECT_NE(message.find(L"line 1, column 10 of the file; 9 characters were typed"),
              std::wstring::npos)
        << Narrow(message);

    // Once the target answers again it has the 10th character, the one it hung on, and no
    // more; and no second copy of it was started.
    ASSERT_TRUE(WaitUntil([&] { return Answers(target, 200); }, 15s));
    EXPECT_FALSE(WaitUntil([&] { return session.target.CharCount() > 10; }, 1500ms))
        << session.target.CharCount() << " characters arrived";
    EXPECT_EQ(session.target.CharCount(), 10);
    EXPECT_EQ(WindowsWithCaption(session.target.title()).size(), 1u)
        << "the click on Start started the target again";
    EXPECT_TRUE(session.process.Running());
}

}  // namespace
}  // namespace quillrun::testing
