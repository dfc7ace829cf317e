// quillrun.com run as a script runs it: its arguments, standard input from a pipe, its output
// and errors read from files, and the exit code the script goes on by.
#include <gtest/gtest.h>

#include <cwctype>

#include "tests/win32/e2e_expect.h"

namespace quillrun::testing {
namespace {

// What the working folder's quillrun.ini holds: a program to start, which --window must leave
// alone, and the file a run must never change.
constexpr char kSettings[] = "C:\\windows\\system32\\notepad.exe\r\n";

// quillrun.com copied into an application folder of its own and run in a working folder of its
// own, which holds the quillrun.ini it reads: the two places where it could leave a file.
struct Script {
    Script() {
        CopyInto(BuildBinFolder() + L"\\quillrun.com", app / L"quillrun.com");
        WriteBytes(work / L"quillrun.ini", kSettings);
    }
    [[nodiscard]] ConsoleRun Run(const std::wstring& arguments,
                                 const std::string& input = {}) const {
        return ConsoleRun(L"\"" + (app / L"quillrun.com") + L"\" " + arguments, work.path(), input);
    }

    TempFolder app;
    TempFolder work;
};

// --window with the part of the target's title that no other window's has, in capitals: the
// match ignores case.
std::wstring WindowOption(const TargetProgram& target) {
    std::wstring part = target.title().substr(target.title().find(L"Target"));
    for (wchar_t& c : part) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    return L"--window \"" + part + L"\"";
}

// The names in a folder, without "." and "..".
std::vector<std::wstring> NamesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &entry)) {
        if (std::wstring_view(entry.cFileName) != L"." &&
            std::wstring_view(entry.cFileName) != L"..") {
            names.emplace_back(entry.cFileName);
        }
    }
    if (search != INVALID_HANDLE_VALUE) {
        ::FindClose(search);
    }
    return names;
}

// Waits for the run's end; its exit code, or -1 if it did not end in time.
long ExitOf(ConsoleRun& run, Clock::duration timeout = kUiTimeout) {
    return run.WaitForExit(timeout) ? static_cast<long>(run.process().ExitCode()) : -1;
}

// Every line, each line end one Enter, into the window named by a part of its title; the file
// named relative to the working folder. A run that typed everything says nothing.
TEST(CommandLine, AFileIsTypedIntoTheWindowNamedByPartOfItsTitle) {
    TargetProgram target;
    ASSERT_NE(target.Start(), nullptr);
    const Script script;
    ASSERT_TRUE(WriteBytes(script.work / L"text.txt", "first {line} (50%)\r\nsecond\tline\n"));
    ConsoleRun run = script.Run(L"text.txt " + WindowOption(target));
    EXPECT_EQ(ExitOf(run), 0) << run.Errors();
    ExpectTyped(target, L"first {line} (50%)\r\nsecond\tline\r\n");
    EXPECT_EQ(run.Output(), "");
    EXPECT_EQ(run.Errors(), "");
}

// A password handed over through a pipe, as a script does: typed as written (no key sequences
// unless asked), and written nowhere. The application and working folders hold what they held,
// quillrun.ini unchanged, so no file there holds the secret.
TEST(CommandLine, StandardInputIsTypedAndLeavesNoFileBehind) {
    TargetProgram target;
    ASSERT_NE(target.Start(), nullptr);
    const Script script;
    ConsoleRun run = script.Run(L"- " + WindowOption(target), "Pa55 w0rd!{x}\r\n");
    EXPECT_EQ(ExitOf(run), 0) << run.Errors();
    ExpectTyped(target, L"Pa55 w0rd!{x}\r\n");
    EXPECT_EQ(run.Output(), "");
    EXPECT_EQ(run.Errors(), "");
    EXPECT_EQ(NamesIn(script.work.path()), std::vector<std::wstring>{L"quillrun.ini"});
    EXPECT_EQ(ReadBytes(script.work / L"quillrun.ini"), kSettings);
    EXPECT_EQ(NamesIn(script.app.path()), std::vector<std::wstring>{L"quillrun.com"});
}

// The clipboard's text exactly as it stands: its line break as Enter, and no Enter after its
// end, where a file's last line gets one.
TEST(CommandLine, TheClipboardIsTypedExactlyAsItStands) {
    TargetProgram target;
    ASSERT_NE(target.Start(), nullptr);
    const std::wstring copied = L"copied {text}\r\nno Enter after it";
    ASSERT_TRUE(SetClipboardText(copied));
    const Script script;
    ConsoleRun run = script.Run(L"--clipboard " + WindowOption(target));
    EXPECT_EQ(ExitOf(run), 0) << run.Errors();
    ExpectTyped(target, copied);
    EXPECT_FALSE(WaitUntil([&] { return target.CharCount() > CharacterMessages(copied); }, 1s))
        << "more than the clipboard's text arrived: " << Utf8(target.Text());
    EXPECT_EQ(run.Errors(), "");
}

