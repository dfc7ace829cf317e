#include "playback/text_playback.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "text/text_reader.h"
#include "text/utf.h"
#include "text/wipe.h"
#include "keys/key_string.h"
#include "playback/text_pieces.h"

namespace quillrun {
namespace {

// While the activation moves from one window to another, the system reports no window in front
// for a moment (GetForegroundWindow may return NULL "when a window is losing activation"); that
// is not the user switching away, so the window in front is asked again for this long.
constexpr Milliseconds kFocusSettle{250};
constexpr Milliseconds kFocusSettlePoll{10};
// How often a keystroke that found no window in front is sent again once the guard has found
// the target in front again (a bound, should the two never agree).
constexpr int kNoWindowRetries = 3;
// How often the wait for a handed-over window looks at the window in front: often enough that
// typing begins without a noticeable pause.
constexpr Milliseconds kHandOffPoll{50};
// How long an input method may take to apply a change of state it was asked for, and how often
// it is asked how far it got: it applies it from the target's thread, which may be busy.
constexpr Milliseconds kInputMethodSettle{300};
constexpr Milliseconds kInputMethodPoll{20};
// How often a wait looks whether the user stopped the run or switched away.
constexpr Milliseconds kWaitPoll{50};
// How often a run that waits for the user to let go of a modifier looks again: a key's press
// takes longer than that.
constexpr Milliseconds kKeysHeldPoll{20};

bool StopRequested(const PlaybackHooks& hooks) {
    return hooks.stopRequested && hooks.stopRequested();
}

// Sends key strings while the window that was in front when typing began still is: not another
// window of the same program either (a second document, or a dialog, whose buttons the keys
// would press).
class Typist {
  public:
    Typist(DesktopServices& desktop, const PlaybackHooks& hooks)
        : desktop_(desktop), hooks_(hooks) {}
    // However the run ends: nothing stays pressed or shared, and the input method is as the
    // user had it.
    ~Typist() {
        desktop_.EndTyping();
        if (inputMethodWindow_.value != 0) {
            static_cast<void>(
                desktop_.SetInputMethodStatus(inputMethodWindow_, inputMethodBefore_));
        }
    }
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    // Before the first keystroke: settles which program is typed into and that it can be: the
    // launched `task`, or without one the window in front. The reason typing cannot begin, if
    // it cannot.
    [[nodiscard]] std::optional<PlaybackEnd> Begin(std::optional<TaskId> task,
                                                   const Status& activated,
                                                   const TypingOptions& options) {
        if (task) {
            if (auto end = AwaitHandOff(*task, activated)) {
                return end;
            }
        }
        owner_ = SettledFront();
        const WindowId window = desktop_.ForegroundWindow();
        target_ = window;
        // No window in front, or only Quillrun's own, into which the file would overwrite the
        // path box; nor, when the user picked the window, the desktop or the taskbar.
        if (owner_ == 0 || owner_ == desktop_.OwnProcess() ||
            (!task && desktop_.IsShellWindow(window)) || NeverTypedInto(window)) {
            return PlaybackEnd::NoTarget;
        }
        program_ = desktop_.ProgramName(owner_);
        // Windows drops synthesized input into a program of higher integrity without a word
        // (User Interface Privilege Isolation): SendInput still reports every event sent.
        if (desktop_.InputAccessTo(owner_) != InputAccess::Allowed) {
            return PlaybackEnd::NotAllowed;
        }
        if (!desktop_.BeginTyping(options)) {
            return PlaybackEnd::LayoutMissing;
        }
        // With an input method composing, keys are not typed as they are: letters turn into kana
        // or hangul, Enter commits instead of breaking the line.
        if (const auto state = desktop_.InputMethodStatus(window); state && state->Composes()) {
            if (desktop_.SetInputMethodStatus(window, state->Latin())) {
                // Asked, so restored at the end whether or not it is seen to have taken.
                inputMethodWindow_ = window;
                inputMethodBefore_ = *state;
                AwaitLatinInput(window);
            }
        }
        return std::nullopt;
    }

