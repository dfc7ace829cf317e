// Start's menu, opened from the split button's arrow: what it offers, in order, as data that
// the Win32 window turns into a popup menu and tests can read.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/desktop_services.h"
#include "keys/hot_key.h"
#include "playback/text_playback.h"
#include "settings/settings_file.h"
#include "text/language.h"

namespace quillrun {

// What the user can ask of Start's menu.
enum class StartMenuCommand {
    Start,                           // the same as a click on Start
    TypeFileIntoClickedWindow,       // the file named in the path box
    TypeClipboardIntoClickedWindow,  // the clipboard's text
    TypeSecretIntoClickedWindow,     // a secret asked for in a dialog first
    TypeRestIntoClickedWindow,       // the rest of the run that stopped last
    ChooseHotKey,                    // opens the dialog that sets the hot key
};

struct StartMenuItem {
    int id;  // the menu command's identifier; clear of the controls' ids
    StartMenuCommand command;
    Localized text;
    bool isDefault = false;  // drawn bold: what a click on the button itself does
};

inline constexpr std::array<StartMenuItem, 5> kStartCommands{{
    // The button's own caption, which stays "Start" in every language.
    {201, StartMenuCommand::Start, {u"Start", u"Start"}, true},
    {202,
     StartMenuCommand::TypeFileIntoClickedWindow,
     {u"Type into the window I click next", u"次にクリックするウィンドウに入力"}},
    {203,
     StartMenuCommand::TypeClipboardIntoClickedWindow,
     {u"Type the clipboard into the window I click next",
      u"クリップボードのテキストを次にクリックするウィンドウに入力"}},
    {205,
     StartMenuCommand::TypeSecretIntoClickedWindow,
     {u"Type a secret into the window I click next...",
      u"シークレットを次にクリックするウィンドウに入力..."}},
    // Grayed until a run stops before the end of its text; then it says where the rest begins.
    {204,
     StartMenuCommand::TypeRestIntoClickedWindow,
     {u"Type the rest into the window I click next", u"残りを次にクリックするウィンドウに入力"}},
}};
inline constexpr Localized kRestFromText{u"{command} (line {line}, column {column})",
                                         u"{command} ({line} 行目、{column} 文字目から)"};

// The last item, below a separator: the hot key that types the clipboard into the window in
// front, and whether another program has taken it.
inline constexpr int kHotKeyItemId = 230;
inline constexpr Localized kHotKeyItemText{u"Hot key: {key}...", u"ホット キー: {key}..."};
inline constexpr Localized kNoHotKeyItemText{u"Hot key: none...", u"ホット キー: なし..."};
inline constexpr Localized kNoHotKeyName{u"none", u"なし"};
inline constexpr Localized kHotKeyTakenItemText{
    u"Hot key: {key} (taken by another program)...",
    u"ホット キー: {key} (ほかのプログラムが使用中)..."};
inline constexpr Localized kHotKeyRefusedItemText{
    u"Hot key: {key} (quillrun.ini's {refused} is not used: {reason})...",
    u"ホット キー: {key} (quillrun.ini の {refused} は使用しません: {reason})..."};
struct HotKeyState {
    HotKey key;
    bool taken = false;
    // The hot key line of quillrun.ini that was passed over, and why.
    std::optional<RefusedHotKey> refusedInFile;
};

// Why a combination may not be the hot key, as the dialog says it; and in a few words, as the
// menu does.
std::u16string_view HotKeyRefusalText(HotKeyRefusal refusal, Language language);
std::u16string_view HotKeyRefusalBrief(HotKeyRefusal refusal, Language language);

// A duration a menu offers as a radio item: a pace, or a wait after each line.
struct DurationChoice {
    Milliseconds duration;
    Localized text;
};
// The paces the menu offers, the default first.
inline constexpr std::array<DurationChoice, 4> kPaceChoices{{
    {Milliseconds{0},
     {u"Pace: as fast as the program takes the keys", u"速度: プログラムが受け付けられる最速"}},
    {Milliseconds{20},
     {u"Pace: 20 ms a key (remote desktops)",
      u"速度: キーごとに 20 ミリ秒 (リモート デスクトップ)"}},
    {Milliseconds{50},
     {u"Pace: 50 ms a key (virtual machines)", u"速度: キーごとに 50 ミリ秒 (仮想マシン)"}},
    {Milliseconds{100},
     {u"Pace: 100 ms a key (web and KVM consoles)",
      u"速度: キーごとに 100 ミリ秒 (Web コンソール、KVM コンソール)"}},
}};
// A pace set in the settings file that the menu does not offer.
inline constexpr Localized kOtherPaceText{u"Pace: {ms} ms a key", u"速度: キーごとに {ms} ミリ秒"};
inline constexpr Localized kKeysOnlyText{u"Keys only (for consoles that ignore Unicode input)",
                                         u"キーのみ (Unicode 入力を受け付けないコンソール用)"};
inline constexpr Localized kKeySequencesText{
    u"Key sequences: read {TAB}, {ENTER}, {WAIT 500} as keys",
    u"キー シーケンス: {TAB}、{ENTER}、{WAIT 500} をキーとして読む"};
inline constexpr Localized kLayoutMenuText{u"Keyboard layout of the other computer",
                                           u"相手のコンピューターのキーボード レイアウト"};
inline constexpr Localized kSameLayoutText{u"Same as this computer", u"このコンピューターと同じ"};
inline constexpr Localized kMissingLayoutText{u"{layout} (not installed)",
                                              u"{layout} (インストールされていません)"};
inline constexpr Localized kLineWaitMenuText{u"Wait after each line", u"各行の後の待ち時間"};
// The waits after each line the menu's submenu offers, no wait (the default) first.
inline constexpr std::array<DurationChoice, 4> kLineWaitChoices{{
    {Milliseconds{0}, {u"None", u"なし"}},
    {Milliseconds{500}, {u"0.5 s", u"0.5 秒"}},
    {Milliseconds{1000}, {u"1 s", u"1 秒"}},
    {Milliseconds{2000}, {u"2 s", u"2 秒"}},
}};
// A wait after each line set in the settings file that the submenu does not offer.
inline constexpr Localized kOtherLineWaitText{u"{ms} ms", u"{ms} ミリ秒"};

// A keyboard layout the menu offers: its identifier and the name Windows shows for it; or the
// one remembered from the settings file that is no longer installed.
struct LayoutChoice {
    std::u16string id;
    std::u16string name;
    bool installed = true;

