// MainForm's state and its event handlers, free of any window system: the Win32 window routes its
// events here, and tests drive the same handlers through the fake desktop.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/form_view.h"
#include "app/start_menu.h"
#include "desktop/desktop_services.h"
#include "playback/text_playback.h"
#include "settings/settings_file.h"

namespace quillrun {

// How long Quillrun waits for the user to click the window to type into.
inline constexpr Milliseconds kPickWait{60000};
// After the hot key: how long the keys may stay held before nothing is typed, and how long
// after the last one is let go typing begins (a key let go a moment late, or a second hand
// still on its way off the keyboard, must not reach the window).
inline constexpr Milliseconds kHotKeyHoldLimit{5000};
inline constexpr Milliseconds kAfterKeysLetGo{200};
// A button's command comes as the mouse is let go; a press during a run whose command comes
// later than this was no click (a press on the path box, or let go off the button).
inline constexpr Milliseconds kPressToCommandWithin{5000};

// What the hot key's dialog and a key taken say.
inline constexpr Localized kHotKeyPrompt{
    u"Press the keys that type the clipboard's text into the window in front while Quillrun runs "
    u"(its window may be minimized).",
    u"Quillrun の実行中 (ウィンドウが最小化されていても)、クリップボードのテキストを前面の"
    u"ウィンドウに入力するキーを押してください。"};
inline constexpr Localized kHotKeyTakenNote{u"\n\n{key} is taken by another program.",
                                            u"\n\n{key} はほかのプログラムが使用しています。"};
inline constexpr Localized kHotKeyRefusedNote{
    u"\n\nquillrun.ini names {key}, which Quillrun does not use:",
    u"\n\nquillrun.ini の {key} は使用しません:"};
inline constexpr Localized kNoHotKeyButton{u"No hot key", u"ホット キーなし"};
inline constexpr Localized kOkButton{u"OK", u"OK"};
inline constexpr Localized kCancelButton{u"Cancel", u"キャンセル"};
// What the secret's dialog says.
inline constexpr Localized kSecretPrompt{
    u"Type the secret, a password say. Quillrun types it into the window you click next and then "
    u"forgets it; it is never saved, put on the clipboard or shown.",
    u"シークレット (パスワードなど) を入力してください。Quillrun は次にクリックするウィンドウに"
    u"入力してから、それを忘れます。保存も、クリップボードへのコピーも、表示もしません。"};
inline constexpr Localized kShowSecret{u"Show", u"表示する"};
inline constexpr Localized kPressEnterAfterSecret{u"Press Enter after it",
                                                  u"入力後に Enter キーを押す"};
inline constexpr Localized kSecretTooLong{
    u"A secret has at most 1,024 characters: this one has {count}.",
    u"シークレットは 1,024 文字までです (この内容は {count} 文字です)。"};
// Room reserved for a secret held, beyond what a string keeps inside itself (a few units):
// held on the heap, it moves without copies.
inline constexpr std::size_t kHeldSecretCapacity = 32;
inline constexpr Localized kHotKeyTakenMessage{
    u"{key} is taken by another program, so it would not reach Quillrun. Choose another hot key "
    u"in Start's menu.",
    u"{key} はほかのプログラムが使用しているため、Quillrun に届きません。「Start」のメニューで"
    u"別のホット キーを選んでください。"};

class MainForm {
  public:
    // The display language is read once, here: every text Quillrun adds follows it.
    MainForm(DesktopServices& desktop, FormView& view)
        : desktop_(desktop), view_(view), language_(desktop.DisplayLanguage()) {}
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    // Before the window is first shown: FPath starts with the application folder, and the
    // target program comes from the settings file.
    void OnLoad();
    // When the window closes: the settings are saved. Closing is never cancelled, and a failure
    // to save does not stop it.
    void OnUnload();
    // The browse button, Start and a command of Start's menu: while a run types, each only stops
    // it (see PassedOverInRun).
    void OnChooseClick();
    void OnStartClick();
    // The arrow of Start was clicked: whether its menu may open. Not while a run types, which
    // the click stops instead.
    [[nodiscard]] bool OnStartMenuOpening();
    // The mouse went down on a control of the window (a button's command follows once it is
    // let go): during a run, the click stops it, and that command is passed over, also if the
    // run has ended by the time it comes.
    void OnControlPressed();
    // Start's menu as it stands, the choices in force checked; made anew each time it opens,
    // so that it lists the keyboard layouts installed then.
    std::vector<MenuItem> StartMenu();
    // The item `id` chosen from the menu StartMenu made last: a command, or a typing choice,
    // which stays in force and is saved with the settings.
    void OnMenuChoice(int id);
    // A command from Start's menu.
    void OnMenuCommand(StartMenuCommand command);
    // Esc in the window: ends a wait for the window to type into.
    void OnEscape();
    // The text in FPath changed (by the user, the browse button or Quillrun itself): the rest
    // of a stopped file run is no longer offered, since it may name another file now.
    void OnPathChanged();
    // The timer: while Quillrun waits for the user to click a window, a look at the window in
    // front; otherwise the delayed start, which types the file named in FPath now into the
    // program launched last (or the text picked into the window picked).
    void OnTimerTick();
    // The window came to the front: a message held back while the user was elsewhere is shown.
    void OnActivated();
    // The hot key was pressed, wherever the user was: the clipboard's text is typed into the
    // window in front once the keys are let go; during a run, the run stops.
    void OnHotKey();