    // Types one key string; the reason to end the run, if there is one. Other failures of a
    // single keystroke are passed over and typing goes on; PassedOver() then says so.
    // `character`: whether the keys complete a character that counts as typed (the first half
    // of a surrogate pair does not).
    [[nodiscard]] std::optional<PlaybackEnd> Type(std::u16string_view keys, bool character = true) {
        passedOver_ = false;
        for (int attempt = 0;; ++attempt) {
            if (StopRequested(hooks_)) {
                return PlaybackEnd::Stopped;
            }
            // The desktop sends the keys only while the target is in front, looking right
            // before sending, so that the guard costs no look of its own.
            const Status sent = desktop_.SendKeyString(keys, target_);
            if (!sent && sent.failure().code == kKeysHeldCode) {
                // Nothing went out: the user holds a modifier (the hot key, pressed again to
                // stop the run), and typing waits for it to be let go rather than release it.
                desktop_.PumpEventsFor(kKeysHeldPoll);
                --attempt;  // not a retry of the keys
                continue;
            }
            if (attempt == 0) {
                ++attempted_;
            }
            if (sent) {
                typed_ += character ? 1 : 0;
                return std::nullopt;
            }
            lastFailure_ = sent.failure().reason;
            const std::uint32_t code = sent.failure().code;
            if (code == kNotRespondingCode) {
                // The keys went out (or were about to): a program that responds again takes
                // them, so the next character may be typed already.
                mayHaveArrived_ = true;
                return PlaybackEnd::NotResponding;
            }
            // Another window, or none for a moment, was in front: either nothing went out, or
            // the keys went out but may not have arrived. Either way the run goes on only if
            // the target is in front again.
            const bool mayHaveArrived = code == kMayNotHaveArrivedCode;
            if (code != kNoWindowInFrontCode && !mayHaveArrived) {
                passedOver_ = true;
                return std::nullopt;
            }
            if (auto end = TargetLeftTheFront()) {
                mayHaveArrived_ = mayHaveArrived;
                return end;
            }
            // Sent once already, the keys are not sent again, which could type them twice;
            // they most likely arrived.
            if (mayHaveArrived) {
                typed_ += character ? 1 : 0;
                return std::nullopt;
            }
            if (attempt == kNoWindowRetries) {
                passedOver_ = true;  // never sent: the target kept losing the front
                return std::nullopt;
            }
        }
    }

    // Waits `wait` (between two lines, or as a key sequence asks), Quillrun's window served
    // meanwhile; the reason to end the run, if the user stops it or the target leaves the front
    // during the wait.
    [[nodiscard]] std::optional<PlaybackEnd> Wait(Milliseconds wait) {
        // The clock reads whole milliseconds, rounded down: one more makes up for the part of
        // a millisecond already gone, so that the wait is never shorter than asked.
        const Milliseconds until = desktop_.Now() + wait + Milliseconds{1};
        for (Milliseconds now = desktop_.Now(); now < until; now = desktop_.Now()) {
            desktop_.PumpEventsFor(std::min(kWaitPoll, until - now));
            if (StopRequested(hooks_)) {
                return PlaybackEnd::Stopped;
            }
            if (auto end = TargetLeftTheFront()) {
                return end;
            }
        }
        return std::nullopt;
    }

    [[nodiscard]] std::uint64_t typed() const { return typed_; }
    [[nodiscard]] bool mayHaveArrived() const { return mayHaveArrived_; }
    // The last Type failed on its own and was passed over: those keys were not typed.
    [[nodiscard]] bool PassedOver() const { return passedOver_; }
    // Key strings sent (each once, however often it was tried) and why the last one failed.
    [[nodiscard]] std::uint64_t attempted() const { return attempted_; }
    [[nodiscard]] const std::u16string& lastFailure() const { return lastFailure_; }
    // The keystroke that may have arrived as the program closed did arrive: nothing came after
    // it, so the program took it before it ended.
    void CountTheLastKeystroke() {
        if (std::exchange(mayHaveArrived_, false)) {
            ++typed_;
        }
    }
    [[nodiscard]] const std::u16string& program() const { return program_; }

  private:
    // Gives the input method a moment to apply the change: keys typed before it has would
    // still be composed.
    void AwaitLatinInput(WindowId window) {
        const Milliseconds until = desktop_.Now() + kInputMethodSettle;
        while (desktop_.InputMethodStatus(window).value_or(InputMethodState{}).Composes() &&
               desktop_.Now() < until) {
            desktop_.Sleep(kInputMethodPoll);
        }
    }

    // Why the run ends if the target is no longer in front: its program ended, the user clicked
    // Quillrun's window, or another window came to the front.
    std::optional<PlaybackEnd> TargetLeftTheFront() {
        const WindowId front = SettledFrontWindow();
        if (front == target_) {
            return std::nullopt;
        }
        // The window typed into closed, whether or not its program did (a sign-in dialog that
        // the last Enter submits).
        if (desktop_.WindowClosed(target_) || ProgramEnded()) {
            return PlaybackEnd::TargetClosed;
        }
        return front.value != 0 && desktop_.ForegroundProcess() == desktop_.OwnProcess()
                   ? PlaybackEnd::StoppedByClick
                   : PlaybackEnd::FocusMoved;
    }

    // Whether the program typed into has ended, given the moment it takes to.
    bool ProgramEnded() {
        const Milliseconds until = desktop_.Now() + kProgramEndWait;
        while (!desktop_.ProcessEnded(owner_)) {
            if (desktop_.Now() >= until) {
                return false;
            }
            desktop_.Sleep(kFocusSettlePoll);
        }
        return true;
    }