    friend bool operator==(const LayoutChoice&, const LayoutChoice&) = default;
};

// One line of the menu as shown.
struct MenuItem {
    enum class Kind { Command, Radio, Check, Separator, Submenu };
    Kind kind = Kind::Command;
    int id = 0;  // what choosing it returns; 0 for a separator or a submenu
    std::u16string text;
    bool checked = false;
    bool isDefault = false;
    bool enabled = true;          // grayed when not
    std::vector<MenuItem> items;  // a submenu's

    friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

// The whole menu: the commands, then the pace as radio items (with a fifth, checked, for a pace
// set in the settings file that the menu does not offer), keys only, key sequences, the
// submenu of layouts ("Same as this computer", then `layouts`), the submenu of waits after each
// line (again with a fifth for one set by hand) and the hot key, in `language`. The choices in
// `typing` are checked. The rest of a stopped run is offered from `restFrom`, and grayed without
// it.
std::vector<MenuItem> BuildStartMenu(const TypingOptions& typing,
                                     std::span<const LayoutChoice> layouts, Language language,
                                     std::optional<TypingPosition> restFrom, HotKeyState hotKey);

// What choosing the item `id` of the menu BuildStartMenu made with the same arguments does:
// a command, or typing options that differ from `typing` in the one choice made.
struct StartMenuChoice {
    std::optional<StartMenuCommand> command;
    TypingOptions typing;
};
// Nothing for an identifier not in the menu (the menu was dismissed).
std::optional<StartMenuChoice> StartMenuChoiceOf(int id, const TypingOptions& typing,
                                                 std::span<const LayoutChoice> layouts);

}  // namespace quillrun
