#include "app/main_form.h"

#include <algorithm>
#include <utility>

#include "app/form_layout.h"
#include "keys/hot_key.h"
#include "playback/launch.h"
#include "playback/playback_report.h"
#include "settings/file_chooser.h"
#include "text/wipe.h"

namespace quillrun {
namespace {

// The taskbar's progress runs in thousandths: finer steps would only cost calls.
constexpr std::uint64_t kProgressSteps = 1000;
constexpr std::uint64_t kNoProgressShown = kProgressSteps + 1;
// How often the window in front is looked at while waiting for the click: a tenth of a second
// goes unnoticed next to the 1.5 s that follow it.
constexpr Milliseconds kPickPoll{100};
// How often the keys are looked at after the hot key: a small part of the wait after them.
constexpr Milliseconds kKeysPoll{20};

}  // namespace

void MainForm::OnLoad() {
    view_.SetPathText(desktop_.AppFolder());
    settings_ = LoadSettings(desktop_);
    saved_ = settings_;
    // A key another program has is kept, and shown as taken in the menu: no message stands in
    // the way of the start.
    ClaimHotKey();
}

void MainForm::ClaimHotKey() {
    hotKeyTaken_ = !desktop_.RegisterHotKey(settings_.hotKey).ok();
}

void MainForm::SaveChoices() {
    // Nothing to tell the user: an unwritable folder keeps the old file whole, and the choice
    // holds until Quillrun closes; closing tries once more.
    if (SaveSettings(desktop_, settings_, saved_).ok()) {
        saved_ = settings_;
    }
}

void MainForm::OnUnload() {
    unloaded_ = true;
    EndPick();
    SaveChoices();
}

void MainForm::OnControlPressed() {
    pressedDuringRun_ = typing_;
    pressedAt_ = desktop_.Now();
    if (typing_) {
        stopByClick_ = true;
    }
}

bool MainForm::PassedOverInRun() {
    // A button's command comes as it is let go, when the run that its press stopped may have
    // ended already: it was still a click on a run.
    // A press that brought no command of its own (on the path box, or let go off the button) is
    // no click on one that comes later, by the keyboard say.
    const bool pressedDuringRun = std::exchange(pressedDuringRun_, false) &&
                                  desktop_.Now() - pressedAt_ < kPressToCommandWithin;
    if (!typing_) {
        return pressedDuringRun;
    }
    // Quillrun's window is served in every wait of a run, and a click on it is the user's way
    // to stop it: a command carried out here would run inside that wait (a Start's run nested
    // in the one still typing).
    stopByClick_ = true;
    return true;
}

void MainForm::OnChooseClick() {
    if (PassedOverInRun()) {
        return;
    }
    if (auto chosen = ChooseTextFile(desktop_)) {
        view_.SetPathText(*chosen);
    }
}

void MainForm::OnStartClick() {
    if (PassedOverInRun()) {
        return;
    }
    EndPick();  // Start goes on as usual
    auto task = LaunchTarget(desktop_, settings_.targetPath);
    if (!task) {
        view_.ShowFailure(LaunchFailureMessage(settings_.targetPath, task.failure(), language_));
        return;
    }
    // A program launched by an earlier Start that never got its run is not activated again.
    if (std::exchange(taskUnplayed_, true)) {
        desktop_.ReleaseTask(taskId_);
    }
    taskId_ = task.value();
    ++starts_;
    heldMessage_.reset();  // the news of an older run is no longer worth an interruption
}

bool MainForm::OnStartMenuOpening() {
    return !PassedOverInRun();
}

std::vector<MenuItem> MainForm::StartMenu() {
    menuLayouts_.clear();
    const std::u16string& chosen = settings_.typing.layout;
    bool chosenInstalled = false;
    for (std::u16string& id : desktop_.InstalledKeyboardLayouts()) {
        chosenInstalled = chosenInstalled || id == chosen;
        std::u16string name = desktop_.KeyboardLayoutName(id);
        menuLayouts_.push_back({.id = std::move(id), .name = std::move(name)});
    }
    if (!chosen.empty() && !chosenInstalled) {
        menuLayouts_.push_back(
            {.id = chosen, .name = desktop_.KeyboardLayoutName(chosen), .installed = false});
    }
    if (hotKeyTaken_ || !desktop_.HotKeyRegistered()) {
        ClaimHotKey();  // the other program may have let it go since
    }
    return BuildStartMenu(
        settings_.typing, menuLayouts_, language_,
        restOffer_ ? std::optional<TypingPosition>(restOffer_->rest.from) : std::nullopt,
        HotKeyState{.key = settings_.hotKey,
                    .taken = hotKeyTaken_,
                    .refusedInFile = settings_.refusedHotKey});
}

void MainForm::OnMenuChoice(int id) {
    auto choice = StartMenuChoiceOf(id, settings_.typing, menuLayouts_);
    if (!choice) {
        return;
    }
    if (choice->command) {
        OnMenuCommand(*choice->command);
        return;
    }
    settings_.typing = std::move(choice->typing);
    SaveChoices();  // now: a sign-out closes Quillrun without a close of its window
}

void MainForm::OnMenuCommand(StartMenuCommand command) {
    if (PassedOverInRun()) {
        return;
    }
    switch (command) {
        case StartMenuCommand::Start:
            OnStartClick();
            break;
        case StartMenuCommand::TypeFileIntoClickedWindow:
            BeginPick(TextOrigin::File);
            break;
        case StartMenuCommand::TypeClipboardIntoClickedWindow:
            BeginPick(TextOrigin::Clipboard);
            break;
        case StartMenuCommand::TypeSecretIntoClickedWindow:
            ChooseSecret();
            break;
        case StartMenuCommand::TypeRestIntoClickedWindow:
            if (restOffer_) {  // grayed otherwise
                BeginPick(restOffer_->origin, true);
            }
            break;
        case StartMenuCommand::ChooseHotKey:
            ChooseHotKey();
            break;
    }
}

void MainForm::ChooseHotKey() {
    // A menu choice ends a wait for the window to type into, which would otherwise go on
    // under the dialog while the hot key, the stop for a window that cannot be left, is off.
    EndPick();
    std::u16string prompt(kHotKeyPrompt.In(language_));
    HotKeyDialog dialog;
    dialog.current = settings_.hotKey;
    if (const auto& refused = settings_.refusedHotKey) {
        // The box shows the file's key, and under it why it is not used, with OK grayed.
        dialog.current = refused->key;
        prompt += FillIn(kHotKeyRefusedNote.In(language_), {{u"key", HotKeyText(refused->key)}});
    } else if (hotKeyTaken_) {
        prompt += FillIn(kHotKeyTakenNote.In(language_), {{u"key", HotKeyText(settings_.hotKey)}});
    }
    dialog.prompt = std::move(prompt);
    dialog.none = kNoHotKeyButton.In(language_);
    dialog.ok = kOkButton.In(language_);
    dialog.cancel = kCancelButton.In(language_);
    dialog.refusal = [language = language_](HotKey key) {
        const std::optional<HotKeyRefusal> refusal = RefusalOf(key);
        return refusal ? std::u16string(HotKeyRefusalText(*refusal, language)) : std::u16string();
    };
    // Not active while the dialog is open: pressed there, it is the key being set, and must
    // not type the clipboard over the dialog. A key another program has is no loss here.
    static_cast<void>(desktop_.RegisterHotKey(HotKey{}));
    const std::optional<HotKey> chosen = desktop_.AskHotKey(dialog);
    if (!chosen || (*chosen == settings_.hotKey && !hotKeyTaken_ && !settings_.refusedHotKey)) {
        ClaimHotKey();
        return;
    }
    // Kept even when taken, as a key read from the settings is: the menu says it is taken.
    settings_.hotKey = *chosen;
    settings_.refusedHotKey.reset();
    SaveChoices();
    ClaimHotKey();
    if (hotKeyTaken_) {
        view_.ShowFailure(
            FillIn(kHotKeyTakenMessage.In(language_), {{u"key", HotKeyText(*chosen)}}));
    }
}

void MainForm::ChooseSecret() {
    EndPick();  // the dialog ends a wait for a click, as every menu command does
    const SecretDialog dialog{
        .prompt = std::u16string(kSecretPrompt.In(language_)),
        .show = std::u16string(kShowSecret.In(language_)),
        .pressEnter = std::u16string(kPressEnterAfterSecret.In(language_)),
        .ok = std::u16string(kOkButton.In(language_)),
        .cancel = std::u16string(kCancelButton.In(language_)),
        .refusal = [language = language_](std::size_t length) {
            return length > kMaxSecretLength
                       ? FillIn(kSecretTooLong.In(language), {{u"count", DecimalText(length)}})
                       : std::u16string();
        },
    };
    std::optional<SecretEntry> entry = desktop_.AskSecret(dialog);
    if (!entry) {
        return;
    }
    BeginPick(TextOrigin::Secret);
    // Copied into a buffer of its own on the heap, and the dialog's copy wiped: a move or swap
    // of a short string copies its text inside the string objects and leaves it behind.
    secret_.emplace();
    secret_->text.reserve(std::max(entry->text.size(), kHeldSecretCapacity));
    secret_->text.assign(entry->text);
    secret_->pressEnter = entry->pressEnter;
    Wipe(entry->text);
}

void MainForm::ForgetSecret() {
    if (secret_) {
        Wipe(secret_->text);
        secret_.reset();
    }
}

void MainForm::OnHotKey() {
    if (typing_) {
        stopByHotKey_ = true;  // its run, or any other, stops at the next key
        return;
    }
    if (pick_ && pick_->hotKey) {
        return;  // pressed again before typing began: the keys are still being let go
    }
    // A run on its way (Start's count-down, a wait for a click, its count-down) stops: the
    // clipboard, which may hold a password, is never typed in its place.
    const bool startPending = taskUnplayed_ && desktop_.TimerEnabled();
    if (pick_ || startPending) {
        EndPick();
        desktop_.DisableTimer();
        if (std::exchange(taskUnplayed_, false)) {
            desktop_.ReleaseTask(taskId_);
        }
        ++starts_;
        ReportNothingTyped(PlaybackEnd::HotKeyBeforeTyping);
        return;
    }
    ++starts_;
    heldMessage_.reset();
    const WindowId front = desktop_.ForegroundWindow();
    const std::uint32_t process = desktop_.ForegroundProcess();
    if (process == 0 || process == desktop_.OwnProcess() || desktop_.IsShellWindow(front)) {
        ReportNothingTyped(PlaybackEnd::NoTarget);
        return;
    }
    pick_ = Pick{.origin = TextOrigin::Clipboard,
                 .deadline = desktop_.Now() + kHotKeyHoldLimit,
                 .chosen = false,
                 .rest = false,
                 .hotKey = true,
                 .window = front,
                 .keysLetGoAt = std::nullopt};
    desktop_.EnableTimer(kKeysPoll);
}

bool MainForm::AwaitKeysLetGo() {
    const Milliseconds now = desktop_.Now();
    if (desktop_.AnyKeyHeld()) {
        pick_->keysLetGoAt.reset();
        if (now >= pick_->deadline) {
            EndPick();
            ReportNothingTyped(PlaybackEnd::KeysHeld);
        }
        return false;
    }
    if (!pick_->keysLetGoAt) {
        pick_->keysLetGoAt = now;
    }
    return now - *pick_->keysLetGoAt >= kAfterKeysLetGo;
}

void MainForm::OnEscape() {
    EndPick();
}

void MainForm::OnPathChanged() {
    ++pathChanges_;
    if (restOffer_ && restOffer_->origin == TextOrigin::File) {
        restOffer_.reset();
        if (pick_ && pick_->rest) {
            EndPick();  // its rest is withdrawn: the file it would type is not the one that stopped
        }
    }
}

void MainForm::BeginPick(TextOrigin origin, bool rest) {
    EndPick();
    // A program launched by a Start whose countdown this replaces never gets its run.
    if (std::exchange(taskUnplayed_, false)) {
        desktop_.ReleaseTask(taskId_);
    }
    ++starts_;             // a run going on is superseded, as by a Start
    heldMessage_.reset();  // and the news of an older run is no longer worth an interruption
    pick_ = Pick{.origin = origin,
                 .deadline = desktop_.Now() + kPickWait,
                 .chosen = false,
                 .rest = rest,
                 .hotKey = false,
                 .window = {},
                 .keysLetGoAt = std::nullopt};
    view_.SetCaption(kPickCaption.In(language_));
    // The timer looks at the window in front from now on; a Start's count-down it replaces is
    // superseded by this newer choice.
    desktop_.EnableTimer(kPickPoll);
}

void MainForm::EndPick() {
    ForgetSecret();
    if (!pick_) {
        return;
    }
    const bool waiting = !pick_->chosen;
    pick_.reset();
    desktop_.DisableTimer();
    if (waiting) {
        view_.SetCaption(kWindowCaption);
    }
}

void MainForm::AwaitPick() {
    if (desktop_.Now() >= pick_->deadline) {
        EndPick();
        ReportNothingTyped(PlaybackEnd::NothingPicked);
        return;
    }
    // Chosen once another program's window is in front and the click (or Alt+Tab) that chose
    // it is over, so that the count-down starts from the window the user settled on.
    const std::uint32_t front = desktop_.ForegroundProcess();
    if (front == 0 || front == desktop_.OwnProcess() ||
        desktop_.IsShellWindow(desktop_.ForegroundWindow()) || desktop_.ChoosingInputHeld()) {
        return;
    }
    pick_->chosen = true;
    view_.SetCaption(kWindowCaption);
    // The same delay as after Start: a console that takes the keyboard on a click has taken it.
    desktop_.EnableTimer(kTimerInterval);
}

void MainForm::OnTimerTick() {
    if (typing_) {
        return;  // never a run inside another one's wait: the tick comes again after it
    }
    if (AwaitingClick()) {
        AwaitPick();
        return;
    }
    if (pick_ && pick_->hotKey && !AwaitKeysLetGo()) {
        return;
    }
    // Off first, so that each Start yields exactly one run, even if this one cannot begin.
    desktop_.DisableTimer();
    const std::optional<Pick> pick = std::exchange(pick_, std::nullopt);
    const std::uint64_t startsBefore = starts_;
    std::uint64_t shown = kNoProgressShown;
    TypingOptions typing = settings_.typing;
    // Held keys after the hot key are the user's: pressed again, it stops the run.
    typing.waitWhileKeysHeld = pick && pick->hotKey;
    stopByHotKey_ = false;
    stopByClick_ = false;
    const PlaybackHooks hooks{
        // A newer Start or pick supersedes this run wherever it is: in a wait, a nested run may
        // already have typed the text into the new target.
        .stopRequested =
            [this, startsBefore] {
                return unloaded_ || stopByHotKey_ || stopByClick_ || starts_ != startsBefore;
            },
        .progress =
            [&](std::uint64_t done, std::uint64_t total) {
                if (total == 0) {
                    return;  // a size unknown: no progress to show
                }
                const std::uint64_t steps =
                    done >= total ? kProgressSteps : done * kProgressSteps / total;
                if (steps != shown) {
                    shown = steps;
                    view_.ShowProgress(TaskbarProgress::Running, steps, kProgressSteps);
                }
            },
        .typing = typing,
    };
    // The rest of a stopped run, when that is what was picked.
    const std::optional<RestOfRun> rest = pick && pick->rest && restOffer_
                                              ? std::optional<RestOfRun>(restOffer_->rest)
                                              : std::nullopt;
    const std::uint64_t pathChangesBefore = pathChanges_;
    PlaybackResult result;
    typing_ = true;
    const bool frontChanged = pick && pick->hotKey && desktop_.ForegroundWindow() != pick->window;
    if (frontChanged) {
        // The user went to another window while letting go of the keys: not the one meant.
        result.end = PlaybackEnd::FocusMoved;
        result.origin = TextOrigin::Clipboard;
        result.intoPickedWindow = true;
    } else if (pick && pick->origin == TextOrigin::Clipboard) {
        result = PlayClipboard(desktop_, hooks, rest);
    } else if (pick && pick->origin == TextOrigin::Secret) {
        if (secret_) {
            result = PlaySecret(desktop_, *secret_, hooks);
        }
        ForgetSecret();
    } else {
        // The file is whatever FPath names now, not what it named at Start (for a rest, the
        // stopped run's file: a change of FPath withdraws the offer). A picked window is typed
        // into as it is in front at the tick: no task is activated.
        const std::optional<TaskId> task = pick ? std::nullopt : std::optional<TaskId>(taskId_);
        if (task) {
            taskUnplayed_ = false;
        }
        result = PlayTextFile(desktop_, view_.PathText(), task, hooks, rest);
        // Its one run is over: the program's handle is not kept until Quillrun exits.
        if (task) {
            desktop_.ReleaseTask(*task);
        }
    }
    typing_ = false;
    if (stopByHotKey_ && result.end == PlaybackEnd::Stopped && starts_ == startsBefore &&
        !unloaded_) {
        // Pressed while the run still waited for its window: once, not "again".
        result.end = result.position.NothingArrived() && !(pick && pick->hotKey) ? PlaybackEnd::HotKeyBeforeTyping
                                                             : PlaybackEnd::StoppedByHotKey;
    } else if (stopByClick_ && result.end == PlaybackEnd::Stopped && starts_ == startsBefore &&
               !unloaded_) {
        result.end = PlaybackEnd::StoppedByClick;
    }
    lastPlayback_ = result.end;
    // Not if a newer run has begun, nor for a file whose name was changed in the box meanwhile,
    // nor when typing never began because the hot key's window had left the front.
    if (starts_ == startsBefore && !frontChanged &&
        (result.origin == TextOrigin::Clipboard || pathChanges_ == pathChangesBefore)) {
        OfferTheRest(result);
    }
    // Closed meanwhile: there is no window left to tell.
    if (unloaded_) {
        return;
    }
    // A newer Start superseded this run: its own run, not this one, is for the user to hear of.
    ReportEnd(result, starts_ != startsBefore, shown);
}

void MainForm::OfferTheRest(const PlaybackResult& result) {
    // A secret is typed again whole: its rest would need it kept.
    if (result.origin == TextOrigin::Secret) {
        return;
    }
    switch (result.end) {
        // Stopped part-way: the rest is offered from the first character not confirmed typed
        // (the one that may have arrived among them: the message says to check).
        case PlaybackEnd::FocusMoved:
        case PlaybackEnd::TargetClosed:
        case PlaybackEnd::NotResponding:
        case PlaybackEnd::ReadFailed:
        case PlaybackEnd::StoppedByHotKey:
        case PlaybackEnd::StoppedByClick:
            // One that typed nothing leaves the rest offered before as it was.
            if (result.position.NothingArrived()) {
                break;
            }
            restOffer_ = RestOffer{.origin = result.origin,
                                   .rest = {.from = result.position,
                                            .stamp = result.stamp,
                                            .keySequence = result.keySequence}};
            break;
        // All typed, or the text is no longer the one whose rest it was.
        case PlaybackEnd::Finished:
        case PlaybackEnd::TextChanged:
            restOffer_.reset();
            break;
        // Nothing typed: the rest offered before still stands, whichever run this was (one
        // whose pick was abandoned, or whose hot key found no window, typed nothing either).
        default:
            break;
    }
}

void MainForm::ReportNothingTyped(PlaybackEnd end) {
    PlaybackResult result;
    result.end = end;
    // Only the hot key's ends say which text and window: the clipboard's, the one in front.
    result.origin = TextOrigin::Clipboard;
    result.intoPickedWindow = true;
    lastPlayback_ = end;
    ReportEnd(result, false, kNoProgressShown);
}

void MainForm::ReportEnd(const PlaybackResult& result, bool superseded,
                         std::uint64_t shownProgress) {
    // Shown only now that the run has ended and released its keys, so that no keystroke meant
    // for the target can reach the message.
    auto message = superseded ? std::nullopt : PlaybackEndMessage(result, language_);
    const bool inFront = desktop_.ForegroundProcess() == desktop_.OwnProcess();
    if (message) {
        view_.ShowProgress(TaskbarProgress::Error,
                           shownProgress > kProgressSteps ? 0 : shownProgress, kProgressSteps);
        if (!inFront) {
            // Not over the window the user is in, whose keystrokes it would take (and where
            // Windows would not let it come to the front anyway): the taskbar button flashes,
            // shows the stop, and the message waits until the user comes back.
            heldMessage_ = std::move(message);
            view_.FlashTaskbarButton();
            return;
        }
        view_.ShowFailure(*message);
    } else if (result.end == PlaybackEnd::Finished && !superseded && !inFront) {
        view_.FlashTaskbarButton();
    }
    view_.ShowProgress(TaskbarProgress::Off, 0, 0);
}

void MainForm::OnActivated() {
    if (!heldMessage_) {
        return;
    }
    const std::u16string message = *std::exchange(heldMessage_, std::nullopt);
    view_.ShowFailure(message);
    view_.ShowProgress(TaskbarProgress::Off, 0, 0);
}

}  // namespace quillrun