    // The process in front, asked again for a moment while the system reports none.
    std::uint32_t SettledFront() {
        std::uint32_t front = desktop_.ForegroundProcess();
        const Milliseconds until = desktop_.Now() + kFocusSettle;
        while (front == 0 && desktop_.Now() < until) {
            desktop_.Sleep(kFocusSettlePoll);
            front = desktop_.ForegroundProcess();
        }
        return front;
    }

    // The window in front, asked again for a moment while the system reports none.
    WindowId SettledFrontWindow() {
        WindowId front = desktop_.ForegroundWindow();
        const Milliseconds until = desktop_.Now() + kFocusSettle;
        while (front.value == 0 && desktop_.Now() < until) {
            desktop_.Sleep(kFocusSettlePoll);
            front = desktop_.ForegroundWindow();
        }
        return front;
    }

    [[nodiscard]] bool NeverTypedInto(WindowId window) const {
        const std::vector<WindowId>& never = hooks_.neverTypeInto;
        return window.value != 0 && std::find(never.begin(), never.end(), window) != never.end();
    }

    // A launched program without a main window of its own (a launcher that handed the launch to
    // another process and exited, a program that shows its window late or a splash screen
    // first): waits, responsive, for the launched program's main window or for another
    // program's to come to the front.
    [[nodiscard]] std::optional<PlaybackEnd> AwaitHandOff(TaskId task, const Status& activated) {
        if (activated) {
            return std::nullopt;
        }
        std::uint32_t code = activated.failure().code;
        if (code != kTaskEndedCode && code != kTaskHasNoWindowCode) {
            return std::nullopt;  // refused: the window in front is typed into, as before
        }
        const Milliseconds start = desktop_.Now();
        for (;;) {
            const std::uint32_t front = desktop_.ForegroundProcess();
            const WindowId window = desktop_.ForegroundWindow();
            // The desktop or the taskbar, in front once the window before has closed (a splash
            // screen), is no window a launch hands over to.
            const bool another = front != 0 && front != desktop_.OwnProcess() &&
                                 !desktop_.IsShellWindow(window) && !NeverTypedInto(window);
            // A window without a taskbar button is no program's main window: a splash screen,
            // which loses whatever is typed into it. The main window is waited for longer.
            const bool splash = another && !desktop_.HasTaskbarButton(window);
            if (another && !splash) {
                return std::nullopt;
            }
            const Milliseconds waited = desktop_.Now() - start;
            if (splash && waited >= kSplashWait) {
                program_ = desktop_.ProgramName(front);
                return PlaybackEnd::NoMainWindow;
            }
            if (!splash && waited >= kHandOffWait) {
                return std::nullopt;
            }
            // The launched program's main window once it has one; or, with nothing in front, a
            // window the launch opened behind the others (with Windows Terminal as the default
            // terminal, a console program's often does), which Quillrun may still bring forward:
            // the click on Start was the last input. Either is looked at again after a moment
            // rather than taken at once: an activation still under way (of the window before a
            // splash screen closed, say) can take the front from it.
            bool brought = false;
            if (code == kTaskHasNoWindowCode) {
                const Status again = desktop_.ActivateTask(task);
                brought = static_cast<bool>(again);
                if (!again) {
                    code = again.failure().code;
                }
            }
            if (!brought && !another) {
                static_cast<void>(desktop_.ActivateWindowOpenedSince(task));
            }
            desktop_.PumpEventsFor(kHandOffPoll);
            if (StopRequested(hooks_)) {
                return PlaybackEnd::Stopped;
            }
        }
    }

