// Start's menu, opened from the split button's arrow: what it offers, in order, as data that
// the Win32 window turns into a popup menu and tests can read.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

namespace quillrun {

// What the user can ask of Start's menu.
enum class StartMenuCommand {
    Start,                           // the same as a click on Start
    TypeFileIntoClickedWindow,       // the file named in the path box
    TypeClipboardIntoClickedWindow,  // the clipboard's text
};

struct StartMenuItem {
    int id;  // the menu command's identifier; clear of the controls' ids
    StartMenuCommand command;
    std::u16string_view text;
    bool isDefault = false;  // drawn bold: what a click on the button itself does
};

inline constexpr std::array<StartMenuItem, 3> kStartCommands{{
    {201, StartMenuCommand::Start, u"Start", true},
    {202, StartMenuCommand::TypeFileIntoClickedWindow, u"Type into the window I click next"},
    {203, StartMenuCommand::TypeClipboardIntoClickedWindow,
     u"Type the clipboard into the window I click next"},
}};

// The menu's groups, in order, a separator between each two: a group of choices is added here.
inline constexpr std::array<std::span<const StartMenuItem>, 1> kStartMenu{{kStartCommands}};

// The command a menu identifier stands for; nothing for an identifier not in the menu (the
// menu was dismissed).
constexpr std::optional<StartMenuCommand> StartMenuCommandOf(int id) {
    for (const auto& group : kStartMenu) {
        for (const StartMenuItem& item : group) {
            if (item.id == id) {
                return item.command;
            }
        }
    }
    return std::nullopt;
}

}  // namespace quillrun
