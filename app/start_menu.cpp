#include "app/start_menu.h"

#include <algorithm>

#include "text/utf.h"

namespace quillrun {
namespace {

// Identifiers of the choices, clear of the commands' and of each other's ranges.
constexpr int kFirstPaceId = 211;  // the menu's paces, then one set by hand
constexpr int kKeysOnlyId = 221;
constexpr int kFirstLayoutId = 231;  // "Same as this computer", then the layouts in order

bool OfferedPace(Milliseconds pace) {
    return std::any_of(kPaceChoices.begin(), kPaceChoices.end(),
                       [&](const PaceChoice& choice) { return choice.pace == pace; });
}

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

}  // namespace

std::vector<MenuItem> BuildStartMenu(const TypingOptions& typing,
                                     std::span<const LayoutChoice> layouts, Language language) {
    const auto text = [language](const Localized& localized) {
        return std::u16string(localized.In(language));
    };
    std::vector<MenuItem> menu;
    for (const StartMenuItem& item : kStartCommands) {
        menu.push_back(Item(MenuItem::Kind::Command, item.id, text(item.text)));
        menu.back().isDefault = item.isDefault;
    }
    menu.push_back(Item(MenuItem::Kind::Separator, 0, {}));
    int id = kFirstPaceId;
    for (const PaceChoice& choice : kPaceChoices) {
        menu.push_back(Radio(id++, text(choice.text), typing.pace == choice.pace));
    }
    if (!OfferedPace(typing.pace)) {
        const std::u16string pace = DecimalText(static_cast<std::uint64_t>(typing.pace.count()));
        menu.push_back(Radio(id, FillIn(kOtherPaceText.In(language), {{u"pace", pace}}), true));
    }
    menu.push_back(Item(MenuItem::Kind::Check, kKeysOnlyId, text(kKeysOnlyText),
                        typing.keyMode == KeyMode::KeysOnly));
    MenuItem submenu = Item(MenuItem::Kind::Submenu, 0, text(kLayoutMenuText));
    submenu.items.push_back(Radio(kFirstLayoutId, text(kSameLayoutText), typing.layout.empty()));
    id = kFirstLayoutId + 1;
    for (const LayoutChoice& layout : layouts) {
        submenu.items.push_back(Radio(
            id++,
            layout.installed ? layout.name
                             : FillIn(kMissingLayoutText.In(language), {{u"layout", layout.name}}),
            layout.id == typing.layout));
    }
    menu.push_back(std::move(submenu));
    return menu;
}

std::optional<StartMenuChoice> StartMenuChoiceOf(int id, const TypingOptions& typing,
                                                 std::span<const LayoutChoice> layouts) {
    for (const StartMenuItem& item : kStartCommands) {
        if (item.id == id) {
            return StartMenuChoice{.command = item.command, .typing = typing};
        }
    }
    StartMenuChoice choice{.command = std::nullopt, .typing = typing};
    const int pace = id - kFirstPaceId;
    if (pace >= 0 && pace <= static_cast<int>(kPaceChoices.size())) {
        // The fifth item, a pace set by hand, keeps it.
        if (pace < static_cast<int>(kPaceChoices.size())) {
            choice.typing.pace = kPaceChoices[static_cast<std::size_t>(pace)].pace;
        } else if (OfferedPace(typing.pace)) {
            return std::nullopt;
        }
        return choice;
    }
    if (id == kKeysOnlyId) {
        choice.typing.keyMode =
            typing.keyMode == KeyMode::KeysOnly ? KeyMode::UnicodeWhereNeeded : KeyMode::KeysOnly;
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