    DesktopServices& desktop_;
    const PlaybackHooks& hooks_;
    std::uint32_t owner_ = 0;  // the target's process: its name, rights and end
    WindowId target_;          // the top-level window typed into
    std::u16string program_;
    WindowId inputMethodWindow_;  // whose input method the run switched to Latin input
    InputMethodState inputMethodBefore_;
    std::uint64_t typed_ = 0;
    std::uint64_t attempted_ = 0;
    std::u16string lastFailure_;
    bool mayHaveArrived_ = false;
    bool passedOver_ = false;
};

// A failure of FilePieces::Rewind: the file is no longer the one the run opened.
constexpr std::uint32_t kFileChangedCode = 0xC0DE0001;

// The character that old DOS files end with (Ctrl+Z): the file's end, not text.
constexpr char16_t kEndOfFileMark = 0x1A;

// The file as the text reader gives it: a carriage return and line feed, a carriage return or a
// line feed alone each end a line, as editors read them; an end-of-file mark as the file's last
// character is dropped (and a last line that holds only that mark is no line).
class FilePieces final : public TextPieces {
  public:
    FilePieces(DesktopServices& desktop, ByteSource source, TextReader reader,
               const TextStamp& stamp)
        : desktop_(desktop), source_(std::move(source)), reader_(std::move(reader)), stamp_(stamp) {}
    Result<std::optional<LinePiece>> Next() override {
        auto piece = lookahead_ ? Result<std::optional<LinePiece>>(std::exchange(lookahead_, {}))
                                : reader_.ReadLinePiece();
        if (!piece || !piece.value()) {
            return piece;
        }
        LinePiece& taken = *piece.value();
        const bool startsLine = std::exchange(lineStart_, taken.endsLine);
        if (taken.text.empty() || taken.text.back() != kEndOfFileMark) {
            return piece;
        }
        auto next = reader_.ReadLinePiece();
        if (!next) {
            return next.failure();
        }
        if (next.value()) {
            lookahead_ = std::move(next).value();
            return piece;
        }
        // Old files pad their last block with marks.
        while (!taken.text.empty() && taken.text.back() == kEndOfFileMark) {
            taken.text.pop_back();
        }
        if (taken.text.empty() && startsLine) {
            return std::optional<LinePiece>();
        }
        return piece;
    }
    [[nodiscard]] std::uint64_t Done() const override { return reader_.BytesConsumed(); }
    [[nodiscard]] std::uint64_t Total() const override { return reader_.FileSize(); }
    // Fails with kFileChangedCode when the file is no longer the one the run opened: what was
    // checked before typing would not be what is typed.
    Status Rewind() override {
        auto reopened = TextReader::Open(desktop_, source_, LineEnds::Any);
        if (!reopened) {
            return reopened.failure();
        }
        if (reopened.value().FileSize() != stamp_.size ||
            reopened.value().LastWriteTime() != stamp_.lastWrite) {
            return Failure{"Rewind", u"The file has changed.", kFileChangedCode};
        }
        reader_ = std::move(reopened).value();
        lookahead_.reset();
        lineStart_ = true;
        return {};
    }

  private:
    DesktopServices& desktop_;
    ByteSource source_;
    TextReader reader_;
    TextStamp stamp_;
    std::optional<LinePiece> lookahead_;  // read to see whether an end mark ends the file
    bool lineStart_ = true;               // the next piece begins a line
};

// The two halves of a surrogate pair go as two key strings but are one character: counted as
// typed, or as not typed, once.
class PairTally {
  public:
    // Whether the key string of `c` completes a character typed: not the first half, nor the
    // second of a pair whose first was passed over.
    [[nodiscard]] bool Counts(char16_t c) const {
        return !IsHighSurrogate(c) && !(IsLowSurrogate(c) && high_ != 0 && highPassedOver_);
    }
    // After the key string of `c`: the character to note as not typed, if it was not.
    std::optional<char32_t> After(char16_t c, bool passedOver) {
        if (IsHighSurrogate(c)) {
            high_ = c;
            highPassedOver_ = passedOver;
            return std::nullopt;
        }
        const bool pair = high_ != 0 && IsLowSurrogate(c);
        const bool notTyped = passedOver || (pair && highPassedOver_);
        const char32_t character = pair ? CombineSurrogates(high_, c) : c;
        high_ = 0;
        highPassedOver_ = false;
        return notTyped ? std::optional<char32_t>(character) : std::nullopt;
    }

  private:
    char16_t high_ = 0;
    bool highPassedOver_ = false;
};

// Moves a position along a line by characters, not UTF-16 units: the two halves of a surrogate
// pair are one character, counted once its second half has passed.
class Cursor {
  public:
    explicit Cursor(TypingPosition& at) : at_(at) {}
    void Pass(char16_t c) {
        if (afterHigh_ && !IsLowSurrogate(c)) {
            ++at_.column;  // a lone first half counts as a character of its own
        }
        afterHigh_ = IsHighSurrogate(c);
        if (!afterHigh_) {
            ++at_.column;
        }
    }
    void Pass(std::u16string_view units) {
        for (const char16_t c : units) {
            Pass(c);
        }
    }
    void EndLine() {
        ++at_.line;
        at_.column = 1;
        afterHigh_ = false;
    }
    [[nodiscard]] const TypingPosition& at() const { return at_; }

