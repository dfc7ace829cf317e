#include "app/main_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/form_layout.h"
#include "tests/fake/fake_desktop.h"
#include "playback/launch.h"
#include "playback/playback_report.h"
#include "tests/fake/fake_view.h"
#include "keys/key_string.h"
#include "text/wipe.h"

namespace quillrun {
namespace {

class MainFormTest : public ::testing::Test {
  protected:
    FakeDesktop desktop;
    FakeView view;
    MainForm form{desktop, view};
};

TEST_F(MainFormTest, StartsWithNothingLaunchedAndTimerOff) {
    EXPECT_EQ(form.TaskID(), TaskId{});
    EXPECT_FALSE(desktop.TimerEnabled());
}

TEST_F(MainFormTest, LoadPutsApplicationFolderIntoPathBox) {
    for (const std::u16string folder : {u"C:\\Tools\\Quillrun", u"C:\\", u"\\\\server\\share"}) {
        desktop.appFolder = folder;
        view.path = u"left over";
        form.OnLoad();
        EXPECT_EQ(view.path, folder);
    }
    EXPECT_FALSE(desktop.TimerEnabled()) << "loading must not arm the timer";
}

TEST_F(MainFormTest, LoadTakesTargetFromSettingsAndUnloadWritesItBack) {
    desktop.workingFolder = desktop.appFolder;
    desktop.PutFile(u"quillrun.ini", "C:\\Apps\\target.exe /x\r\nignored\r\n");
    form.OnLoad();
    EXPECT_EQ(form.TargetPath(), u"C:\\Apps\\target.exe /x");
    // The folder comes first, then the settings.
    EXPECT_EQ(desktop.calls().front().operation, "AppFolder");
    form.OnUnload();
    EXPECT_EQ(desktop.FileBytes(u"quillrun.ini"), "C:\\Apps\\target.exe /x\r\nignored\r\n");
}

// The menu as a user reads it: "(o)" or "( )" before a radio item, "[x]" or "[ ]" before a
// check item, "*" before the default, "-" for a separator, a submenu's items indented.
std::vector<std::u16string> Describe(const std::vector<MenuItem>& items,
                                     const std::u16string& indent = {}) {
    std::vector<std::u16string> lines;
    for (const MenuItem& item : items) {
        switch (item.kind) {
            case MenuItem::Kind::Separator:
                lines.push_back(indent + u"-");
                break;
            case MenuItem::Kind::Radio:
                lines.push_back(indent + (item.checked ? u"(o) " : u"( ) ") + item.text);
                break;
            case MenuItem::Kind::Check:
                lines.push_back(indent + (item.checked ? u"[x] " : u"[ ] ") + item.text);
                break;
            case MenuItem::Kind::Command:
                lines.push_back(indent + (item.isDefault ? u"* " : u"") +
                                (item.enabled ? u"" : u"(grayed) ") + item.text);
                break;
            case MenuItem::Kind::Submenu:
                lines.push_back(indent + item.text + u" >");
                for (const std::u16string& line : Describe(item.items, indent + u"    ")) {
                    lines.push_back(line);
                }
                break;
        }
    }
    return lines;
}

int IdOf(const std::vector<MenuItem>& items, std::u16string_view text) {
    for (const MenuItem& item : items) {
        if (item.text == text) {
            return item.id;
        }
        if (const int inner = IdOf(item.items, text); inner != 0) {
            return inner;
        }
    }
    return 0;
}

// However many layouts are installed, every item has an identifier of its own: a tenth layout
// once opened the hot key's dialog instead of being chosen.
TEST(StartMenu, EveryItemHasItsOwnIdentifierWithManyLayouts) {
    std::vector<LayoutChoice> layouts;
    for (unsigned i = 0; i < 40; ++i) {
        const std::u16string number = DecimalText(4000 + i);
        layouts.push_back({.id = std::u16string(4, u'0').append(number), .name = number});
    }
    std::vector<int> ids;
    const auto collect = [&](const auto& self, const std::vector<MenuItem>& items) -> void {
        for (const MenuItem& item : items) {
            if (item.id != 0) {
                ids.push_back(item.id);
            }
            self(self, item.items);
        }
    };
    collect(collect, BuildStartMenu({}, layouts, Language::English, std::nullopt, {}));
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
    const auto last = StartMenuChoiceOf(ids.back(), {}, layouts);
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->typing.layout, layouts.back().id);
}

// A hot key line of quillrun.ini that would take a key from every program is not used, and the
// menu says why; the dialog opens on it, and a key chosen there, the default too, is written
// after it.
TEST_F(MainFormTest, AHotKeyFromTheFileThatTakesAKeyIsNotUsedUntilAnotherIsChosen) {
    desktop.workingFolder = desktop.appFolder;
    desktop.PutFile(u"quillrun.ini", "C:\\a.exe\r\nhotkey=V\r\n");
    form.OnLoad();
    EXPECT_EQ(desktop.registeredHotKey, kDefaultHotKey);
    EXPECT_EQ(form.StartMenu().back().text,
              u"Hot key: Ctrl+Shift+Alt+V (quillrun.ini's V is not used: it needs Ctrl, Alt or "
              u"Win)...");
    desktop.QueueHotKeyAnswer(kDefaultHotKey);
    form.OnMenuChoice(kHotKeyItemId);
    ASSERT_EQ(desktop.hotKeyDialogs().size(), 1u);
    EXPECT_EQ(desktop.hotKeyDialogs()[0].current, (HotKey{0, 'V'}));
    EXPECT_EQ(form.StartMenu().back().text, u"Hot key: Ctrl+Shift+Alt+V...");
    EXPECT_EQ(desktop.FileBytes(u"quillrun.ini"),
              "C:\\a.exe\r\nhotkey=V\r\nhotkey=Ctrl+Shift+Alt+V\r\n");
}

TEST_F(MainFormTest, TheMenuShowsTheChoicesInForceAndAChoiceLastsIntoTheSettingsFile) {
    desktop.workingFolder = desktop.appFolder;
    desktop.keyboardLayouts = {{u"00000409", u"US"}, {u"00000407", u"German"}};
    // A pace and a wait after each line set by hand, and a layout no longer installed.
    desktop.PutFile(u"quillrun.ini", "C:\\a.exe\r\npace=35\r\nlayout=0000040C\r\nlinewait=750\r\n");
    form.OnLoad();
    const std::vector<std::u16string> fromFile = {
        u"* Start",
        u"Type into the window I click next",
        u"Type the clipboard into the window I click next",
        u"Type a secret into the window I click next...",
        u"(grayed) Type the rest into the window I click next",
        u"-",
        u"( ) Pace: as fast as the program takes the keys",
        u"( ) Pace: 20 ms a key (remote desktops)",
        u"( ) Pace: 50 ms a key (virtual machines)",
        u"( ) Pace: 100 ms a key (web and KVM consoles)",
        u"(o) Pace: 35 ms a key",
        u"[ ] Keys only (for consoles that ignore Unicode input)",
        u"[ ] Key sequences: read {TAB}, {ENTER}, {WAIT 500} as keys",
        u"Keyboard layout of the other computer >",
        u"    ( ) Same as this computer",
        u"    ( ) US",
        u"    ( ) German",
        u"    (o) 0000040C (not installed)",
        u"Wait after each line >",
        u"    ( ) None",
        u"    ( ) 0.5 s",
        u"    ( ) 1 s",
        u"    ( ) 2 s",
        u"    (o) 750 ms",
        u"-",
        u"Hot key: Ctrl+Shift+Alt+V...",
    };
    EXPECT_EQ(Describe(form.StartMenu()), fromFile);

    // What the user chooses stays in force, and the menu, made anew, shows it.
    for (const std::u16string_view item :
         {std::u16string_view(u"Pace: 50 ms a key (virtual machines)"), kKeysOnlyText.english,
          kKeySequencesText.english, std::u16string_view(u"German"), std::u16string_view(u"1 s")}) {
        form.OnMenuChoice(IdOf(form.StartMenu(), item));
    }
    EXPECT_EQ(form.Typing(), (TypingOptions{Milliseconds{50}, KeyMode::KeysOnly, u"00000407",
                                            Milliseconds{1000}, true}));
    const std::vector<std::u16string> chosen = Describe(form.StartMenu());
    // Without the hand-set pace and wait, and the layout that is gone.
    ASSERT_EQ(chosen.size(), fromFile.size() - 3);
    EXPECT_EQ(chosen[8], u"(o) Pace: 50 ms a key (virtual machines)");
    EXPECT_EQ(chosen[10], u"[x] Keys only (for consoles that ignore Unicode input)");
    EXPECT_EQ(chosen[11], u"[x] Key sequences: read {TAB}, {ENTER}, {WAIT 500} as keys");
    EXPECT_EQ(chosen[15], u"    (o) German");
    EXPECT_EQ(chosen[19], u"    (o) 1 s");
    // A dismissed menu changes nothing.
    form.OnMenuChoice(0);
    EXPECT_EQ(form.Typing().pace, Milliseconds{50});

    // A run types as chosen.
    desktop.PutFile(u"C:\\Work\\t.txt", "ab");
    view.path = u"C:\\Work\\t.txt";
    desktop.onTick = [&] { form.OnTimerTick(); };
    form.OnStartClick();
    desktop.Advance(kTimerInterval);
    ASSERT_EQ(desktop.CallsOf("BeginTyping").size(), 1u);
    EXPECT_EQ(desktop.CallsOf("BeginTyping").back().argument, u"pace=50;keys=only;layout=00000407");

    // Written as they were made, each on the line that set it: a sign-out closes no window.
    EXPECT_EQ(desktop.FileBytes(u"quillrun.ini"),
              "C:\\a.exe\r\npace=50\r\nlayout=00000407\r\nlinewait=1000\r\nkeysonly=1\r\n"
              "keysequences=1\r\n");

    // Back to the defaults, which the lines then say.
    for (const std::u16string_view item :
         {std::u16string_view(u"Pace: as fast as the program takes the keys"),
          kKeysOnlyText.english, kKeySequencesText.english, kSameLayoutText.english,
          std::u16string_view(u"None")}) {
        form.OnMenuChoice(IdOf(form.StartMenu(), item));
    }
    EXPECT_EQ(form.Typing(), TypingOptions{});
    form.OnUnload();
    EXPECT_EQ(desktop.FileBytes(u"quillrun.ini"),
              "C:\\a.exe\r\npace=0\r\nlayout=\r\nlinewait=0\r\nkeysonly=0\r\nkeysequences=0\r\n");
}

// What the text of a menu item names in a message: the item up to its explanation in brackets
// or after a colon.
std::u16string QuotedName(const std::u16string& item, Language language) {
    const std::u16string name = item.substr(0, std::min(item.find(u" ("), item.find(u':')));
    return language == Language::Japanese ? u"\u300C" + name + u"\u300D" : u"\"" + name + u"\"";
}

// Every text Quillrun adds is in the display language read as it starts; the window's own
// caption and Start stay as they are.
TEST(MainFormLanguage, TheDisplayLanguageReadAtStartChoosesEveryTextQuillrunAdds) {
    const std::vector<std::u16string> japaneseMenu = {
        u"* Start",
        u"次にクリックするウィンドウに入力",
        u"クリップボードのテキストを次にクリックするウィンドウに入力",
        u"シークレットを次にクリックするウィンドウに入力...",
        u"(grayed) 残りを次にクリックするウィンドウに入力",
        u"-",
        u"( ) 速度: プログラムが受け付けられる最速",
        u"( ) 速度: キーごとに 20 ミリ秒 (リモート デスクトップ)",
        u"( ) 速度: キーごとに 50 ミリ秒 (仮想マシン)",
        u"( ) 速度: キーごとに 100 ミリ秒 (Web コンソール、KVM コンソール)",
        u"(o) 速度: キーごとに 35 ミリ秒",
        u"[ ] キーのみ (Unicode 入力を受け付けないコンソール用)",
        u"[ ] キー シーケンス: {TAB}、{ENTER}、{WAIT 500} をキーとして読む",
        u"相手のコンピューターのキーボード レイアウト >",
        u"    ( ) このコンピューターと同じ",
        u"    ( ) ドイツ語",
        u"    (o) 0000040C (インストールされていません)",
        u"各行の後の待ち時間 >",
        u"    (o) なし",
        u"    ( ) 0.5 秒",
        u"    ( ) 1 秒",
        u"    ( ) 2 秒",
        u"-",
        u"ホット キー: Ctrl+Shift+Alt+V...",
    };
    for (const Language language : {Language::English, Language::Japanese}) {
        const bool japanese = language == Language::Japanese;
        FakeDesktop desktop;
        FakeView view;
        desktop.displayLanguage = language;
        desktop.keyboardLayouts = {{u"00000407", japanese ? u"ドイツ語" : u"German"}};
        desktop.workingFolder = desktop.appFolder;
        desktop.PutFile(u"quillrun.ini", "C:\\a.exe\r\npace=35\r\nlayout=0000040C\r\n");
        MainForm form{desktop, view};
        // Read once: a change of the display language takes effect at the next start.
        desktop.displayLanguage = japanese ? Language::English : Language::Japanese;
        form.OnLoad();
        const std::vector<MenuItem> menu = form.StartMenu();
        if (japanese) {
            EXPECT_EQ(Describe(menu), japaneseMenu);
        }

        // The messages that name the menu's items name them as the menu shows them: the layout
        // chosen is not installed, and a character has no keys.
        desktop.PutFile(u"C:\\Work\\t.txt", "x");
        view.path = u"C:\\Work\\t.txt";
        desktop.onTick = [&] { form.OnTimerTick(); };
        form.OnStartClick();
        desktop.Advance(kTimerInterval);
        desktop.foregroundProcess = desktop.ownProcess;
        form.OnActivated();
        EXPECT_EQ(form.LastPlayback(), PlaybackEnd::LayoutMissing);
        ASSERT_EQ(view.failures.size(), 1u);
        EXPECT_NE(view.failures[0].find(QuotedName(menu[13].text, language)), std::u16string::npos);
        for (const auto& [end, item] : {std::pair{PlaybackEnd::NotTypableAsKeys, std::size_t{11}},
                                        std::pair{PlaybackEnd::BadSequence, std::size_t{12}}}) {
            PlaybackResult notTypable;
            notTypable.end = end;
            const auto noKeys = PlaybackEndMessage(notTypable, language);
            EXPECT_NE(noKeys.value_or(u"").find(QuotedName(menu[item].text, language)),
                      std::u16string::npos);
        }

        // The caption while waiting for the click, and the message when none comes.
        form.OnMenuCommand(StartMenuCommand::TypeFileIntoClickedWindow);
        EXPECT_EQ(view.caption, kPickCaption.In(language));
        desktop.Advance(kPickWait);
        EXPECT_EQ(view.caption, u"Quillrun");
        ASSERT_EQ(view.failures.size(), 2u);
        EXPECT_EQ(view.failures[1],
                  japanese ? u"1 分以内にウィンドウがクリックされなかったため、何も入力しません"
                             u"でした。"
                           : u"No window was clicked within a minute: nothing was typed.");

        // A failed launch.
        desktop.FailNext("LaunchProgram", Failure{"LaunchProgram", u"(the system's words)", 2});
        form.OnStartClick();
        ASSERT_EQ(view.failures.size(), 3u);
        EXPECT_TRUE(view.failures[2].starts_with(
            japanese ? u"Quillrun は入力先のプログラムを起動できませんでした。"
                     : u"Quillrun could not start the program to type into:"));
        EXPECT_NE(view.failures[2].find(u"(the system's words)"), std::u16string::npos);
    }
}

TEST_F(MainFormTest, UnloadThatCannotWriteIsSilent) {
    form.OnLoad();
    desktop.FailNext("ReplaceFileContents",
                     Failure{"ReplaceFileContents", u"Access is denied.", 5});
    form.OnUnload();
    EXPECT_TRUE(view.failures.empty());
}

TEST_F(MainFormTest, StartLaunchesTargetKeepsItsTaskAndTicksAfterTheDelay) {
    form.OnLoad();
    std::vector<Milliseconds> ticks;
    desktop.onTick = [&] { ticks.push_back(desktop.Now()); };
    form.OnStartClick();
    ASSERT_EQ(desktop.CallsOf("LaunchProgram").size(), 1u);
    EXPECT_EQ(desktop.CallsOf("LaunchProgram")[0].argument, u"C:\\WINDOWS\\Notepad.exe");
    EXPECT_EQ(form.TaskID(), desktop.launched().back());
    EXPECT_TRUE(desktop.TimerEnabled());
    desktop.Advance(Milliseconds{1499});
    EXPECT_TRUE(ticks.empty());
    desktop.Advance(Milliseconds{1});
    EXPECT_EQ(ticks, std::vector<Milliseconds>{Milliseconds{1500}});
}

TEST_F(MainFormTest, SecondClickLaunchesAgainAndRestartsTheDelay) {
    form.OnLoad();
    int ticks = 0;
    desktop.onTick = [&] { ++ticks; };
    form.OnStartClick();
    desktop.Advance(Milliseconds{1000});
    form.OnStartClick();
    EXPECT_EQ(desktop.launched().size(), 2u);
    EXPECT_EQ(form.TaskID(), desktop.launched().back());
    desktop.Advance(Milliseconds{1499});
    EXPECT_EQ(ticks, 0);
    desktop.Advance(Milliseconds{1});
    EXPECT_EQ(ticks, 1);
}

TEST_F(MainFormTest, FailedLaunchIsReportedArmsNothingAndKeepsTask) {
    form.OnLoad();
    desktop.FailNext("LaunchProgram",
                     Failure{"LaunchProgram", u"The system cannot find the file specified.", 2});
    form.OnStartClick();
    EXPECT_FALSE(desktop.TimerEnabled());
    EXPECT_EQ(form.TaskID(), TaskId{});
    ASSERT_EQ(view.failures.size(), 1u);
    EXPECT_NE(view.failures[0].find(u"C:\\WINDOWS\\Notepad.exe"), std::u16string::npos);
    EXPECT_NE(view.failures[0].find(u"cannot find the file"), std::u16string::npos);

    // A timer armed by an earlier successful click stays armed through a failing one.
    form.OnStartClick();
    const TaskId launched = form.TaskID();
    desktop.FailNext("LaunchProgram", Failure{"LaunchProgram", u"Access is denied.", 5});
    form.OnStartClick();
    EXPECT_TRUE(desktop.TimerEnabled());
    EXPECT_EQ(form.TaskID(), launched);
}

class MainFormPlayback : public MainFormTest {
  protected:
    void SetUp() override {
        form.OnLoad();
        desktop.onTick = [this] { form.OnTimerTick(); };
        desktop.PutFile(u"C:\\Work\\a.txt", "ab\r\ncd");
        desktop.PutFile(u"C:\\Work\\b.txt", "xy");
    }

