#include "app/start_menu.h"

#include <algorithm>

#include "keys/hot_key.h"
#include "text/utf.h"

namespace quillrun {
namespace {

// Identifiers of the choices, clear of the commands' and of each other's ranges. The layouts,
// as many as are installed, come last, above every fixed identifier.
constexpr int kFirstPaceId = 211;  // the menu's paces, then one set by hand
constexpr int kKeysOnlyId = 221;
constexpr int kFirstLineWaitId = 222;  // the submenu's waits, then one set by hand
constexpr int kKeySequencesId = 229;
constexpr int kFirstLayoutId = 1000;  // "Same as this computer", then the layouts in order
static_assert(kHotKeyItemId > kKeySequencesId && kHotKeyItemId < kFirstLayoutId);

MenuItem Item(MenuItem::Kind kind, int id, std::u16string text, bool checked = false) {
    MenuItem item;
    item.kind = kind;
    item.id = id;
    item.text = std::move(text);
    item.checked = checked;
    return item;
}

MenuItem Radio(int id, std::u16string text, bool checked) {
    return Item(MenuItem::Kind::Radio, id, std::move(text), checked);
}

bool Offered(std::span<const DurationChoice> choices, Milliseconds value) {
    return std::any_of(choices.begin(), choices.end(),
                       [&](const DurationChoice& choice) { return choice.duration == value; });
}

// Radio items from `firstId` for `choices`, `current` checked; one more, checked, for a value
// set by hand that the choices lack, as `other` words it.
void AddRadios(std::vector<MenuItem>& items, int firstId, std::span<const DurationChoice> choices,
               Milliseconds current, const Localized& other, Language language) {
    int id = firstId;
    for (const DurationChoice& choice : choices) {
        items.push_back(
            Radio(id++, std::u16string(choice.text.In(language)), current == choice.duration));
    }
    if (!Offered(choices, current)) {
        const std::u16string ms = DecimalText(static_cast<std::uint64_t>(current.count()));
        items.push_back(Radio(id, FillIn(other.In(language), {{u"ms", ms}}), true));
    }
}

// What choosing `id` makes of `current` among the radio items AddRadios made from `firstId`:
// nothing for an id not among them; the item set by hand keeps `current`.
std::optional<Milliseconds> ChosenRadio(int id, int firstId,
                                        std::span<const DurationChoice> choices,
                                        Milliseconds current) {
    const int index = id - firstId;
    if (index < 0 || index > static_cast<int>(choices.size())) {
        return std::nullopt;
    }
    if (index < static_cast<int>(choices.size())) {
        return choices[static_cast<std::size_t>(index)].duration;
    }
    if (Offered(choices, current)) {
        return std::nullopt;
    }
    return current;
}

constexpr Localized kNoModifierText{
    u"A hot key needs Ctrl, Alt or the Windows key: without them (or with Shift alone) the key "
    u"could no longer be typed in any program.",
    u"ホット キーには Ctrl、Alt、Windows キーのいずれかが必要です。これらがない (または Shift "
    u"だけの) 場合、どのプログラムでもそのキーを入力できなくなります。"};
constexpr Localized kKeptForDebuggersText{
    u"Windows keeps F12 alone for debuggers: add Ctrl, Alt or the Windows key.",
    u"F12 単独は Windows がデバッガー用に予約しています。Ctrl、Alt、Windows キーのいずれかを"
    u"加えてください。"};
constexpr Localized kAltGrCharacterText{
    u"Windows reads AltGr as Ctrl+Alt: on many keyboard layouts Ctrl+Alt with a letter, digit or "
    u"punctuation key types a character (\u20AC, @), which no program would get any more. Add "
    u"Shift or the Windows key, or choose a key such as F9.",
    u"Windows は AltGr を Ctrl+Alt として扱います。多くのキーボード レイアウトでは、Ctrl+Alt と"
    u"文字、数字、記号のキーで文字 (\u20AC、@) が入力されるため、どのプログラムでもその文字を入力"
    u"できなくなります。Shift か Windows キーを加えるか、F9 などのキーを選んでください。"};
constexpr Localized kProgramShortcutText{
    u"Ctrl with a letter, digit or punctuation key is a shortcut of most programs (Ctrl+C copies, "
    u"Ctrl+V pastes), which they would lose. Add Shift or the Windows key.",
    u"Ctrl と文字、数字、記号のキーの組み合わせは、多くのプログラムのショートカットです (Ctrl+C "
    u"でコピー、Ctrl+V で貼り付け)。Shift か Windows キーを加えてください。"};
constexpr Localized kMenuKeyText{
    u"Alt with a letter, digit, punctuation key or Space opens a program's menus, which they "
    u"would lose. Add Shift or the Windows key.",
    u"Alt と文字、数字、記号のキー、Space の組み合わせは、プログラムのメニューを開くキーです。"
    u"Shift か Windows キーを加えてください。"};

}  // namespace

std::u16string_view HotKeyRefusalText(HotKeyRefusal refusal, Language language) {
    switch (refusal) {
        case HotKeyRefusal::NoModifier:
            return kNoModifierText.In(language);
        case HotKeyRefusal::KeptForDebuggers:
            return kKeptForDebuggersText.In(language);
        case HotKeyRefusal::AltGrCharacter:
            return kAltGrCharacterText.In(language);
        case HotKeyRefusal::ProgramShortcut:
            return kProgramShortcutText.In(language);
        case HotKeyRefusal::MenuKey:
            break;
    }
    return kMenuKeyText.In(language);
}

std::u16string_view HotKeyRefusalBrief(HotKeyRefusal refusal, Language language) {
    static constexpr Localized kBriefs[] = {
        {u"it needs Ctrl, Alt or Win", u"Ctrl、Alt、Win のいずれかが必要です"},
        {u"Windows keeps F12 for debuggers", u"F12 は Windows がデバッガー用に予約しています"},
        {u"with AltGr it types a character", u"AltGr で文字が入力されるキーです"},
        {u"programs use it as a shortcut", u"プログラムのショートカットです"},
        {u"it opens programs' menus", u"プログラムのメニューを開くキーです"},
    };
    return kBriefs[static_cast<std::size_t>(refusal)].In(language);
}

std::vector<MenuItem> BuildStartMenu(const TypingOptions& typing,
                                     std::span<const LayoutChoice> layouts, Language language,
                                     std::optional<TypingPosition> restFrom, HotKeyState hotKey) {
    const auto text = [language](const Localized& localized) {
        return std::u16string(localized.In(language));
    };
    std::vector<MenuItem> menu;
    for (const StartMenuItem& item : kStartCommands) {
        menu.push_back(Item(MenuItem::Kind::Command, item.id, text(item.text)));
        menu.back().isDefault = item.isDefault;
        if (item.command == StartMenuCommand::TypeRestIntoClickedWindow) {
            // Grayed rather than left out, so that the items below keep their places.
            menu.back().enabled = restFrom.has_value();
            if (restFrom) {
                menu.back().text = FillIn(kRestFromText.In(language),
                                          {{u"command", menu.back().text},
                                           {u"line", DecimalText(restFrom->line)},
                                           {u"column", DecimalText(restFrom->column)}});
            }
        }
    }
    menu.push_back(Item(MenuItem::Kind::Separator, 0, {}));
    AddRadios(menu, kFirstPaceId, kPaceChoices, typing.pace, kOtherPaceText, language);
    menu.push_back(Item(MenuItem::Kind::Check, kKeysOnlyId, text(kKeysOnlyText),
                        typing.keyMode == KeyMode::KeysOnly));
    menu.push_back(
        Item(MenuItem::Kind::Check, kKeySequencesId, text(kKeySequencesText), typing.keySequences));
    MenuItem submenu = Item(MenuItem::Kind::Submenu, 0, text(kLayoutMenuText));
    submenu.items.push_back(Radio(kFirstLayoutId, text(kSameLayoutText), typing.layout.empty()));
    int id = kFirstLayoutId + 1;
    for (const LayoutChoice& layout : layouts) {
        submenu.items.push_back(Radio(
            id++,
            layout.installed ? layout.name
                             : FillIn(kMissingLayoutText.In(language), {{u"layout", layout.name}}),
            layout.id == typing.layout));
    }
    menu.push_back(std::move(submenu));
    MenuItem waits = Item(MenuItem::Kind::Submenu, 0, text(kLineWaitMenuText));
    AddRadios(waits.items, kFirstLineWaitId, kLineWaitChoices, typing.lineWait, kOtherLineWaitText,
              language);
    menu.push_back(std::move(waits));
    menu.push_back(Item(MenuItem::Kind::Separator, 0, {}));
    const Localized& hotKeyText = hotKey.refusedInFile ? kHotKeyRefusedItemText
                                  : hotKey.key.None()  ? kNoHotKeyItemText
                                  : hotKey.taken       ? kHotKeyTakenItemText
                                                       : kHotKeyItemText;
    const std::u16string keyText =
        hotKey.key.None() ? std::u16string(kNoHotKeyName.In(language)) : HotKeyText(hotKey.key);
    const std::u16string refused =
        hotKey.refusedInFile ? HotKeyText(hotKey.refusedInFile->key) : std::u16string();
    const std::u16string_view reason =
        hotKey.refusedInFile ? HotKeyRefusalBrief(hotKey.refusedInFile->refusal, language)
                             : std::u16string_view();
    menu.push_back(Item(
        MenuItem::Kind::Command, kHotKeyItemId,
        FillIn(hotKeyText.In(language),
               {{u"key", keyText}, {u"refused", refused}, {u"reason", reason}})));
    return menu;
}

std::optional<StartMenuChoice> StartMenuChoiceOf(int id, const TypingOptions& typing,
                                                 std::span<const LayoutChoice> layouts) {
    for (const StartMenuItem& item : kStartCommands) {
        if (item.id == id) {
            return StartMenuChoice{.command = item.command, .typing = typing};
        }
    }
    if (id == kHotKeyItemId) {
        return StartMenuChoice{.command = StartMenuCommand::ChooseHotKey, .typing = typing};
    }
    StartMenuChoice choice{.command = std::nullopt, .typing = typing};
    if (const auto pace = ChosenRadio(id, kFirstPaceId, kPaceChoices, typing.pace)) {
        choice.typing.pace = *pace;
        return choice;
    }
    if (const auto wait = ChosenRadio(id, kFirstLineWaitId, kLineWaitChoices, typing.lineWait)) {
        choice.typing.lineWait = *wait;
        return choice;
    }
    if (id == kKeysOnlyId) {
        choice.typing.keyMode =
            typing.keyMode == KeyMode::KeysOnly ? KeyMode::UnicodeWhereNeeded : KeyMode::KeysOnly;
        return choice;
    }
    if (id == kKeySequencesId) {
        choice.typing.keySequences = !typing.keySequences;
        return choice;
    }
    const int layout = id - kFirstLayoutId;
    if (layout == 0) {
        choice.typing.layout.clear();
        return choice;
    }
    if (layout > 0 && layout <= static_cast<int>(layouts.size())) {
        choice.typing.layout = layouts[static_cast<std::size_t>(layout - 1)].id;
        return choice;
    }
    return std::nullopt;
}

}  // namespace quillrun