  private:
    TypingPosition& at_;
    bool afterHigh_ = false;
};

// How much of the text the check for keys goes through between two turns of Quillrun's window
// (UTF-16 units): a long file is checked while the window stays responsive.
constexpr std::size_t kCheckUnitsPerPump = std::size_t{64} * 1024;

// A key sequence's step that the layout cannot type: a character without keys with keys only,
// or a shortcut whose keys cannot be planned (on a character that no key of the layout types by
// itself, or on a tab).
std::optional<PlaybackEnd> CheckStepKeys(DesktopServices& desktop, const SequenceStep& step,
                                         bool keysOnly, PlaybackResult& result) {
    if (!step.key || step.key->key) {
        return std::nullopt;  // a wait, or a named key: keys in any mode
    }
    const bool shortcut = step.key->modifiers != 0;
    const char16_t c = step.key->character;
    const bool typable = shortcut ? desktop.KeyStringTypable(KeyStringOf(*step.key))
                                  : !keysOnly || !desktop.FirstNotTypableAsKeys({&c, 1});
    if (typable) {
        return std::nullopt;
    }
    result.position.line = step.at.line;
    result.position.column = step.at.column;
    result.character = c;
    return shortcut ? PlaybackEnd::ShortcutNotOnLayout : PlaybackEnd::NotTypableAsKeys;
}

// Where in `units` the first character is that has no keys on the layout, control characters
// aside: they are passed over, never typed.
std::optional<std::size_t> FirstWithoutKeys(DesktopServices& desktop, std::u16string_view units) {
    for (std::size_t from = 0; from < units.size();) {
        const auto bad = desktop.FirstNotTypableAsKeys(units.substr(from));
        if (!bad) {
            return std::nullopt;
        }
        if (!IsNeverTypedControl(units[from + *bad])) {
            return from + *bad;
        }
        from += *bad + 1;
    }
    return std::nullopt;
}

// Keys only, or a layout chosen for the other computer, whose far side drops Unicode input:
// every character must have keys on the layout.
bool KeysOnly(const TypingOptions& typing) {
    return typing.keyMode == KeyMode::KeysOnly || !typing.layout.empty();
}

// How a failure to read the text again ends the run.
PlaybackEnd RereadFailed(const Failure& failure, PlaybackResult& result) {
    if (failure.code == kFileChangedCode) {
        return PlaybackEnd::ChangedAfterCheck;
    }
    result.reason = failure.reason;
    return PlaybackEnd::ReadFailed;
}

// Goes through the whole text before anything is typed: a key sequence must read without a
// fault, and with keys only, each character must have keys on the layout. The first that
// fails ends the run there, with its place. Leaves the text at its beginning.
std::optional<PlaybackEnd> CheckWholeText(DesktopServices& desktop, TextPieces& text,
                                          const PlaybackHooks& hooks, bool sequence,
                                          PlaybackResult& result) {
    const auto badSequence = [&](const SequenceError& error) {
        result.sequenceError = error;
        result.position.line = error.at.line;
        result.position.column = error.at.column;
        return PlaybackEnd::BadSequence;
    };
    const bool keysOnly = KeysOnly(hooks.typing);
    if (Status rewound = text.Rewind(); !rewound) {
        return RereadFailed(rewound.failure(), result);
    }
    TypingPosition at;
    Cursor cursor(at);
    SequenceReader reader;
    std::vector<SequenceStep> steps;
    std::size_t sincePump = 0;
    for (;;) {
        auto piece = text.Next();
        if (!piece) {
            return RereadFailed(piece.failure(), result);
        }
        if (!piece.value()) {
            break;
        }
        std::u16string& units = piece.value()->text;
        const WipedOnExit wiped(units, result.origin == TextOrigin::Secret);
        if (sequence) {
            steps.clear();
            if (const auto error = reader.Read(units, piece.value()->endsLine, steps)) {
                return badSequence(*error);
            }
            for (const SequenceStep& step : steps) {
                if (auto end = CheckStepKeys(desktop, step, keysOnly, result)) {
                    return end;
                }
            }
        } else if (const auto bad = keysOnly ? FirstWithoutKeys(desktop, units) : std::nullopt) {
            cursor.Pass(std::u16string_view(units).substr(0, *bad));
            result.position = at;
            result.character = CodePointAt(units, *bad);
            return PlaybackEnd::NotTypableAsKeys;
        }
        cursor.Pass(units);
        if (piece.value()->endsLine) {
            cursor.EndLine();
        }
        sincePump += units.size() + 1;
        if (sincePump >= kCheckUnitsPerPump) {
            sincePump = 0;
            desktop.PumpEvents();
            if (StopRequested(hooks)) {
                return PlaybackEnd::Stopped;
            }
        }
    }
    if (const auto error = sequence ? reader.Finish() : std::nullopt) {
        return badSequence(*error);
    }
    if (Status rewound = text.Rewind(); !rewound) {
        return RereadFailed(rewound.failure(), result);
    }
    return std::nullopt;
}

// How often a clipboard held open by another program is asked again.
constexpr Milliseconds kClipboardRetryPoll{20};

Result<std::optional<std::u16string>> ReadClipboard(DesktopServices& desktop) {
    const Milliseconds until = desktop.Now() + kClipboardRetryFor;
    for (;;) {
        auto text = desktop.ClipboardText();
        if (text || text.failure().code != kClipboardBusyCode || desktop.Now() >= until) {
            return text;
        }
        desktop.Sleep(kClipboardRetryPoll);
    }
}

// FNV-1a over the text's UTF-16 units: enough to tell a changed clipboard from the same text,
// without keeping the text, which may be a password.
std::uint64_t TextHash(std::u16string_view text) {
    std::uint64_t hash = 0xCBF29CE484222325;
    for (const char16_t unit : text) {
        for (const int shift : {0, 8}) {
            hash ^= (static_cast<std::uint64_t>(unit) >> shift) & 0xFF;
            hash *= 0x100000001B3;
        }
    }
    return hash;
}

PlaybackResult PlayPieces(DesktopServices& desktop, TextPieces& text, std::optional<TaskId> task,
                          const PlaybackHooks& hooks, PlaybackResult result,
                          const std::optional<RestOfRun>& rest) {
    // When activation fails (the target is gone, say), the file goes to whichever window is
    // in front instead, as before.
    const Status activated = task ? desktop.ActivateTask(*task) : Status();
    Typist typist(desktop, hooks);
    const auto ended = [&](PlaybackEnd end) {
        result.end = end;
        result.position.typed = typist.typed();
        result.position.nextMayHaveArrived = typist.mayHaveArrived();
        result.program = typist.program();
        // Every keystroke failed on its own (each is passed over): a run that typed nothing.
        if (end == PlaybackEnd::Finished && typist.attempted() > 0 && typist.typed() == 0) {
            result.end = PlaybackEnd::NothingConfirmed;
            result.position = {};
            result.reason = typist.lastFailure();
        }
        return result;
    };
    // The program ended as the keystroke that was the text's last went in: the run is done.
    const auto closedAtTheEnd = [&](PlaybackEnd end, bool lastOfPiece) {
        if (end != PlaybackEnd::TargetClosed || !typist.mayHaveArrived() || !lastOfPiece) {
            return false;
        }
        auto next = text.Next();
        if (!next || next.value()) {
            if (next && next.value() && result.origin == TextOrigin::Secret) {
                Wipe(next.value()->text);
            }
            return false;
        }
        typist.CountTheLastKeystroke();
        return true;
    };
    // A key sequence's keys come out of the text as the reader completes them.
    const bool sequence = rest ? rest->keySequence : hooks.typing.keySequences;
    result.keySequence = sequence;
    SequenceReader reader;
    std::vector<SequenceStep> steps;
    // The program ended as the key that was the sequence's last went in: nothing but line ends
    // (and groups' parentheses) follows it in the text.
    const auto closedAfterTheLastKey = [&](PlaybackEnd end) {
        if (end != PlaybackEnd::TargetClosed || !typist.mayHaveArrived()) {
            return false;
        }
        SequenceReader after = reader;
        std::vector<SequenceStep> more;
        for (auto next = text.Next();; next = text.Next()) {
            if (!next) {
                return false;
            }
            if (!next.value()) {
                break;
            }
            if (after.Read(next.value()->text, next.value()->endsLine, more) || !more.empty()) {
                return false;
            }
        }
        typist.CountTheLastKeystroke();
        return true;
    };
    TypingPosition& at = result.position;
    Cursor cursor(at);
    // Where the next piece begins, in every mode: for the place of the first byte that was not
    // UTF-8.
    TypingPosition read;
    Cursor reading(read);
    PairTally pairs;
    bool begun = false;
    bool lineEnded = false;  // an Enter was typed and more may follow
    // After a line's Enter, before the next key: not after the text's last, nothing follows it.
    const auto waitAfterEnter = [&]() -> std::optional<PlaybackEnd> {
        if (std::exchange(lineEnded, false) && hooks.typing.lineWait > Milliseconds{0}) {
            return typist.Wait(hooks.typing.lineWait);
        }
        return std::nullopt;
    };
    // Types the keys that a part of a key sequence completes, each key as its own key string;
    // the reason to end the run, if any.
    const auto typeSequencePart = [&](const std::u16string& units,
                                      bool endsLine) -> std::optional<PlaybackEnd> {
        steps.clear();
        if (const auto error = reader.Read(units, endsLine, steps)) {
            // Read whole before the first key; changed since (a file written meanwhile).
            result.sequenceError = *error;
            return PlaybackEnd::BadSequence;
        }
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const SequenceStep& step = steps[i];
            if (rest && step.at < TextPlace{rest->from.line, rest->from.column}) {
                continue;
            }
            at.line = step.at.line;
            at.column = step.at.column;
            if (!step.key) {
                if (auto end = typist.Wait(step.wait)) {
                    return end;
                }
                continue;
            }
            const std::u16string keys = KeyStringOf(*step.key);
            for (std::uint32_t press = 0; press < step.count; ++press) {
                if (auto end = waitAfterEnter()) {
                    return end;
                }
                const char16_t c = step.key->key ? u'\0' : step.key->character;
                if (auto end = typist.Type(keys, pairs.Counts(c))) {
                    const bool last = i + 1 == steps.size() && press + 1 == step.count;
                    return last && closedAfterTheLastKey(*end) ? PlaybackEnd::Finished : *end;
                }
                if (const auto notTyped = pairs.After(c, typist.PassedOver())) {
                    result.notTyped.Note(at, *notTyped);
                }
                lineEnded = step.IsEnter();
            }
        }
        const TextPlace next = reader.NextPlace();
        at.line = next.line;
        at.column = next.column;
        return std::nullopt;
    };
    for (;;) {
        // A long line comes in pieces, so that a file of one huge line needs little memory.
        auto piece = text.Next();
        if (!piece) {
            result.reason = piece.failure().reason;
            return ended(PlaybackEnd::ReadFailed);
        }
        if (hooks.progress) {
            hooks.progress(text.Done(), text.Total());
        }
        if (!piece.value()) {
            return ended(PlaybackEnd::Finished);
        }
        // A secret's piece is a copy of it: wiped however the piece is left, also before typing.
        const WipedOnExit wipedPiece(piece.value()->text, result.origin == TextOrigin::Secret);
        // An empty file types nothing and needs no window to type into.
        if (!begun) {
            if (auto end = typist.Begin(task, activated, hooks.typing)) {
                if (end == PlaybackEnd::LayoutMissing) {
                    result.reason = desktop.KeyboardLayoutName(hooks.typing.layout);
                }
                return ended(*end);
            }
            begun = true;
            if (sequence || KeysOnly(hooks.typing)) {
                if (auto end = CheckWholeText(desktop, text, hooks, sequence, result)) {
                    // A layout chosen for the other computer decides, keys only or not.
                    if (end == PlaybackEnd::NotTypableAsKeys && !hooks.typing.layout.empty()) {
                        result.layoutName = desktop.KeyboardLayoutName(hooks.typing.layout);
                    }
                    return ended(*end);
                }
                continue;  // typing starts from the beginning again
            }
        }
        const std::u16string& units = piece.value()->text;
        const bool endsLine = piece.value()->endsLine;
        if (const auto invalid = piece.value()->firstInvalid;
            invalid && result.invalidBytes.count == 0) {
            TypingPosition there = read;
            Cursor(there).Pass(std::u16string_view(units).substr(0, *invalid));
            result.invalidBytes.Note(there, 0);
        }
        reading.Pass(units);
        if (endsLine) {
            reading.EndLine();
        }
        if (sequence) {
            if (auto end = typeSequencePart(units, endsLine)) {
                return ended(*end);
            }
            if (endsLine) {
                desktop.PumpEvents();
                if (StopRequested(hooks)) {
                    return ended(PlaybackEnd::Stopped);
                }
            }
            continue;
        }
        if (auto end = waitAfterEnter()) {
            return ended(*end);
        }
        // The rest of a stopped run: what lies before its first character is passed over.
        if (rest && at.line < rest->from.line) {
            cursor.Pass(units);
            if (endsLine) {
                cursor.EndLine();
            }
            continue;
        }
        std::size_t first = 0;
        if (rest && at.line == rest->from.line) {
            for (; first < units.size() && at.column < rest->from.column; ++first) {
                cursor.Pass(units[first]);
            }
        }
        for (std::size_t i = first; i < units.size(); ++i) {
            const char16_t c = units[i];
            // Edit boxes take 0x08 as a deletion, 0x03, 0x16 and 0x18 as copy, paste and cut,
            // 0x1A as undo, rich edit boxes 0x7F as a deletion of the word before.
            if (IsNeverTypedControl(c)) {
                result.controls.Note(at, c);
                cursor.Pass(c);
                continue;
            }
            std::u16string keys = EscapeKeyChar(c);
            const WipedOnExit wipedKeys(keys, result.origin == TextOrigin::Secret);
            if (auto end = typist.Type(keys, pairs.Counts(c))) {
                if (closedAtTheEnd(*end, !endsLine && i + 1 == units.size())) {
                    cursor.Pass(c);
                    return ended(PlaybackEnd::Finished);
                }
                return ended(*end);
            }
            if (const auto notTyped = pairs.After(c, typist.PassedOver())) {
                result.notTyped.Note(at, *notTyped);
            }
            cursor.Pass(c);
        }
        if (!endsLine) {
            continue;
        }
        if (auto end = typist.Type(kLineEndKeys)) {
            if (closedAtTheEnd(*end, true)) {
                cursor.EndLine();
                return ended(PlaybackEnd::Finished);
            }
            return ended(*end);
        }
        if (typist.PassedOver()) {
            result.notTyped.Note(at, 0);
        }
        cursor.EndLine();
        lineEnded = true;
        desktop.PumpEvents();
        if (StopRequested(hooks)) {
            return ended(PlaybackEnd::Stopped);
        }
    }
}

}  // namespace