    std::u16string Typed() const {
        std::u16string typed;
        for (const auto& call : desktop.CallsOf("SendKeyString")) {
            typed += call.argument;
        }
        return typed;
    }
};

TEST_F(MainFormPlayback, TickDisablesTheTimerFirstAndTypesTheFileNamedAtTickTime) {
    view.path = u"C:\\Work\\a.txt";
    form.OnStartClick();
    view.path = u"C:\\Work\\b.txt";  // changed between Start and the tick
    desktop.Advance(kTimerInterval);
    const auto& calls = desktop.calls();
    const auto tick = std::find_if(calls.begin(), calls.end(),
                                   [](const auto& call) { return call.operation == "Tick"; });
    ASSERT_NE(tick, calls.end());
    EXPECT_EQ((tick + 1)->operation, "DisableTimer");
    EXPECT_EQ((tick + 2)->operation, "OpenForReading");
    EXPECT_EQ((tick + 2)->argument, u"C:\\Work\\b.txt");
    EXPECT_EQ(Typed(), u"xy\r\n");
    EXPECT_EQ(desktop.foregroundProcess, FakeDesktop::ProcessOf(form.TaskID()));
    EXPECT_EQ(form.LastPlayback(), PlaybackEnd::Finished);
    EXPECT_FALSE(desktop.TimerEnabled());
    desktop.Advance(kTimerInterval * 3);
    EXPECT_EQ(desktop.CallsOf("Tick").size(), 1u) << "one Start, one run";
}

TEST_F(MainFormPlayback, ThePathBoxStillHoldingTheFolderTypesNothing) {
    form.OnStartClick();
    desktop.Advance(kTimerInterval);
    EXPECT_EQ(view.path, desktop.appFolder);
    EXPECT_EQ(form.LastPlayback(), PlaybackEnd::NotOpened);
    EXPECT_TRUE(desktop.CallsOf("SendKeyString").empty());
    EXPECT_FALSE(desktop.TimerEnabled());
}

TEST_F(MainFormPlayback, TwoQuickStartsGiveOneRunIntoTheSecondInstance) {
    view.path = u"C:\\Work\\b.txt";
    form.OnStartClick();
    desktop.Advance(Milliseconds{200});
    form.OnStartClick();
    desktop.Advance(kTimerInterval);
    ASSERT_EQ(desktop.CallsOf("ActivateTask").size(), 1u);
    EXPECT_EQ(desktop.CallsOf("ActivateTask")[0].argument, u"#2");
    EXPECT_EQ(Typed(), u"xy\r\n");
    // No program's handle is kept: the first's at the second Start, the second's once its run
    // is over, a third's when a pick replaces its countdown.
    form.OnStartClick();
    form.OnMenuCommand(StartMenuCommand::TypeFileIntoClickedWindow);
    EXPECT_EQ(desktop.CallsOf("ReleaseTask"),
              (std::vector<FakeDesktop::Call>{
                  {"ReleaseTask", u"#1"}, {"ReleaseTask", u"#2"}, {"ReleaseTask", u"#3"}}));
}

// A click on Start, the browse button, the arrow of Start's menu or one of its commands while a
// run types (in any of its waits, where Quillrun's window is served) stops the run before its
// next key, and does nothing else: no program is launched, no dialog or menu opens, and no run
// starts inside the one that is still typing, then or at a later tick. Then it says so, and the
// rest of the run is offered. Once the run has ended, the same click works as usual.
TEST_F(MainFormPlayback, AClickOnQuillrunDuringARunOnlyStopsItAndStartsNothingInsideIt) {
    enum class Click { Start, StartLetGoAfterTheRun, Browse, MenuArrow, MenuStart, MenuPick };
    const struct {
        const char* name;
        Click click;
        bool handOff;          // made during the wait for a handed-over window, before typing
        bool activates;        // the click brought Quillrun's window to the front
        std::u16string typed;  // what the run typed
    } cases[] = {
        {"StartDuringTheTyping", Click::Start, false, true, u"ab\r\n"},
        {"StartPostedWithoutActivating", Click::Start, false, false, u"ab\r\n"},
        {"StartDuringTheWaitForAHandedOverWindow", Click::Start, true, true, u""},
        // Pressed during the run, whose stop ends it before the button is let go.
        {"StartLetGoAfterTheRunEnded", Click::StartLetGoAfterTheRun, false, true, u"ab\r\n"},
        {"TheBrowseButton", Click::Browse, false, true, u"ab\r\n"},
        {"TheArrowOfStartsMenu", Click::MenuArrow, false, true, u"ab\r\n"},
        {"StartFromTheMenu", Click::MenuStart, false, true, u"ab\r\n"},
        {"ANewPickFromTheMenu", Click::MenuPick, false, true, u"ab\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string restBefore = Describe(form.StartMenu())[4];
        const std::size_t typedBefore = Typed().size();
        const std::size_t launchedBefore = desktop.launched().size();
        view.failures.clear();
        view.path = u"C:\\Work\\a.txt";
        desktop.QueueDialogAnswer(std::u16string(u"C:\\Work\\b.txt"));
        if (c.handOff) {
            desktop.foregroundProcess = desktop.ownProcess;
            desktop.FailNext("ActivateTask", Failure{"ActivateTask", u"Ended.", kTaskEndedCode});
        }
        form.OnStartClick();
        bool clicked = false;
        bool menuOpened = true;
        desktop.onPump = [&] {
            if (clicked) {
                return;
            }
            clicked = true;
            if (c.activates) {
                desktop.foregroundProcess = desktop.ownProcess;
            }
            switch (c.click) {
                case Click::Start:
                    form.OnStartClick();
                    break;
                case Click::StartLetGoAfterTheRun:
                    form.OnControlPressed();
                    break;
                case Click::Browse:
                    form.OnChooseClick();
                    break;
                case Click::MenuArrow:
                    menuOpened = form.OnStartMenuOpening();
                    break;
                case Click::MenuStart:
                    form.OnMenuCommand(StartMenuCommand::Start);
                    break;
                case Click::MenuPick:
                    form.OnMenuCommand(StartMenuCommand::TypeClipboardIntoClickedWindow);
                    break;
            }
            desktop.Advance(kTimerInterval * 2);  // a tick that a Start would have armed
        };
        desktop.Advance(kTimerInterval);
        desktop.onPump = nullptr;
        if (c.click == Click::StartLetGoAfterTheRun) {
            form.OnStartClick();  // the run is over: its tick has returned
        }
        desktop.Advance(kTimerInterval * 2);
        EXPECT_TRUE(clicked);
        EXPECT_EQ(Typed().substr(typedBefore), c.typed);
        EXPECT_EQ(form.LastPlayback(), PlaybackEnd::StoppedByClick);
        EXPECT_EQ(desktop.launched().size(), launchedBefore + 1) << "a program was launched";
        EXPECT_FALSE(desktop.TimerEnabled());
        EXPECT_FALSE(form.AwaitingClick());
        EXPECT_EQ(view.path, u"C:\\Work\\a.txt") << "the browse button's dialog opened";
        EXPECT_EQ(menuOpened, c.click != Click::MenuArrow);
        if (!c.activates) {
            desktop.foregroundProcess = desktop.ownProcess;
            form.OnActivated();  // the message waited for the user to come back
        }
        ASSERT_EQ(view.failures.size(), 1u);
        EXPECT_NE(view.failures[0].find(u"because its window was clicked"), std::u16string::npos);
        // Stopped before its first key, it leaves the rest offered before as it was.
        EXPECT_EQ(Describe(form.StartMenu())[4],
                  c.typed.empty() ? restBefore
                                  : u"Type the rest into the window I click next (line 2, column 1)");
    }
    // The run over, the same clicks do what they do.
    EXPECT_TRUE(form.OnStartMenuOpening());
    form.OnChooseClick();
    EXPECT_EQ(view.path, u"C:\\Work\\b.txt");
    const std::size_t launchedBefore = desktop.launched().size();
    form.OnStartClick();
    EXPECT_EQ(desktop.launched().size(), launchedBefore + 1);
    // A press during a run that brought no command (on the path box) does not swallow a Start
    // made later from the keyboard.
    desktop.onPump = [&] {
        desktop.onPump = nullptr;
        form.OnControlPressed();
    };
    desktop.Advance(kTimerInterval + kPressToCommandWithin);
    form.OnStartClick();
    EXPECT_EQ(desktop.launched().size(), launchedBefore + 2);
}

TEST_F(MainFormPlayback, ClosingTheWindowDuringARunSavesAndStops) {
    view.path = u"C:\\Work\\a.txt";
    form.OnStartClick();
    desktop.onPump = [&] { form.OnUnload(); };
    desktop.Advance(kTimerInterval);
    EXPECT_EQ(Typed(), u"ab\r\n");
    EXPECT_EQ(form.LastPlayback(), PlaybackEnd::Stopped);
    EXPECT_TRUE(view.failures.empty());
    EXPECT_TRUE(view.progress.empty() || view.progress.back().state == TaskbarProgress::Running)
        << "no taskbar calls on a closed window";
    EXPECT_EQ(desktop.FileBytes(u"C:\\Tools\\Quillrun\\quillrun.ini"),
              "C:\\WINDOWS\\Notepad.exe\r\n");
}

TEST_F(MainFormPlayback, AFinishedRunShowsItsProgressAndFlashesWhenQuillrunIsBehind) {
    view.path = u"C:\\Work\\a.txt";
    form.OnStartClick();
    desktop.Advance(kTimerInterval);
    EXPECT_EQ(form.LastPlayback(), PlaybackEnd::Finished);
    EXPECT_TRUE(view.failures.empty());
    EXPECT_EQ(view.flashes, 1) << "Quillrun was not in front when the run finished";
    ASSERT_GE(view.progress.size(), 2u);
    EXPECT_EQ(view.progress.front().state, TaskbarProgress::Running);
    EXPECT_EQ(*(view.progress.end() - 2),
              (FakeView::Progress{TaskbarProgress::Running, 1000, 1000}));
    EXPECT_EQ(view.progress.back().state, TaskbarProgress::Off);
}

TEST_F(MainFormPlayback, ARunThatFallsShortSaysSoOnceAtOnceOrWhenTheUserComesBack) {
    // No window came to the front: Quillrun is in front, and says so at once.
    view.path = u"C:\\Work\\a.txt";
    desktop.foregroundProcess = desktop.ownProcess;
    desktop.FailNext("ActivateTask", Failure{"ActivateTask", u"Ended.", kTaskEndedCode});
    form.OnStartClick();
    desktop.Advance(kTimerInterval);
    EXPECT_EQ(form.LastPlayback(), PlaybackEnd::NoTarget);
    ASSERT_EQ(view.failures.size(), 1u);
    EXPECT_NE(view.failures[0].find(u"typed nothing"), std::u16string::npos);
    EXPECT_EQ(view.progress.back().state, TaskbarProgress::Off);
    EXPECT_EQ(view.flashes, 0);

    // The user switched to another program mid-run: the message waits for them to come back,
    // the taskbar button flashes and shows where the run stopped.
    desktop.onKeys = [&](std::u16string_view keys) {
        if (keys == u"b") {
            desktop.foregroundProcess = 77;
        }
    };
    form.OnStartClick();
    desktop.Advance(kTimerInterval);
    EXPECT_EQ(form.LastPlayback(), PlaybackEnd::FocusMoved);
    EXPECT_EQ(view.failures.size(), 1u) << "shown over the window the user switched to";
    EXPECT_EQ(view.flashes, 1);
    EXPECT_EQ(view.progress.back().state, TaskbarProgress::Error);
    form.OnActivated();
    ASSERT_EQ(view.failures.size(), 2u);
    EXPECT_NE(view.failures[1].find(u"line 1, column 3 of the file; 2 characters were typed"),
              std::u16string::npos);
    EXPECT_EQ(view.progress.back().state, TaskbarProgress::Off);
    form.OnActivated();
    EXPECT_EQ(view.failures.size(), 2u) << "told twice";

    // A new Start makes a message still held back stale.
    form.OnStartClick();
    desktop.Advance(kTimerInterval);
    EXPECT_EQ(form.LastPlayback(), PlaybackEnd::FocusMoved);
    form.OnStartClick();
    form.OnActivated();
    EXPECT_EQ(view.failures.size(), 2u);
}

// Start's menu: typing into the window the user clicks next.
class MainFormPick : public MainFormPlayback {
  protected:
    static constexpr std::uint32_t kClicked = 77;
    static constexpr std::uint32_t kExplorer = 90;  // owns the desktop and the taskbar

    void SetUp() override {
        MainFormPlayback::SetUp();
        desktop.foregroundProcess = desktop.ownProcess;  // the menu was just used
        desktop.shellWindows = {kExplorer};
        view.path = u"C:\\Work\\a.txt";
    }

    void ExpectWaitEnded() {
        EXPECT_FALSE(form.AwaitingClick());
        EXPECT_EQ(view.caption, kWindowCaption);
    }
};

TEST_F(MainFormPick, TheWaitEndsOnceAnotherProgramsWindowIsInFrontAndTheClickIsOver) {
    const struct {
        const char* name;
        std::uint32_t front;
        bool held;  // a mouse button (or Alt) still down
        bool chosen;
    } cases[] = {
        {"QuillrunItself", 4, false, false},
        {"NoWindow", 0, false, false},
        {"TheDesktopOrTheTaskbar", kExplorer, false, false},
        {"TheButtonIsStillDown", kClicked, true, false},
        {"AnotherProgram", kClicked, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t typedBefore = Typed().size();
        desktop.foregroundProcess = desktop.ownProcess;
        form.OnMenuCommand(StartMenuCommand::TypeFileIntoClickedWindow);
        EXPECT_TRUE(form.AwaitingClick());
        EXPECT_EQ(view.caption, kPickCaption.english);
        desktop.foregroundProcess = c.front;
        desktop.choosingInputHeld = c.held;
        const Milliseconds chosenBy = desktop.Now() + Milliseconds{100};  // the first look
        desktop.Advance(Milliseconds{1000});
        EXPECT_EQ(form.AwaitingClick(), !c.chosen);
        if (c.chosen) {
            EXPECT_EQ(view.caption, kWindowCaption);
            // The same delay as after Start, counted from the choice.
            desktop.Advance(chosenBy + kTimerInterval - Milliseconds{1} - desktop.Now());
            EXPECT_EQ(Typed().size(), typedBefore);
            desktop.Advance(Milliseconds{1});
            EXPECT_EQ(Typed().substr(typedBefore), u"ab\r\ncd\r\n");
            EXPECT_EQ(desktop.foregroundProcess, kClicked);
            EXPECT_EQ(form.LastPlayback(), PlaybackEnd::Finished);
            EXPECT_FALSE(desktop.TimerEnabled());
        } else {
            EXPECT_EQ(view.caption, kPickCaption.english);
            form.OnEscape();
            ExpectWaitEnded();
            EXPECT_FALSE(desktop.TimerEnabled());
            desktop.Advance(kPickWait);
            EXPECT_EQ(Typed().size(), typedBefore);
        }
        desktop.choosingInputHeld = false;
    }
    // Nothing was launched or activated, TaskID kept its value, quillrun.ini was not touched,
    // and nothing was said.
    EXPECT_TRUE(desktop.launched().empty());
    EXPECT_EQ(form.TaskID(), TaskId{});
    EXPECT_TRUE(desktop.CallsOf("ActivateTask").empty());
    EXPECT_TRUE(desktop.CallsOf("ReplaceFileContents").empty());
    EXPECT_TRUE(view.failures.empty());
}

TEST_F(MainFormPick, NoWindowClickedWithinAMinuteEndsTheWaitAndSaysSo) {
    form.OnMenuCommand(StartMenuCommand::TypeClipboardIntoClickedWindow);
    desktop.Advance(kPickWait - Milliseconds{100});
    EXPECT_TRUE(form.AwaitingClick());
    desktop.Advance(Milliseconds{100});
    ExpectWaitEnded();
    EXPECT_FALSE(desktop.TimerEnabled());
    EXPECT_EQ(form.LastPlayback(), PlaybackEnd::NothingPicked);
    EXPECT_EQ(view.failures, std::vector<std::u16string>{
                                 u"No window was clicked within a minute: nothing was typed."});
    EXPECT_TRUE(desktop.CallsOf("ClipboardText").empty());
}

TEST_F(MainFormPick, ANewChoiceStartOrClosingEndTheWaitAndWhatComesNextGoesOnAsUsual) {
    // A newer choice replaces the wait: the clipboard's text, not the file, and the path box
    // is not read.
    desktop.clipboard = u"from the clipboard";
    const std::size_t opened = desktop.CallsOf("OpenForReading").size();
    form.OnMenuCommand(StartMenuCommand::TypeFileIntoClickedWindow);
    form.OnMenuCommand(StartMenuCommand::TypeClipboardIntoClickedWindow);
    desktop.foregroundProcess = kClicked;
    desktop.Advance(Milliseconds{100} + kTimerInterval);
    EXPECT_EQ(Typed(), u"from the clipboard");
    EXPECT_EQ(desktop.CallsOf("OpenForReading").size(), opened);

    // Start from the menu during the wait: the wait ends and Start goes on.
    desktop.foregroundProcess = desktop.ownProcess;
    form.OnMenuCommand(StartMenuCommand::TypeFileIntoClickedWindow);
    form.OnMenuCommand(StartMenuCommand::Start);
    ExpectWaitEnded();
    EXPECT_EQ(desktop.launched().size(), 1u);
    desktop.Advance(kTimerInterval);
    EXPECT_EQ(desktop.CallsOf("ActivateTask").size(), 1u);
    EXPECT_EQ(Typed(), u"from the clipboardab\r\ncd\r\n");

    // Closing Quillrun during the wait.
    form.OnMenuCommand(StartMenuCommand::TypeFileIntoClickedWindow);
    form.OnUnload();
    EXPECT_FALSE(form.AwaitingClick());
    EXPECT_FALSE(desktop.TimerEnabled());
    EXPECT_TRUE(view.failures.empty());
}

// Every text wiped while a test watches, as UTF-16.
std::vector<std::u16string> g_wiped;
void RecordWipe(const void* data, std::size_t bytes) {
    if (bytes % sizeof(char16_t) == 0) {
        g_wiped.emplace_back(static_cast<const char16_t*>(data), bytes / sizeof(char16_t));
    }
}

// A secret from the dialog: typed literally into the window clicked, never quoted in a message,
// no rest offered, and every copy wiped once the run ends, however it ends.
TEST_F(MainFormPick, ASecretIsTypedLiterallyNeverShownAndWipedHoweverItsRunEnds) {
    constexpr std::u16string_view kSecret = u"Ωж {€}+ß";
    const struct {
        const char* name;
        bool pressEnter;
        std::function<void(FakeDesktop&)> setUp;
        std::size_t typed;  // characters of the secret that arrive
        PlaybackEnd end;
        std::u16string messageHas;  // empty: none
    } cases[] = {
        {"Whole", false, nullptr, kSecret.size(), PlaybackEnd::Finished, {}},
        {"WithEnter", true, nullptr, kSecret.size(), PlaybackEnd::Finished, {}},
        {"AnotherWindowInFront",
         false,
         [](FakeDesktop& d) {
             d.onKeys = [&d](std::u16string_view keys) {
                 if (keys == u" ") {
                     d.foregroundProcess = 99;
                 }
             };
         },
         3, PlaybackEnd::FocusMoved, u"3 characters of the secret were typed"},
        {"KeysOnlyAndACharacterWithoutKeys", false,
         [](FakeDesktop& d) { d.keyCharacters = u"\u03a9\u0436 {}+\u00df"; }, 0,
         PlaybackEnd::NotTypableAsKeys, u"at position 5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop d;
        FakeView v;
        MainForm f{d, v};
        f.OnLoad();
        d.onTick = [&f] { f.OnTimerTick(); };
        d.foregroundProcess = d.ownProcess;
        std::vector<MenuItem> menu = f.StartMenu();
        f.OnMenuChoice(IdOf(menu, kKeySequencesText.english));  // they do not apply to a secret
        if (std::string_view(c.name) == "KeysOnlyAndACharacterWithoutKeys") {
            f.OnMenuChoice(IdOf(menu, kKeysOnlyText.english));
        }
        if (c.setUp) {
            c.setUp(d);
        }
        d.QueueSecretAnswer(SecretEntry{.text = std::u16string(kSecret), .pressEnter = c.pressEnter});
        g_wiped.clear();
        wipeWatcher = RecordWipe;
        f.OnMenuCommand(StartMenuCommand::TypeSecretIntoClickedWindow);
        ASSERT_TRUE(f.AwaitingClick());
        d.foregroundProcess = kClicked;
        d.Advance(Milliseconds{100} + kTimerInterval);
        wipeWatcher = nullptr;
        EXPECT_EQ(f.LastPlayback(), c.end);
        std::u16string expected;
        for (const char16_t ch : kSecret.substr(0, c.typed)) {
            expected += EscapeKeyChar(ch);
        }
        if (c.pressEnter) {
            expected += kLineEndKeys;
        }
        std::u16string typed;
        for (const auto& call : d.CallsOf("SendKeyString")) {
            typed += call.argument;
        }
        EXPECT_EQ(typed.substr(0, expected.size()), expected);
        d.foregroundProcess = d.ownProcess;  // a message held back shows
        f.OnActivated();
        if (c.messageHas.empty()) {
            EXPECT_TRUE(v.failures.empty());
        } else {
            ASSERT_EQ(v.failures.size(), 1u);
            EXPECT_NE(v.failures[0].find(c.messageHas), std::u16string::npos);
            for (const char16_t ch : std::u16string_view(u"\u03a9\u0436\u20ac\u00df")) {
                EXPECT_EQ(v.failures[0].find(ch), std::u16string::npos) << "a character shown";
            }
        }
        const std::vector<MenuItem> after = f.StartMenu();
        EXPECT_FALSE(std::find_if(after.begin(), after.end(), [](const MenuItem& item) {
                         return item.id == 204;
                     })->enabled) << "no rest offered";
        EXPECT_EQ(d.CallsOf("ForgetKeys").size(), 1u);
        // The form's copy and the run's (with its Enter) were wiped, not just let go.
        std::u16string withEnter(kSecret);
        withEnter += c.pressEnter ? u"\r" : u"";
        EXPECT_NE(std::find(g_wiped.begin(), g_wiped.end(), kSecret), g_wiped.end());
        EXPECT_NE(std::find(g_wiped.begin(), g_wiped.end(), withEnter), g_wiped.end());
    }
}

TEST_F(MainFormPick, TheSecretsDialogRefusesAnEmptyOrTooLongSecretAndAnEndedWaitWipesIt) {
    desktop.QueueSecretAnswer(SecretEntry{.text = u"", .pressEnter = false});
    desktop.QueueSecretAnswer(
        SecretEntry{.text = std::u16string(kMaxSecretLength + 1, u'x'), .pressEnter = false});
    form.OnMenuCommand(StartMenuCommand::TypeSecretIntoClickedWindow);
    form.OnMenuCommand(StartMenuCommand::TypeSecretIntoClickedWindow);
    EXPECT_EQ(desktop.CallsOf("SecretRefused").size(), 2u);
    EXPECT_FALSE(form.AwaitingClick());
    EXPECT_EQ(desktop.secretDialogs().back().refusal(kMaxSecretLength), u"");

    desktop.QueueSecretAnswer(SecretEntry{.text = u"kept until Esc", .pressEnter = false});
    form.OnMenuCommand(StartMenuCommand::TypeSecretIntoClickedWindow);
    EXPECT_TRUE(form.AwaitingClick());
    g_wiped.clear();
    wipeWatcher = RecordWipe;
    form.OnEscape();
    wipeWatcher = nullptr;
    EXPECT_EQ(g_wiped, std::vector<std::u16string>{u"kept until Esc"});
    desktop.foregroundProcess = kClicked;
    desktop.Advance(Milliseconds{100} + kTimerInterval);
    EXPECT_TRUE(desktop.CallsOf("SendKeyString").empty());
}

// The rest of a run that stopped part-way: offered in Start's menu from where it stopped (grayed
// until then), typed into the window clicked next, and no longer offered once its text is another.
TEST_F(MainFormPick, TheRestOfAStoppedRunIsOfferedFromWhereItStoppedWhileItsTextIsTheSame) {
    enum class Then {
        Nothing,
        ChangeTheClipboard,
        EditThePath,
        EditThePathInTheWait,
        StartARun,
        AbandonAPick,
        PressTheHotKeyOverTheDesktop,
        RunOneThatTypesNothing,
    };
    const struct {
        const char* name;
        StartMenuCommand run;
        bool stops;  // another window comes to the front after "b"
        Then then;   // what happens before the rest is chosen, or in its wait for the click
        std::optional<PlaybackEnd> restEnd;  // none: the rest is not typed at all
        std::u16string rest;                 // what it types
    } cases[] = {
        {"OfAFile", StartMenuCommand::TypeFileIntoClickedWindow, true, Then::Nothing,
         PlaybackEnd::Finished, u"\r\ncd\r\n"},
        {"OfAClipboardChanged", StartMenuCommand::TypeClipboardIntoClickedWindow, true,
         Then::ChangeTheClipboard, PlaybackEnd::TextChanged, u""},
        {"AfterThePathWasEdited", StartMenuCommand::TypeFileIntoClickedWindow, true,
         Then::EditThePath, std::nullopt, u""},
        {"WhileThePathIsEdited", StartMenuCommand::TypeFileIntoClickedWindow, true,
         Then::EditThePathInTheWait, std::nullopt, u""},
        {"AfterAnotherRun", StartMenuCommand::TypeClipboardIntoClickedWindow, true, Then::StartARun,
         std::nullopt, u""},
        {"OfARunThatFinished", StartMenuCommand::TypeFileIntoClickedWindow, false, Then::Nothing,
         std::nullopt, u""},
        // Runs that never began typing leave the offer standing.
        {"AfterAPickEndedWithEsc", StartMenuCommand::TypeFileIntoClickedWindow, true,
         Then::AbandonAPick, PlaybackEnd::Finished, u"\r\ncd\r\n"},
        {"AfterAHotKeyThatTypedNothing", StartMenuCommand::TypeFileIntoClickedWindow, true,
         Then::PressTheHotKeyOverTheDesktop, PlaybackEnd::Finished, u"\r\ncd\r\n"},
        {"AfterARunThatStoppedBeforeItsFirstKey", StartMenuCommand::TypeFileIntoClickedWindow,
         true, Then::RunOneThatTypesNothing, PlaybackEnd::Finished, u"\r\ncd\r\n"},
    };
    const std::u16string grayed = u"(grayed) Type the rest into the window I click next";
    const auto restItem = [&] { return Describe(form.StartMenu())[4]; };
    const auto typeInto = [&](StartMenuCommand command, bool stops, bool editInTheWait) {
        desktop.foregroundProcess = desktop.ownProcess;
        form.OnMenuCommand(command);
        if (editInTheWait) {
            form.OnPathChanged();
        }
        desktop.foregroundProcess = kClicked;
        desktop.onKeys = [&, stops](std::u16string_view keys) {
            if (stops && keys == u"b") {
                desktop.foregroundProcess = kClicked + 1;
            }
        };
        const std::size_t typedBefore = Typed().size();
        desktop.Advance(Milliseconds{100} + kTimerInterval);
        desktop.onKeys = nullptr;
        return Typed().substr(typedBefore);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        desktop.PutFile(u"C:\\Work\\a.txt", "ab\r\ncd");
        desktop.clipboard = u"ab\r\ncd";
        view.failures.clear();
        typeInto(c.run, c.stops, false);
        EXPECT_EQ(restItem(), c.stops
                                  ? u"Type the rest into the window I click next (line 1, column 3)"
                                  : grayed);
        if (c.then == Then::ChangeTheClipboard) {
            desktop.clipboard = u"ab\r\ncD";
        } else if (c.then == Then::EditThePath) {
            form.OnPathChanged();
        } else if (c.then == Then::StartARun) {
            form.OnStartClick();
            desktop.Advance(kTimerInterval);
        } else if (c.then == Then::AbandonAPick) {
            form.OnMenuCommand(StartMenuCommand::TypeClipboardIntoClickedWindow);
            form.OnEscape();
        } else if (c.then == Then::PressTheHotKeyOverTheDesktop) {
            desktop.foregroundProcess = kExplorer;
            form.OnHotKey();
        } else if (c.then == Then::RunOneThatTypesNothing) {
            desktop.foregroundProcess = desktop.ownProcess;
            form.OnMenuCommand(StartMenuCommand::TypeClipboardIntoClickedWindow);
            desktop.foregroundProcess = kClicked;
            // Another window comes to the front as the first key goes: it was not sent.
            desktop.FailNext("SendKeyString",
                             Failure{"SendKeyString", u"Another window.", kNoWindowInFrontCode});
            desktop.onKeys = [&](std::u16string_view) { desktop.foregroundProcess = kClicked + 1; };
            desktop.Advance(Milliseconds{100} + kTimerInterval);
            desktop.onKeys = nullptr;
            ASSERT_EQ(form.LastPlayback(), PlaybackEnd::FocusMoved);
        }
        const std::size_t runs = desktop.CallsOf("Tick").size();
        const std::u16string rest = typeInto(StartMenuCommand::TypeRestIntoClickedWindow, false,
                                             c.then == Then::EditThePathInTheWait);
        EXPECT_EQ(rest, c.rest);
        EXPECT_EQ(restItem(), grayed) << "done, refused or withdrawn: the offer has ended";
        if (!c.restEnd) {  // a grayed item chosen all the same does nothing
            EXPECT_EQ(desktop.CallsOf("Tick").size(), runs);
            continue;
        }
        EXPECT_EQ(form.LastPlayback(), *c.restEnd);
    }
}

// The hot key types the clipboard's text into the window in front at its press, once every key
// has been let go for a moment; never into Quillrun, the desktop or a window the user went to.
TEST_F(MainFormPick, TheHotKeyTypesTheClipboardIntoTheWindowInFrontOnceTheKeysAreLetGo) {
    const struct {
        const char* name;
        std::uint32_t front;      // at the press
        Milliseconds held;        // how long the keys stay down after it
        bool anotherWindowComes;  // before typing begins
        PlaybackEnd end;
        std::u16string typed;
    } cases[] = {
        {"IntoAnotherProgram", kClicked, Milliseconds{1500}, false, PlaybackEnd::Finished,
         u"ab\r\ncd"},
        {"KeysHeldTooLong", kClicked, kHotKeyHoldLimit, false, PlaybackEnd::KeysHeld, u""},
        {"OverTheDesktop", kExplorer, Milliseconds{100}, false, PlaybackEnd::NoTarget, u""},
        {"AnotherWindowBeforeTyping", kClicked, Milliseconds{100}, true, PlaybackEnd::FocusMoved,
         u""},
    };
    desktop.clipboard = u"ab\r\ncd";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        view.failures.clear();
        const std::size_t typedBefore = Typed().size();
        desktop.foregroundProcess = c.front;
        desktop.keyHeld = true;
        form.OnHotKey();
        form.OnHotKey();  // a key bouncing as it is let go changes nothing
        desktop.Advance(c.held - Milliseconds{1});
        if (c.anotherWindowComes) {
            desktop.foregroundProcess = kClicked + 1;
        }
        desktop.Advance(Milliseconds{1});
        desktop.keyHeld = false;
        desktop.Advance(kAfterKeysLetGo - Milliseconds{20});
        EXPECT_EQ(Typed().size(), typedBefore) << "typed before the keys were let go long enough";
        desktop.Advance(Milliseconds{40});
        EXPECT_EQ(Typed().substr(typedBefore), c.typed);
        EXPECT_EQ(form.LastPlayback(), c.end);
        EXPECT_FALSE(desktop.TimerEnabled());
        EXPECT_TRUE(view.failures.empty()) << "held until the user comes back";
        desktop.foregroundProcess = desktop.ownProcess;
        form.OnActivated();
        // What each says is the report table's; that it is said, and once, is the form's.
        EXPECT_EQ(view.failures.size(), c.end == PlaybackEnd::Finished ? 0u : 1u);
    }
    EXPECT_TRUE(desktop.launched().empty());
}

// While a run is on its way, the hot key stops it and says so: the clipboard, which may hold a
// password, is never typed in its place.
TEST_F(MainFormPick, TheHotKeyStopsARunOnItsWayAndNeverTypesTheClipboardInstead) {
    enum class Pending { StartsCountDown, TheWaitForAClick, ThePicksCountDown, TheWaitForAWindow };
    desktop.clipboard = u"CLIPBOARD SECRET";
    desktop.PutFile(u"C:\\Work\\a.txt", "file");
    for (const Pending pending : {Pending::StartsCountDown, Pending::TheWaitForAClick,
                                  Pending::ThePicksCountDown, Pending::TheWaitForAWindow}) {
        SCOPED_TRACE(static_cast<int>(pending));
        view.failures.clear();
        desktop.foregroundProcess = desktop.ownProcess;
        if (pending == Pending::StartsCountDown || pending == Pending::TheWaitForAWindow) {
            form.OnStartClick();
        } else {
            form.OnMenuCommand(StartMenuCommand::TypeFileIntoClickedWindow);
        }
        desktop.foregroundProcess = kClicked;
        if (pending == Pending::ThePicksCountDown) {
            desktop.Advance(Milliseconds{100});
            ASSERT_FALSE(form.AwaitingClick());
        }
        bool pressed = false;
        if (pending == Pending::TheWaitForAWindow) {
            // The run has begun, but the program shows no window yet: pressed once, not again.
            desktop.foregroundProcess = 0;
            desktop.FailNext("ActivateTask",
                             Failure{"ActivateTask", u"No window yet.", kTaskHasNoWindowCode});
            desktop.onPump = [&] {
                if (!std::exchange(pressed, true)) {
                    form.OnHotKey();
                }
            };
        } else {
            form.OnHotKey();
        }
        desktop.Advance(kTimerInterval + kAfterKeysLetGo);
        desktop.onPump = nullptr;
        EXPECT_EQ(Typed(), u"");
        EXPECT_EQ(form.LastPlayback(), PlaybackEnd::HotKeyBeforeTyping);
        EXPECT_FALSE(desktop.TimerEnabled());
        desktop.foregroundProcess = desktop.ownProcess;
        form.OnActivated();
        EXPECT_EQ(view.failures.size(), 1u);
    }
}

// Pressed again while its run types, the hot key stops the run where it is; no key is sent while
// the user holds one, so the press is theirs, and the rest is offered as after any stop.
TEST_F(MainFormPick, TheHotKeyPressedAgainStopsItsRunWithoutTypingUnderTheUsersKeys) {
    desktop.clipboard = u"ab\r\ncd";
    desktop.foregroundProcess = kClicked;
    form.OnHotKey();
    desktop.onKeys = [&](std::u16string_view keys) {
        if (keys == u"b") {
            desktop.keyHeld = true;  // the modifiers go down first
        }
    };
    int pumps = 0;
    desktop.onPump = [&] {
        if (desktop.keyHeld && ++pumps == 3) {
            form.OnHotKey();
        }
    };
    desktop.Advance(kAfterKeysLetGo + Milliseconds{20});
    desktop.onKeys = nullptr;
    desktop.onPump = nullptr;
    EXPECT_EQ(Typed(), u"ab");
    EXPECT_GE(desktop.CallsOf("KeysHeld").size(), 2u);
    EXPECT_EQ(form.LastPlayback(), PlaybackEnd::StoppedByHotKey);
    EXPECT_EQ(Describe(form.StartMenu())[4],
              u"Type the rest into the window I click next (line 1, column 3)");
    desktop.foregroundProcess = desktop.ownProcess;
    form.OnActivated();
    ASSERT_EQ(view.failures.size(), 1u);
    EXPECT_TRUE(view.failures[0].starts_with(
        u"Quillrun stopped typing because the hot key was pressed again.\n\nTyping stopped at "
        u"line 1, column 3 of the clipboard's text"));

    // Runs begun otherwise never wait for held keys: they let go of them as they always did.
    desktop.keyHeld = true;
    form.OnMenuCommand(StartMenuCommand::TypeClipboardIntoClickedWindow);
    desktop.foregroundProcess = kClicked;
    desktop.Advance(Milliseconds{100} + kTimerInterval);
    EXPECT_EQ(Typed(), u"abab\r\ncd");
}

// A key sequence that presses Quillrun's own hot key types it, and the hot key is Quillrun's
// again after it; should another program take it in that moment, the menu says it is taken.
TEST_F(MainFormPick, AHotKeyLostToAnotherProgramWhileASequencePressedItShowsTakenInTheMenu) {
    form.OnMenuChoice(IdOf(form.StartMenu(), kKeySequencesText.english));
    desktop.clipboard = u"a^+%vb";
    desktop.onKeys = [&](std::u16string_view keys) {
        if (keys.size() > 1) {
            desktop.hotKeysTaken = {kDefaultHotKey};  // while Quillrun had let go of it
        }
    };
    form.OnMenuCommand(StartMenuCommand::TypeClipboardIntoClickedWindow);
    desktop.foregroundProcess = kClicked;
    desktop.Advance(Milliseconds{100} + kTimerInterval);
    EXPECT_EQ(Typed(), u"a+^%vb");
    EXPECT_EQ(form.LastPlayback(), PlaybackEnd::Finished);
    EXPECT_EQ(form.StartMenu().back().text,
              u"Hot key: Ctrl+Shift+Alt+V (taken by another program)...");
    // Once the other program lets go of it, the menu takes it back.
    desktop.hotKeysTaken.clear();
    EXPECT_EQ(form.StartMenu().back().text, u"Hot key: Ctrl+Shift+Alt+V...");
    EXPECT_EQ(desktop.registeredHotKey, kDefaultHotKey);
}

// The hot key comes from the settings file; one another program has is no obstacle to starting,
// and the menu says so. Its dialog sets another key, or none, and the file keeps the choice; a
// key that may not be the hot key is never chosen, and the dialog says why.
TEST_F(MainFormTest, TheHotKeyTakenOrChosenShowsInTheMenuAndLastsIntoTheSettingsFile) {
    constexpr HotKey kCtrlAltF9{HotKey::kCtrl | HotKey::kAlt, 0x78};
    desktop.workingFolder = desktop.appFolder;
    desktop.hotKeysTaken = {kDefaultHotKey, kCtrlAltF9};
    form.OnLoad();
    EXPECT_TRUE(view.failures.empty());
    const auto item = [&] { return form.StartMenu().back().text; };
    EXPECT_EQ(item(), u"Hot key: Ctrl+Shift+Alt+V (taken by another program)...");
    const struct {
        const char* name;
        std::optional<HotKey> answer;  // the keys pressed into the dialog; nullopt: Cancel
        std::u16string item;
        bool says;                             // a message: the key chosen is taken
        HotKey registered;                     // what Quillrun has of the system then
        std::string saved;                     // quillrun.ini's lines after the target's
        std::optional<HotKeyRefusal> refusal;  // why the dialog refused the key
    } cases[] = {
        {"Cancelled", std::nullopt, u"Hot key: Ctrl+Shift+Alt+V (taken by another program)...",
         false, HotKey{}, "", std::nullopt},
        {"AnotherKey", HotKey{HotKey::kCtrl | HotKey::kShift, 'Q'}, u"Hot key: Ctrl+Shift+Q...",
         false, HotKey{HotKey::kCtrl | HotKey::kShift, 'Q'}, "hotkey=Ctrl+Shift+Q\r\n",
         std::nullopt},
        {"ATakenKey", kCtrlAltF9, u"Hot key: Ctrl+Alt+F9 (taken by another program)...", true,
         HotKey{}, "hotkey=Ctrl+Alt+F9\r\n", std::nullopt},
        {"None", HotKey{}, u"Hot key: none...", false, HotKey{}, "hotkey=none\r\n", std::nullopt},
        {"TheDefaultOnceFree", kDefaultHotKey, u"Hot key: Ctrl+Shift+Alt+V...", false,
         kDefaultHotKey, "hotkey=Ctrl+Shift+Alt+V\r\n", std::nullopt},
        {"AnAltGrCharacter", HotKey{HotKey::kCtrl | HotKey::kAlt, 'E'},
         u"Hot key: Ctrl+Shift+Alt+V...", false, kDefaultHotKey, "hotkey=Ctrl+Shift+Alt+V\r\n",
         HotKeyRefusal::AltGrCharacter},
        // The dialog's control has no Windows key: what it shows is Ctrl+Q.
        {"WinUnseenByTheDialog", HotKey{HotKey::kCtrl | HotKey::kWin, 'Q'},
         u"Hot key: Ctrl+Shift+Alt+V...", false, kDefaultHotKey, "hotkey=Ctrl+Shift+Alt+V\r\n",
         HotKeyRefusal::ProgramShortcut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.answer == kDefaultHotKey) {
            desktop.hotKeysTaken = {};
        }
        view.failures.clear();
        const std::size_t refusedBefore = desktop.CallsOf("HotKeyRefused").size();
        desktop.QueueHotKeyAnswer(c.answer);
        const std::size_t claims = desktop.CallsOf("RegisterHotKey").size();
        form.OnMenuChoice(kHotKeyItemId);
        EXPECT_EQ(item(), c.item);
        EXPECT_EQ(view.failures.size(), c.says ? 1u : 0u);
        EXPECT_EQ(desktop.registeredHotKey, c.registered);
        // Let go of while the dialog was open, where pressing it sets it.
        EXPECT_EQ(desktop.CallsOf("RegisterHotKey").at(claims).argument, u"0+0");
        const auto refused = desktop.CallsOf("HotKeyRefused");
        ASSERT_EQ(refused.size(), refusedBefore + (c.refusal ? 1 : 0));
        if (c.refusal) {
            EXPECT_EQ(refused.back().argument, HotKeyRefusalText(*c.refusal, Language::English));
        }
        form.OnUnload();
        EXPECT_EQ(desktop.FileBytes(u"quillrun.ini"), "C:\\WINDOWS\\Notepad.exe\r\n" + c.saved);
    }
    // The dialog opened on the key in force, and said when it was taken.
    const auto& dialogs = desktop.hotKeyDialogs();
    ASSERT_EQ(dialogs.size(), std::size(cases));
    EXPECT_EQ(dialogs[0].current, kDefaultHotKey);
    EXPECT_NE(dialogs[0].prompt.find(u"Ctrl+Shift+Alt+V is taken by another program."),
              std::u16string::npos);
    EXPECT_EQ(dialogs[3].current, kCtrlAltF9);
}

}  // namespace
}  // namespace quillrun
