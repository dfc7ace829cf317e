#include "tests/fake/fake_desktop.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "keys/hot_key.h"
#include "keys/key_string.h"
#include "text/utf.h"

#if __has_include(<iconv.h>)
#include <iconv.h>
#define QUILLRUN_FAKE_HAS_ICONV 1
#elif defined(_WIN32)
// Built natively on Windows, where there is no iconv: the system converts, as strictly.
#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the SDK's macros
#endif
#include "win32/win32_text.h"
#define QUILLRUN_FAKE_CONVERTS_BY_WIN32 1
#endif

namespace quillrun {
namespace {

constexpr std::uint32_t kUtf8CodePage = 65001;

std::u16string FoldCase(std::u16string_view path) {
    std::u16string key(path);
    std::transform(key.begin(), key.end(), key.begin(), [](char16_t c) {
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
    });
    return key;
}

std::u16string Ascii(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

// "#" and the number: how calls name tasks and windows. (Built by appending: GCC 12 warns
// falsely about "#" + std::to_string(n).)
std::u16string Numbered(std::uint64_t n) {
    std::u16string text = u"#";
    text += Ascii(std::to_string(n));
    return text;
}

// The key events of `chord` as far as a hot key tells them: its modifiers held around its key.
// A letter's or digit's key is its capital's code on every layout; other characters' keys are
// the layout's, which the fake has none of, so they press no hot key here.
std::vector<KeyEvent> HotKeyEventsOf(const KeyChord& chord) {
    constexpr std::pair<std::uint8_t, std::uint8_t> kModifierKeys[] = {
        {kShiftBit, vk::kShift}, {kControlBit, vk::kControl}, {kAltBit, vk::kAlt}};
    std::vector<KeyEvent> events;
    for (const auto& [bit, key] : kModifierKeys) {
        if ((chord.modifiers & bit) != 0) {
            events.push_back({.kind = KeyEvent::Kind::VirtualKey, .code = key});
        }
    }
    char16_t key = chord.key ? chord.key->virtualKey : chord.character;
    if (key >= u'a' && key <= u'z') {
        key = static_cast<char16_t>(key - u'a' + u'A');
    }
    if (chord.key || (key >= u'A' && key <= u'Z') || (key >= u'0' && key <= u'9')) {
        events.push_back({.kind = KeyEvent::Kind::VirtualKey, .code = key});
    }
    return events;
}

bool IsAbsolute(std::u16string_view path) {
    return (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') || path.starts_with(u"\\\\");
}

class MemoryReader final : public ByteReader {
  public:
    MemoryReader(std::string bytes, std::size_t pieceLimit, std::uint64_t written,
                 bool sized = true)
        : bytes_(std::move(bytes)), pieceLimit_(pieceLimit), written_(written), sized_(sized) {}
    Result<std::size_t> Read(std::span<char> buffer) override {
        std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
        if (pieceLimit_ != 0) {
            count = std::min(count, pieceLimit_);
        }
        std::copy_n(bytes_.data() + position_, count, buffer.data());
        position_ += count;
        return count;
    }
    [[nodiscard]] std::uint64_t Size() const override { return sized_ ? bytes_.size() : 0; }
    [[nodiscard]] std::uint64_t LastWriteTime() const override { return written_; }

  private:
    std::string bytes_;
    std::size_t pieceLimit_;
    std::uint64_t written_;
    bool sized_;
    std::size_t position_ = 0;
};

#ifdef QUILLRUN_FAKE_HAS_ICONV
// Code page numbers to the names glibc's iconv knows them by.
std::string IconvName(std::uint32_t codePage) {
    switch (codePage) {
        case 932:
            return "CP932";
        case 936:
            return "CP936";
        case 949:
            return "CP949";
        case 950:
            return "CP950";
        default:
            return "CP" + std::to_string(codePage);
    }
}

std::optional<std::string> Iconv(const std::string& to, const std::string& from,
                                 std::string_view input) {
    // Opening a conversion costs far more than a short line's conversion: keep each one open
    // for the life of the process (tests and fuzzing run on one thread).
    struct Conversions {
        std::map<std::pair<std::string, std::string>, iconv_t> open;
        Conversions() = default;
        Conversions(const Conversions&) = delete;
        Conversions& operator=(const Conversions&) = delete;
        ~Conversions() {
            for (auto& [names, cd] : open) {
                if (cd != reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr)
                    iconv_close(cd);
                }
            }
        }
    };
    static Conversions conversions;
    auto [it, added] = conversions.open.try_emplace({to, from}, nullptr);
    if (added) {
        it->second = iconv_open(to.c_str(), from.c_str());
    }
    iconv_t cd = it->second;
    // (iconv_t)-1 is how iconv_open says it failed.
    if (cd == reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr)
        return std::nullopt;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    std::string out(input.size() * 4 + 16, '\0');
    std::string in(input);
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (rc == static_cast<std::size_t>(-1) || inLeft != 0) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}
#endif

}  // namespace

void FakeDesktop::FailNext(const std::string& operation, Failure failure) {
    failures_[operation].push_back(std::move(failure));
}

void FakeDesktop::QueueDialogAnswer(Result<std::u16string> answer) {
    dialogAnswers_.push_back(std::move(answer));
}

void FakeDesktop::PutFile(std::u16string_view path, std::string bytes) {
    const std::u16string key = FoldCase(Resolve(path));
    files_[key] = std::move(bytes);
    writeTimes_[key] = ++writes_;
}

void FakeDesktop::PutFolder(std::u16string_view path) {
    folders_[FoldCase(Resolve(path))] = true;
}

void FakeDesktop::PutDevice(std::u16string_view path) {
    devices_.insert(FoldCase(Resolve(path)));
}

std::optional<std::string> FakeDesktop::FileBytes(std::u16string_view path) const {
    const auto it = files_.find(FoldCase(Resolve(path)));
    if (it == files_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::vector<FakeDesktop::Call> FakeDesktop::CallsOf(const std::string& operation) const {
    std::vector<Call> matching;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
                 [&](const Call& call) { return call.operation == operation; });
    return matching;
}

void FakeDesktop::Advance(Milliseconds duration) {
    const Milliseconds until = now_ + duration;
    while (timerEnabled_ && nextTick_ <= until) {
        now_ = nextTick_;
        nextTick_ += interval_;
        Record("Tick");
        if (onTick) {
            onTick();
        }
    }
    now_ = std::max(now_, until);
}

void FakeDesktop::Record(std::string operation, std::u16string argument) {
    calls_.push_back({std::move(operation), std::move(argument)});
}

std::optional<Failure> FakeDesktop::TakeScriptedFailure(const std::string& operation) {
    auto it = failures_.find(operation);
    if (it == failures_.end() || it->second.empty()) {
        return std::nullopt;
    }
    Failure failure = std::move(it->second.front());
    it->second.pop_front();
    return failure;
}

std::u16string FakeDesktop::Resolve(std::u16string_view path) const {
    if (IsAbsolute(path)) {
        return std::u16string(path);
    }
    return workingFolder + u"\\" + std::u16string(path);
}

void FakeDesktop::FireDueTicks() {
    Advance(Milliseconds{0});
}

Result<TaskId> FakeDesktop::LaunchProgram(std::u16string_view commandLine) {
    Record("LaunchProgram", std::u16string(commandLine));
    if (auto failure = TakeScriptedFailure("LaunchProgram")) {
        return *std::move(failure);
    }
    if (commandLine.empty()) {
        return Failure{"LaunchProgram", u"The system cannot find the file specified.", 2};
    }
    const TaskId task{nextTask_++};
    launched_.push_back(task);
    return task;
}

Status FakeDesktop::ActivateTask(TaskId task) {
    Record("ActivateTask", Numbered(task.value));
    if (auto failure = TakeScriptedFailure("ActivateTask")) {
        return *std::move(failure);
    }
    if (std::find(launched_.begin(), launched_.end(), task) == launched_.end() ||
        released_.contains(task.value)) {
        return Failure{"ActivateTask", u"The handle is invalid.", 6};
    }
    foregroundProcess = ProcessOf(task);
    foregroundWindow = 0;
    // What comes to the front is the main window, which has a taskbar button (a process has
    // one window here, so the splash screen it replaces is gone).
    windowsWithoutTaskbarButton.erase(foregroundProcess);
    return {};
}

void FakeDesktop::ReleaseTask(TaskId task) {
    Record("ReleaseTask", Numbered(task.value));
    released_.insert(task.value);
}

Status FakeDesktop::ActivateWindowOpenedSince(TaskId task) {
    Record("ActivateWindowOpenedSince", Numbered(task.value));
    if (openedBehind.empty()) {
        return Failure{"ActivateWindowOpenedSince", u"No window.", kTaskHasNoWindowCode};
    }
    foregroundProcess = openedBehind.front();
    foregroundWindow = 0;
    return {};
}

Status FakeDesktop::SendKeyString(std::u16string_view keys, WindowId window) {
    // As the real side: keys only between BeginTyping and EndTyping, only for a key string of
    // one key that the run's rules plan keys for, and nothing to another window than the one
    // named, whoever's it is.
    if (!typing_) {
        Record("KeysRefused", std::u16string(keys));
        return Failure{"SendKeyString", u"No run is typing.", kNotTypingCode};
    }
    const Result<KeyChord> chord = ParseKeyString(keys);
    if (!chord) {
        Record("KeysRefused", std::u16string(keys));
        return chord.failure();
    }
    if (!KeyStringTypable(keys)) {
        Record("KeysRefused", std::u16string(keys));
        return Failure{"SendKeyString", u"No keys for it.", kNoKeysCode};
    }
    if (ForegroundWindow() != window) {
        Record("KeysRefused", std::u16string(keys));
        return Failure{"SendKeyString", u"Another window is in front.", kNoWindowInFrontCode};
    }
    if (keyHeld && waitWhileKeysHeld_) {
        Record("KeysHeld", std::u16string(keys));
        return Failure{"SendKeyString", u"A key is held.", kKeysHeldCode};
    }
    Record("SendKeyString", std::u16string(keys));
    std::optional<Failure> failure = TakeScriptedFailure("SendKeyString");
    // As the real side, the hot key the keys press is let go of for them and asked for again.
    const bool pressesHotKey = PressesHotKey(HotKeyEventsOf(chord.value()), registeredHotKey);
    if (onKeys) {
        onKeys(keys);
    }
    if (pressesHotKey &&
        std::find(hotKeysTaken.begin(), hotKeysTaken.end(), hotKeyAsked_) != hotKeysTaken.end()) {
        registeredHotKey = {};
    }
    if (failure) {
        return *std::move(failure);
    }
    return {};
}

Status FakeDesktop::RegisterHotKey(HotKey key) {
    Record("RegisterHotKey", Ascii(std::to_string(key.modifiers) + "+" + std::to_string(key.key)));
    hotKeyAsked_ = key;
    if (!key.None() &&
        std::find(hotKeysTaken.begin(), hotKeysTaken.end(), key) != hotKeysTaken.end()) {
        registeredHotKey = {};  // the one before was let go first
        return Failure{"RegisterHotKey", u"Hot key is already registered.", kHotKeyTakenCode};
    }
    registeredHotKey = key;
    return {};
}

void FakeDesktop::QueueHotKeyAnswer(std::optional<HotKey> answer) {
    hotKeyAnswers_.push_back(answer);
}

void FakeDesktop::QueueSecretAnswer(std::optional<SecretEntry> answer) {
    secretAnswers_.push_back(std::move(answer));
}

std::optional<SecretEntry> FakeDesktop::AskSecret(const SecretDialog& dialog) {
    Record("AskSecret");
    secretDialogs_.push_back(dialog);
    if (secretAnswers_.empty()) {
        return std::nullopt;
    }
    std::optional<SecretEntry> answer = std::move(secretAnswers_.front());
    secretAnswers_.pop_front();
    // The single-line box holds no line break, nor more than it takes.
    if (answer && (answer->text.empty() || answer->text.size() > kMaxSecretLength ||
                   answer->text.find_first_of(u"\r\n") != std::u16string::npos ||
                   (dialog.refusal && !dialog.refusal(answer->text.size()).empty()))) {
        Record("SecretRefused");
        return std::nullopt;
    }
    return answer;
}

std::optional<HotKey> FakeDesktop::AskHotKey(const HotKeyDialog& dialog) {
    hotKeyDialogs_.push_back(dialog);
    if (hotKeyAnswers_.empty()) {
        return std::nullopt;
    }
    const std::optional<HotKey> answer = hotKeyAnswers_.front();
    hotKeyAnswers_.pop_front();
    if (!answer) {
        return std::nullopt;
    }
    // As the real dialog: its control has no Win key, and it offers no OK while it says why
    // the key it holds is refused, so that the user can only cancel.
    HotKey pressed = *answer;
    pressed.modifiers = static_cast<std::uint8_t>(pressed.modifiers & ~HotKey::kWin);
    const HotKey chosen = KeyOfControl(pressed, dialog.current);
    if (std::u16string why = dialog.refusal ? dialog.refusal(chosen) : u""; !why.empty()) {
        Record("HotKeyRefused", std::move(why));
        return std::nullopt;
    }
    return chosen;
}

Status FakeDesktop::BeginTyping(const TypingOptions& options) {
    Record("BeginTyping",
           Ascii("pace=" + std::to_string(options.pace.count()) + ";keys=" +
                 (options.keyMode == KeyMode::KeysOnly ? "only" : "unicode") + ";layout=") +
               options.layout);
    if (auto failure = TakeScriptedFailure("BeginTyping")) {
        return *std::move(failure);
    }
    waitWhileKeysHeld_ = options.waitWhileKeysHeld;
    keysOnly_ = options.keyMode == KeyMode::KeysOnly || !options.layout.empty();
    const auto installed = InstalledKeyboardLayouts();
    if (!options.layout.empty() &&
        std::find(installed.begin(), installed.end(), options.layout) == installed.end()) {
        return Failure{"BeginTyping", u"Element not found.", kLayoutMissingCode};
    }
    typing_ = true;
    return {};
}

bool FakeDesktop::KeyStringTypable(std::u16string_view keys) {
    const Result<KeyChord> chord = ParseKeyString(keys);
    if (!chord) {
        return false;
    }
    if (chord.value().key) {
        return true;
    }
    const char16_t c = chord.value().character;
    const bool onLayout = keyCharacters.find(c) != std::u16string::npos;
    if (chord.value().modifiers != 0) {
        // A shortcut is a key, never a Unicode event, and no key is shifted Tab or Enter.
        return onLayout && c >= 0x20 && c != 0x7F;
    }
    return !IsNeverTypedControl(c) && (onLayout || !keysOnly_);
}

std::optional<std::size_t> FakeDesktop::FirstNotTypableAsKeys(std::u16string_view text) {
    const std::size_t bad = text.find_first_not_of(keyCharacters);
    return bad == std::u16string_view::npos ? std::nullopt : std::optional<std::size_t>(bad);
}

std::vector<std::u16string> FakeDesktop::InstalledKeyboardLayouts() {
    std::vector<std::u16string> ids;
    for (const auto& [id, name] : keyboardLayouts) {
        ids.push_back(id);
    }
    return ids;
}

std::u16string FakeDesktop::KeyboardLayoutName(std::u16string_view id) {
    for (const auto& [known, name] : keyboardLayouts) {
        if (known == id) {
            return name;
        }
    }
    return std::u16string(id);
}

void FakeDesktop::EndTyping() {
    Record("EndTyping");
    typing_ = false;
}

void FakeDesktop::PumpEvents() {
    Record("PumpEvents");
    FireDueTicks();
    if (onPump) {
        onPump();
    }
}

void FakeDesktop::PumpEventsFor(Milliseconds duration) {
    Record("PumpEventsFor", Ascii("ms=" + std::to_string(duration.count())));
    Advance(duration);
    if (onPump) {
        onPump();
    }
}

InputAccess FakeDesktop::InputAccessTo(std::uint32_t process) {
    const auto it = inputAccess.find(process);
    return it == inputAccess.end() ? InputAccess::Allowed : it->second;
}

std::u16string FakeDesktop::ProgramName(std::uint32_t process) {
    const auto it = programNames.find(process);
    return it == programNames.end() ? std::u16string() : it->second;
}

std::optional<InputMethodState> FakeDesktop::InputMethodStatus(WindowId window) {
    if (lagLeft_ > 0) {
        --lagLeft_;
    } else {
        for (const auto& [id, state] : pendingInputMethods_) {
            inputMethods[id] = state;
        }
        pendingInputMethods_.clear();
    }
    const auto it = inputMethods.find(window.value);
    if (it == inputMethods.end()) {
        return std::nullopt;
    }
    return it->second;
}

bool FakeDesktop::SetInputMethodStatus(WindowId window, InputMethodState state) {
    Record("SetInputMethodStatus", Numbered(window.value) + (state.open ? u" open " : u" closed ") +
                                       Numbered(state.conversion).substr(1));
    if (!inputMethods.contains(window.value)) {
        return false;
    }
    if (inputMethodLag > 0) {
        pendingInputMethods_[window.value] = state;
        lagLeft_ = inputMethodLag;
    } else {
        inputMethods[window.value] = state;
    }
    return true;
}

Result<std::optional<std::u16string>> FakeDesktop::ClipboardText() {
    Record("ClipboardText");
    if (auto failure = TakeScriptedFailure("ClipboardText")) {
        return *std::move(failure);
    }
    return clipboard;
}

std::u16string FakeDesktop::AppFolder() {
    Record("AppFolder");
    return appFolder;
}

Result<std::u16string> FakeDesktop::AskFileToOpen(std::span<const FileTypeFilter> filters) {
    std::u16string described;
    for (const FileTypeFilter& filter : filters) {
        described += filter.name + u"|" + filter.pattern + u"|";
    }
    Record("AskFileToOpen", described);
    if (auto failure = TakeScriptedFailure("AskFileToOpen")) {
        return *std::move(failure);
    }
    if (dialogAnswers_.empty()) {
        return Failure{"AskFileToOpen", u"Cancelled by the user.", 0};
    }
    Result<std::u16string> answer = std::move(dialogAnswers_.front());
    dialogAnswers_.pop_front();
    return answer;
}

void FakeDesktop::EnableTimer(Milliseconds interval) {
    Record("EnableTimer", Ascii("ms=" + std::to_string(interval.count())));
    // Like SetTimer on a running timer: the interval starts afresh.
    timerEnabled_ = true;
    interval_ = interval;
    nextTick_ = now_ + interval;
}

void FakeDesktop::DisableTimer() {
    Record("DisableTimer");
    timerEnabled_ = false;
}

std::vector<TitledWindow> FakeDesktop::TitledWindows() {
    Record("TitledWindows");
    std::vector<TitledWindow> open;
    for (const TitledWindow& window : titledWindows) {
        if (!WindowClosed(window.window) && !endedProcesses.contains(window.process) &&
            !windowsWithoutTaskbarButton.contains(window.window.value)) {
            open.push_back(window);
        }
    }
    return open;
}

Status FakeDesktop::ActivateWindow(WindowId window) {
    Record("ActivateWindow", Numbered(window.value));
    if (auto failure = TakeScriptedFailure("ActivateWindow")) {
        return *std::move(failure);
    }
    const auto titled = std::find_if(titledWindows.begin(), titledWindows.end(),
                                     [&](const TitledWindow& w) { return w.window == window; });
    const std::uint64_t process = titled != titledWindows.end() ? titled->process : window.value;
    if (window.value == 0 || WindowClosed(window) || process > 0xFFFFFFFF ||
        endedProcesses.contains(static_cast<std::uint32_t>(process))) {
        return Failure{"ActivateWindow", u"Invalid window handle.", kTaskHasNoWindowCode};
    }
    foregroundProcess = static_cast<std::uint32_t>(process);
    foregroundWindow = window.value == process ? 0 : window.value;
    return {};
}

Result<std::unique_ptr<ByteReader>> FakeDesktop::OpenStandardInput() {
    Record("OpenStandardInput");
    if (auto failure = TakeScriptedFailure("OpenStandardInput")) {
        return *std::move(failure);
    }
    // A pipe: its size is not known, and what is read of it is gone.
    return std::unique_ptr<ByteReader>(
        std::make_unique<MemoryReader>(std::exchange(standardInput, {}), readPieceLimit, 0, false));
}

Result<std::unique_ptr<ByteReader>> FakeDesktop::OpenForReading(std::u16string_view path) {
    Record("OpenForReading", std::u16string(path));
    if (auto failure = TakeScriptedFailure("OpenForReading")) {
        return *std::move(failure);
    }
    const std::u16string key = FoldCase(Resolve(path));
    // The executable's folder is there, whatever else a test put.
    if (folders_.contains(key) || key == FoldCase(appFolder)) {
        return Failure{"OpenForReading", u"The directory name is invalid.", kIsFolderCode};
    }
    if (devices_.contains(key)) {
        return Failure{"OpenForReading", u"The file type being saved or retrieved has been blocked.",
                       kIsDeviceCode};
    }
    const auto it = files_.find(key);
    if (path.empty() || it == files_.end()) {
        return Failure{"OpenForReading", u"The system cannot find the file specified.", 2};
    }
    return std::unique_ptr<ByteReader>(
        std::make_unique<MemoryReader>(it->second, readPieceLimit, writeTimes_[key]));
}

Status FakeDesktop::ReplaceFileContents(std::u16string_view path, std::string_view bytes) {
    Record("ReplaceFileContents", std::u16string(path));
    if (auto failure = TakeScriptedFailure("ReplaceFileContents")) {
        return *std::move(failure);  // the old file, if any, stays as it was
    }
    const std::u16string key = FoldCase(Resolve(path));
    files_[key] = std::string(bytes);
    writeTimes_[key] = ++writes_;
    return {};
}

Result<std::u16string> FakeDesktop::DecodeCodePage(std::uint32_t codePage, std::string_view bytes) {
    if (codePage == kUtf8CodePage) {
        if (auto text = Utf8ToUtf16(bytes)) {
            return *std::move(text);
        }
        return Failure{"DecodeCodePage", u"No mapping for the Unicode character exists.", 1113};
    }
#ifdef QUILLRUN_FAKE_HAS_ICONV
    if (auto utf8 = Iconv("UTF-8", IconvName(codePage), bytes)) {
        if (auto text = Utf8ToUtf16(*utf8)) {
            return *std::move(text);
        }
    }
#elif defined(QUILLRUN_FAKE_CONVERTS_BY_WIN32)
    if (auto text = win32::DecodeCodePageText(codePage, bytes, true)) {
        return std::move(text).value();
    }
#endif
    return Failure{"DecodeCodePage", u"No mapping for the Unicode character exists.", 1113};
}

Result<std::string> FakeDesktop::EncodeCodePage(std::uint32_t codePage, std::u16string_view text) {
    const std::string utf8 = Utf16ToUtf8(text);
    if (codePage == kUtf8CodePage) {
        return utf8;
    }
#ifdef QUILLRUN_FAKE_HAS_ICONV
    if (auto bytes = Iconv(IconvName(codePage), "UTF-8", utf8)) {
        return *std::move(bytes);
    }
#elif defined(QUILLRUN_FAKE_CONVERTS_BY_WIN32)
    if (auto bytes = win32::EncodeCodePageText(codePage, text)) {
        return std::move(bytes).value();
    }
#endif
    return Failure{"EncodeCodePage", u"No mapping for the Unicode character exists.", 1113};
}

void FakeDesktop::Sleep(Milliseconds duration) {
    // A sleeping UI thread handles no messages: time passes, but no tick fires until a pump.
    Record("Sleep");
    now_ += duration;
    if (onSleep) {
        onSleep();
    }
}

}  // namespace quillrun