PlaybackResult OpenFailure(std::u16string_view path, const Failure& failure) {
    PlaybackResult result;
    // A device (CON, COM1), which the desktop never opens for reading: the name is one Windows
    // keeps for it.
    if (failure.code == kIsDeviceCode) {
        result.end = PlaybackEnd::ReservedName;
        result.path = path;
        return result;
    }
    // An empty path box, or one that still names a folder (Quillrun's own, as it starts): no
    // file was named, and nothing is said. Any other path named a file to type.
    if (!path.empty() && failure.code != kIsFolderCode) {
        result.end = PlaybackEnd::OpenFailed;
        result.path = path;
        result.reason = failure.reason;
    }
    return result;
}

PlaybackResult PlayTextFile(DesktopServices& desktop, std::u16string_view path,
                            std::optional<TaskId> task, const PlaybackHooks& hooks,
                            const std::optional<RestOfRun>& rest) {
    PlaybackResult result;
    result.intoPickedWindow = !task;
    auto reader = TextReader::Open(desktop, path, LineEnds::Any);
    if (!reader) {
        return OpenFailure(path, reader.failure());
    }
    result.stamp = {
        .size = reader.value().FileSize(), .lastWrite = reader.value().LastWriteTime(), .hash = 0};
    if (rest && rest->stamp != result.stamp) {
        result.end = PlaybackEnd::TextChanged;
        result.path = path;
        return result;
    }
    FilePieces pieces(
        desktop, [&desktop, path] { return desktop.OpenForReading(path); },
        std::move(reader).value(), result.stamp);
    result = PlayPieces(desktop, pieces, task, hooks, std::move(result), rest);
    if (result.end == PlaybackEnd::ChangedAfterCheck) {
        result.path = path;
    }
    return result;
}

