// The real quillrun.exe typing files into real programs: the test target, which records what
// it receives, a multi-line EDIT control, and Wine's Notepad as the default target.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "tests/target/test_target_protocol.h"
#include "tests/win32/e2e_expect.h"

namespace quillrun::testing {
namespace {

TEST_P(TypesTheFile, ExactlyAsWritten) {
    QuillrunSession session;
    ASSERT_NE(session.window, nullptr);
    session.TypeFile(GetParam().bytes);
    ExpectTyped(session.target, GetParam().typed);
    EXPECT_TRUE(session.process.Running());
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, TypesTheFile,
    ::testing::Values(
        CorpusCase{"Specials", "a+b {x} (50%) ~^[]\r\n", L"a+b {x} (50%) ~^[]\r\n"},
        CorpusCase{"TabsAndBlankLines", "\tx\ty\r\n\r\n\r\nz\t\r\n", L"\tx\ty\r\n\r\n\r\nz\t\r\n"},
        CorpusCase{"CarriageReturnOnly", "one\rtwo\r", L"one\r\ntwo\r\n"},
        CorpusCase{"LineFeedOnly", "one\ntwo\n", L"one\r\ntwo\r\n"},
        CorpusCase{"NoFinalLineEnd", "Mixed Case 123!", L"Mixed Case 123!\r\n"},
        CorpusCase{"Utf8JapaneseWithMark",
                   "\xEF\xBB\xBF\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xA7\xE3\x81\x99",
                   L"\u65E5\u672C\u8A9E\u3067\u3059\r\n"},
        CorpusCase{"Utf8JapaneseWithoutMark", "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 ok",
                   L"\u30C6\u30B9\u30C8 ok\r\n"},
        CorpusCase{"OutsideTheBasicPlane", "\xF0\x9F\x98\x80\xF0\x9D\x84\x9E",
                   L"\U0001F600\U0001D11E\r\n"},
        CorpusCase{"Utf16WithMark",
                   std::string("\xFF\xFE"
                               "A\0+\0\xE9\0",
                               8),
                   L"A+\u00E9\r\n"},
        CorpusCase{"AnsiLatin1", "caf\xE9 na\xEFve", L"caf\u00E9 na\u00EFve\r\n"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Playback, ALineLongerThan32767CharactersIsTypedInFull) {
    QuillrunSession session;
    ASSERT_NE(session.window, nullptr);
    std::string line;
    for (int i = 0; i < 33000; ++i) {
        line.push_back(static_cast<char>('a' + i % 26));
    }
    session.TypeFile(line + "\r\nend");
    ExpectTyped(session.target, std::wstring(line.begin(), line.end()) + L"\r\nend\r\n", 120s);
}

TEST(Playback, TheFirstCharacterArrivesAboutOneAndAHalfSecondsAfterStart) {
    QuillrunSession session;
    ASSERT_NE(session.window, nullptr);
    const auto clicked = Clock::now();
    session.TypeFile("x");
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return session.target.CharCount() > 0; }));
    const auto waited = Clock::now() - clicked;
    EXPECT_GE(waited, 1500ms);
    EXPECT_LT(waited, 1500ms + kTickSlack);
}

TEST(Playback, AnEmptyFileOrThePathBoxStillHoldingTheFolderTypesNothing) {
    for (const bool emptyFile : {true, false}) {
        SCOPED_TRACE(emptyFile ? "empty file" : "application folder");
        QuillrunSession session;
        ASSERT_NE(session.window, nullptr);
        if (emptyFile) {
            session.TypeFile("");
        } else {
            EXPECT_EQ(Text(session.PathBox()), session.install.folder());
            ClickStart(session.window);
        }
        ASSERT_NE(session.target.WaitForWindow(), nullptr);
        EXPECT_FALSE(WaitUntil([&] { return session.target.CharCount() != 0; }, kNothingHappens));
    }
}

TEST(Playback, TheTargetIsBroughtBackToTheFrontBeforeTyping) {
    QuillrunSession session;
    ASSERT_NE(session.window, nullptr);
    TargetProgram other({}, L"Another program in front");
    ASSERT_NE(other.Start(), nullptr);
    session.TypeFile("to the target");
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    // Before the delay is over, the user looks at another window.
    ASSERT_TRUE(BringToFront(other.window()));
    EXPECT_EQ(WaitForTyped(session.target, L"to the target\r\n"), L"to the target\r\n");
    EXPECT_EQ(::GetForegroundWindow(), session.target.window());
    EXPECT_EQ(other.CharCount(), 0);
}

// Like Windows 11's C:\WINDOWS\Notepad.exe, terminals and browsers: the launched process shows
// no window, starts the program that does and exits; at once, or only after the tick.
// The last opens its window behind the others, as Windows Terminal's often do: Quillrun brings
// it forward. A program that shows a splash screen first is typed into once its main window
// shows, never into the splash.
TEST(Playback, AProgramThatHandsItsLaunchToAnotherProcessIsTypedInto) {
    for (const std::wstring options : {L"--hand-off-after-ms 1", L"--hand-off-after-ms 1800",
                                       L"--hand-off-after-ms 1 --behind", L"--splash-ms 2500"}) {
        SCOPED_TRACE(Narrow(options));
        QuillrunSession session(options);
        ASSERT_NE(session.window, nullptr);
        session.TypeFile("handed {over}\r\nsecond line");
        ExpectTyped(session.target, L"handed {over}\r\nsecond line\r\n");
        // A finished run says nothing.
        ExpectNoMessage(session);
    }
}

// Users type scripts into consoles. Whose window it is varies: the console program's own (as
// Windows' classic console reports it), the console host's (Wine), or a terminal's in another
// process (Windows Terminal): the latter two are a hand-off.
TEST(Playback, AScriptIsTypedIntoAConsoleProgram) {
    QuillrunInstall install;
    TempFolder work;
    ASSERT_TRUE(WriteBytes(install.settingsFile(), "C:\\windows\\system32\\cmd.exe /k cd /d \"" +
                                                       Narrow(work.path()) + "\"\r\n"));
    const std::wstring script = work / L"script.txt";
    ASSERT_TRUE(WriteBytes(script, "echo Typed Into The Console {1+1}>out.txt\r\nexit\r\n"));
    auto [quillrun, window] = install.Launch();
    // Captured by a lambda below, which clang takes only from clang 16 on for a binding.
    Process& process = quillrun;
    ASSERT_NE(window, nullptr);
    SetPathBox(window, script);
    ClickStart(window);
    EXPECT_TRUE(WaitUntil(
        [&] { return ReadBytes(work / L"out.txt") == "Typed Into The Console {1+1}\r\n"; }, 30s))
        << ReadBytes(work / L"out.txt");
    // The script's last line ends the console program. Closing Quillrun before it is typed
    // would leave the console program running, holding the test runner's output open.
    EXPECT_TRUE(WaitUntil([&] { return ChildProcesses(process.id()).empty(); }))
        << "the console program is still running: \"exit\" was not typed";
    // The console closed right after the last keystroke, having taken the whole script: the
    // run finished, and nothing is said when the user comes back either.
    ::SetForegroundWindow(window);
    const HWND box = FindMessageBox(process.id(), window, 1500ms);
    EXPECT_EQ(box, nullptr) << Utf8(AllChildText(box));
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(process.WaitForExit());
}

// Clicking Quillrun is the natural way to stop it: it stops, and says at once where.
TEST(Playback, AClickOnQuillrunStopsTheTypingAndSaysWhereAtOnce) {
    QuillrunSession session(L"--char-delay-ms 5");
    ASSERT_NE(session.window, nullptr);
    session.TypeFile(LongText());
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    const std::wstring message = StopByClickingQuillrun(session, session.target);
    EXPECT_NE(message.find(L"Quillrun stopped typing"), std::wstring::npos) << Utf8(message);
    EXPECT_NE(message.find(L" of the file; "), std::wstring::npos) << Utf8(message);
    EXPECT_LT(session.target.CharCount(), static_cast<long>(LongText().size()));
}

// A program with two windows (a second document, a dialog of its own), as browsers, Explorer and
// Windows 11's Notepad have in one process: a click on its other window stops the run, which
// types only into the window it began in.
TEST(Playback, AnotherWindowOfTheSameProgramStopsTheTyping) {
    QuillrunSession session(L"--char-delay-ms 5 --second-window");
    ASSERT_NE(session.window, nullptr);
    session.TypeFile(LongText());
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    const auto seconds = WindowsWithCaption(session.target.title() + L" - second");
    ASSERT_EQ(seconds.size(), 1u);
    HWND second = seconds.front();
    const auto secondChars = [&] {
        DWORD_PTR count = 0;
        ::SendMessageTimeoutW(second, kCharCountMessage, 0, 0, SMTO_NORMAL, 5000, &count);
        return static_cast<long>(count);
    };
    ASSERT_TRUE(WaitUntil([&] { return session.target.CharCount() >= 40; }));
    ASSERT_TRUE(ClickWindow(second)) << "the other windows cover the target's second one";
    ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == second; }));
    long stoppedAt = session.target.CharCount();
    EXPECT_FALSE(
        CountMovedOn(session.target, stoppedAt, 2, 1500ms, [&] { return secondChars() > 1; }));
    // At most the keystroke that was on its way as the click came: the two windows share a
    // thread, whose keyboard messages go to whichever window has the focus as they are read.
    const long strayed = secondChars();
    EXPECT_LE(strayed, 1) << "keystrokes reached the program's other window";
    EXPECT_LT(session.target.CharCount(), static_cast<long>(LongText().size()));
    // Said once the user is back at Quillrun, as for another program's window.
    ExpectNoMessage(session);
    ::SetForegroundWindow(session.window);
    const std::wstring message = TakeTheOnlyMessage(session);
    EXPECT_NE(message.find(L"another window came to the front"), std::wstring::npos)
        << Narrow(message);
    EXPECT_NE(message.find(L" of the file; "), std::wstring::npos) << Narrow(message);
    if (strayed == 1) {
        EXPECT_NE(message.find(L"The next one may have arrived"), std::wstring::npos)
            << Narrow(message);
    }
}