    [[nodiscard]] const std::u16string& TargetPath() const { return settings_.targetPath; }
    [[nodiscard]] TaskId TaskID() const { return taskId_; }
    [[nodiscard]] const TypingOptions& Typing() const { return settings_.typing; }
    // How the most recent run ended, once one has.
    [[nodiscard]] std::optional<PlaybackEnd> LastPlayback() const { return lastPlayback_; }
    // Whether Quillrun waits for the user to click the window to type into.
    [[nodiscard]] bool AwaitingClick() const { return pick_ && !pick_->chosen && !pick_->hotKey; }

  private:
    // A run into the window the user clicks next.
    struct Pick {
        TextOrigin origin = TextOrigin::File;
        Milliseconds deadline{};  // of the wait for the click
        bool chosen = false;      // a window was chosen: the timer counts down to typing
        bool rest = false;        // it types the rest of the run that stopped last
        // Fired by the hot key: the window in front then is typed into once the keys are let go.
        bool hotKey = false;
        WindowId window{};
        std::optional<Milliseconds> keysLetGoAt;
    };
    // The rest of a run that stopped before the end of its text, as offered in Start's menu.
    struct RestOffer {
        TextOrigin origin = TextOrigin::File;  // a file run's file is the one FPath names
        RestOfRun rest;
    };

    // While a run types: the click (on Start, the browse button, a menu command) stops it and is
    // passed over, true; otherwise false, and the click does what it does.
    bool PassedOverInRun();
    void BeginPick(TextOrigin origin, bool rest = false);
    // While the hot key's keys are held: true once they have been let go long enough to type.
    bool AwaitKeysLetGo();
    // Asks for the hot key in the settings; its failure if another program has it.
    void ClaimHotKey();
    // Writes the choices made since the settings were last read or written.
    void SaveChoices();
    void ChooseHotKey();
    // Asks for a secret, then waits for the click on the window to type it into.
    void ChooseSecret();
    // Wipes and drops the secret a pick holds, if it holds one.
    void ForgetSecret();
    // Ends a pick silently, in its wait or its count-down.
    void EndPick();
    // A look at the window in front while waiting for the click.
    void AwaitPick();
    // After a run: the rest of it is offered if it stopped part-way; the rest offered before
    // (if the run was it) stands only if the run typed nothing and its text is the same.
    void OfferTheRest(const PlaybackResult& result);
    // A pick (or the hot key) that ended before typing began, told as a run's end would be.
    void ReportNothingTyped(PlaybackEnd end);
    // Tells the user how a run ended, if it fell short: at once, or when they come back.
    void ReportEnd(const PlaybackResult& result, bool superseded, std::uint64_t shownProgress);

    DesktopServices& desktop_;
    FormView& view_;
    const Language language_;
    TaskId taskId_{};
    bool taskUnplayed_ = false;  // taskId_ was launched and no run has typed into it yet
    Settings settings_{.targetPath = {},
                       .encoding = TextEncoding::Ansi,
                       .typing = {},
                       .hotKey = kDefaultHotKey,
                       .refusedHotKey = std::nullopt,
                       .file = {}};
    Settings saved_;  // as the settings file has them, as far as Quillrun knows
    bool unloaded_ = false;  // a running playback stops once the window has closed
    std::optional<PlaybackEnd> lastPlayback_;
    // Successful Start clicks and picks begun: a newer one supersedes a run.
    std::uint64_t starts_ = 0;
    std::optional<Pick> pick_;
    // The secret a pick of TextOrigin::Secret types, from the dialog until its run ends.
    std::optional<SecretEntry> secret_;
    // The layouts the menu made last offers, in its order.
    std::vector<LayoutChoice> menuLayouts_;
    // How the last run fell short, while the user is in another window.
    std::optional<std::u16string> heldMessage_;
    std::optional<RestOffer> restOffer_;
    std::uint64_t pathChanges_ = 0;  // changes of FPath's text so far
    bool hotKeyTaken_ = false;       // another program had it when Quillrun last asked for it
    bool typing_ = false;            // a run is typing
    bool stopByHotKey_ = false;      // the hot key was pressed during it
    bool stopByClick_ = false;       // a button of Quillrun's was clicked during it
    bool pressedDuringRun_ = false;  // the last press on a control came during a run
    Milliseconds pressedAt_{0};      // and when
};

}  // namespace quillrun