PlaybackResult PlaySecret(DesktopServices& desktop, const SecretEntry& entry,
                          const PlaybackHooks& hooks) {
    PlaybackResult result;
    result.origin = TextOrigin::Secret;
    result.intoPickedWindow = true;
    PlaybackHooks literal = hooks;
    literal.typing.keySequences = false;
    // One buffer on the heap, whatever the secret's length (a short string would keep its text
    // inside itself, and a move would copy it): moved to the pieces, which wipe it.
    std::u16string text;
    text.reserve(std::max<std::size_t>(entry.text.size() + 1, 32));
    text.append(entry.text);
    if (entry.pressEnter) {
        text += u'\r';
    }
    {
        MemoryTextPieces pieces(std::move(text));
        result = PlayPieces(desktop, pieces, std::nullopt, literal, std::move(result), std::nullopt);
    }
    desktop.ForgetKeys();
    // The places stay for the message; the characters at them are the secret's.
    result.character = 0;
    result.controls.character = 0;
    result.notTyped.character = 0;
    return result;
}

PlaybackResult PlayTextBytes(DesktopServices& desktop, std::string_view bytes,
                             std::optional<TaskId> task, const PlaybackHooks& hooks) {
    PlaybackResult result;
    result.origin = TextOrigin::StandardInput;
    result.intoPickedWindow = !task;
    ByteSource source = [bytes]() -> Result<std::unique_ptr<ByteReader>> {
        return std::unique_ptr<ByteReader>(std::make_unique<MemoryByteReader>(bytes));
    };
    auto reader = TextReader::Open(desktop, source, LineEnds::Any);
    if (!reader) {
        result.end = PlaybackEnd::ReadFailed;  // held in memory: never, but not hidden either
        result.reason = reader.failure().reason;
        return result;
    }
    result.stamp.size = bytes.size();
    FilePieces pieces(desktop, std::move(source), std::move(reader).value(), result.stamp);
    return PlayPieces(desktop, pieces, task, hooks, std::move(result), std::nullopt);
}

PlaybackResult PlayClipboard(DesktopServices& desktop, const PlaybackHooks& hooks,
                             const std::optional<RestOfRun>& rest, std::optional<TaskId> task) {
    PlaybackResult result;
    result.origin = TextOrigin::Clipboard;
    result.intoPickedWindow = !task;
    auto text = ReadClipboard(desktop);
    if (!text) {
        if (text.failure().code == kClipboardBusyCode) {
            result.end = PlaybackEnd::ClipboardBusy;
        } else {
            result.end = PlaybackEnd::ClipboardUnreadable;
            result.reason = text.failure().reason;
        }
        return result;
    }
    if (!text.value() || text.value()->empty()) {
        result.end = PlaybackEnd::NoText;
        return result;
    }
    result.stamp.hash = TextHash(*text.value());
    if (rest && rest->stamp != result.stamp) {
        result.end = PlaybackEnd::TextChanged;
        return result;
    }
    MemoryTextPieces pieces(*std::move(text).value());
    return PlayPieces(desktop, pieces, task, hooks, std::move(result), rest);
}

}  // namespace quillrun