TEST(Playback, MovingTheFocusToAnotherWindowStopsTheTyping) {
    QuillrunSession session(L"--char-delay-ms 5");
    ASSERT_NE(session.window, nullptr);
    TargetProgram other({}, L"Another program");
    ASSERT_NE(other.Start(), nullptr);
    ASSERT_NO_FATAL_FAILURE(SwitchAwayWhileTyping(session, other));
    long stoppedAt = session.target.CharCount();
    // Typing stops within a keystroke or two; after that the count stays put.
    EXPECT_FALSE(CountMovedOn(session.target, stoppedAt, 2, 1500ms));
    EXPECT_EQ(other.CharCount(), 0) << "keystrokes reached the window the user switched to";
    const long typed = session.target.CharCount();
    EXPECT_LT(typed, static_cast<long>(LongText().size()));
    EXPECT_TRUE(session.process.Running()) << "Quillrun must stay open";

    // The message waits until the user comes back to Quillrun: it says why, and where typing
    // stopped: as many characters as the target got (each Enter one of them), and the line and
    // column that follow them.
    ExpectNoMessage(session);
    ::SetForegroundWindow(session.window);
    const std::wstring message = TakeTheOnlyMessage(session);
    EXPECT_NE(message.find(L"another window came to the front"), std::wstring::npos)
        << Narrow(message);
    // A keystroke the target read just as the other window took the keyboard may have been
    // dropped; Quillrun then counts it as not typed and says it may have arrived.
    const bool mayHaveArrived =
        message.find(L"The next one may have arrived") != std::wstring::npos;
    const std::string text = LongText();
    EXPECT_TRUE(
        message.find(StoppedAfter(text, typed)) != std::wstring::npos ||
        (mayHaveArrived && message.find(StoppedAfter(text, typed - 1)) != std::wstring::npos))
        << "the target got " << typed << " characters: " << Narrow(message);
}