// No window to type into: nothing is typed, not even into the window in front, and the message
// names the title looked for.
TEST(CommandLine, AWindowThatIsNotOpenTypesNothing) {
    TargetProgram target;
    ASSERT_NE(target.Start(), nullptr);
    ASSERT_TRUE(BringToFront(target.window()));
    const Script script;
    ASSERT_TRUE(WriteBytes(script.work / L"text.txt", "never typed"));
    ConsoleRun run = script.Run(L"text.txt --window \"no such window 1234\"");
    EXPECT_EQ(ExitOf(run), 4) << run.Errors();
    EXPECT_FALSE(WaitUntil([&] { return target.CharCount() != 0; }, 1s))
        << "typed into the window in front: " << Utf8(target.Text());
    EXPECT_NE(run.Errors().find("no open window's title contains \"no such window 1234\""),
              std::string::npos)
        << run.Errors();
    EXPECT_EQ(run.Output(), "");
}

// Another window coming to the front stops the run at once, with exit code 7 and where it
// stopped: as many characters as the target got (each Enter one of them), and the line and
// column that follow them.
TEST(CommandLine, AnotherWindowInFrontStopsTheRunAndSaysWhere) {
    TargetProgram target;
    ASSERT_NE(target.Start(), nullptr);
    TargetProgram other({}, L"Another program");
    ASSERT_NE(other.Start(), nullptr);
    const Script script;
    const std::string text = LongText();
    ASSERT_TRUE(WriteBytes(script.work / L"long.txt", text));
    // 25 ms a key: the whole file would take over 40 s.
    ConsoleRun run = script.Run(L"long.txt --pace 25 " + WindowOption(target));
    ASSERT_TRUE(WaitUntil([&] { return target.CharCount() >= 20; })) << run.Errors();
    ASSERT_TRUE(BringToFront(other.window()));
    EXPECT_EQ(ExitOf(run), 7) << run.Errors();
    // The keystroke on its way as the other window came may still arrive; no more.
    long typed = target.CharCount();
    EXPECT_FALSE(CountMovedOn(target, typed, 1, 1s));
    typed = target.CharCount();
    EXPECT_LT(typed, static_cast<long>(text.size()));
    EXPECT_EQ(other.CharCount(), 0) << "keystrokes reached the window that came to the front";

    const std::string errors = run.Errors();
    EXPECT_NE(errors.find("another window came to the front"), std::string::npos) << errors;
    // A keystroke the target read just as the other window took the keyboard may have been
    // dropped; Quillrun then counts it as not typed and says it may have arrived.
    const bool mayHaveArrived = errors.find("The next one may have arrived") != std::string::npos;
    EXPECT_TRUE(
        errors.find(Narrow(StoppedAfter(text, typed))) != std::string::npos ||
        (mayHaveArrived && errors.find(Narrow(StoppedAfter(text, typed - 1))) != std::string::npos))
        << "the target got " << typed << " characters: " << errors;
    EXPECT_EQ(run.Output(), "");
}

// What a script reads: the usage and the version on standard output, a refusal on standard
// error with its reason, each with its exit code and nothing on the other stream.
TEST(CommandLine, HelpAndVersionGoToStandardOutputARefusalToStandardError) {
    const struct {
        const wchar_t* arguments;
        long exitCode;
        std::string output;  // a part of it; empty: nothing
        std::string errors;
    } cases[] = {
        {L"--help", 0, "Exit codes", ""},
        {L"--version", 0, "Quillrun " + Narrow(QUILLRUN_EXPECTED_VERSION), ""},
        {L"--pace x", 2, "",
         "--pace takes a whole number of milliseconds from 0 to 1000, not \"x\"."},
    };
    const Script script;
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.arguments));
        ConsoleRun run = script.Run(c.arguments);
        EXPECT_EQ(ExitOf(run), c.exitCode);
        for (const auto& [got, wanted] :
             {std::pair{run.Output(), c.output}, std::pair{run.Errors(), c.errors}}) {
            EXPECT_TRUE(wanted.empty() ? got.empty() : got.find(wanted) != std::string::npos)
                << "wanted \"" << wanted << "\", got \"" << got << "\"";
        }
    }
}

}  // namespace
}  // namespace quillrun::testing