TEST(Playback, ClosingQuillrunInsideALongLineStopsTheRunSavesAndEndsPromptly) {
    QuillrunSession session(L"--char-delay-ms 5");
    ASSERT_NE(session.window, nullptr);
    // One line: Quillrun's events after each line are no help here.
    const std::string line(2000, 'w');
    session.TypeFile(line);
    ASSERT_NE(session.target.WaitForWindow(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return session.target.CharCount() >= 20; }));

    // The window must answer promptly while it types, and its close button must work.
    EXPECT_TRUE(Answers(session.window)) << "Quillrun's window did not answer during the run";
    ::PostMessageW(session.window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(session.process.WaitForExit(5s)) << "Quillrun kept running after its close";
    EXPECT_EQ(session.process.ExitCode(), 0u);
    EXPECT_EQ(ReadBytes(session.install.settingsFile()),
              Narrow(session.target.commandLine()) + "\r\n");
    const long typed = session.target.CharCount();
    EXPECT_LT(typed, static_cast<long>(line.size()));
    EXPECT_FALSE(WaitUntil([&] { return session.target.CharCount() > typed; }, 1s));
}

TEST(Playback, ARealEditControlReceivesTheSameText) {
    QuillrunSession session(L"--edit");
    ASSERT_NE(session.window, nullptr);
    session.TypeFile("Edit {1}+(2)\r\n\tok");
    ExpectTyped(session.target, L"Edit {1}+(2)\r\n\tok\r\n");
}

// Wine's Notepad, the default target, started by Quillrun itself: an old file whose lines end
// in a line feed alone, with a backspace inside a line and a DOS end mark, arrives with its
// lines as lines and nothing deleted or undone, and the backspace passed over is said.
TEST(Playback, TheSystemEditorReceivesTheSameText) {
    QuillrunInstall install;  // no quillrun.ini: the default target
    TempFolder work;
    const std::wstring file = work / L"note.txt";
    ASSERT_TRUE(WriteBytes(file, "Hi {Notepad}+1\nab\bc\n\tok\x1A"));
    const auto before = VisibleTopLevelWindows([](HWND w) { return ClassName(w) == L"Notepad"; });
    auto [process, window] = install.Launch();
    ASSERT_NE(window, nullptr);
    SetPathBox(window, file);
    ClickStart(window);

    HWND notepad = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        for (HWND w : VisibleTopLevelWindows([](HWND w) { return ClassName(w) == L"Notepad"; })) {
            if (std::find(before.begin(), before.end(), w) == before.end()) {
                notepad = w;
            }
        }
        return notepad != nullptr;
    })) << "Notepad did not start";
    HWND edit = ::FindWindowExW(notepad, nullptr, L"Edit", nullptr);
    ASSERT_NE(edit, nullptr);
    const std::wstring expected = L"Hi {Notepad}+1\r\nabc\r\n\tok\r\n";
    EXPECT_TRUE(WaitUntil([&] { return Text(edit) == expected; }, 30s)) << Narrow(Text(edit));
    ::SetForegroundWindow(window);
    HWND box = FindMessageBox(process.id(), window);
    ASSERT_NE(box, nullptr);
    const std::wstring message = AllChildText(box);
    EXPECT_NE(message.find(L"Control characters of the file not typed: 1 (the first, U+0008, at "
                           L"line 2, column 3)"),
              std::wstring::npos)
        << Utf8(message);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);

    // Notepad would ask whether to save; it is ended instead.
    DWORD notepadId = 0;
    ::GetWindowThreadProcessId(notepad, &notepadId);
    win32::UniqueHandle notepadProcess(::OpenProcess(PROCESS_TERMINATE, FALSE, notepadId));
    ::TerminateProcess(notepadProcess.get(), 0);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(process.WaitForExit());
}

}  // namespace
}  // namespace quillrun::testing
