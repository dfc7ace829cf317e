// MainForm's window and controls as designed, in twips (1/1440 inch), and their conversion to
// pixels at a window's DPI. Portable, so the layout rules can be tested without a window.
#pragma once

#include <array>
#include <string_view>

#include "text/language.h"

namespace quillrun {

inline constexpr std::u16string_view kWindowCaption = u"Quillrun";
// The caption while Quillrun waits for the user to click the window to type into.
inline constexpr Localized kPickCaption{u"Quillrun - click the window to type into",
                                        u"Quillrun - 入力先のウィンドウをクリックしてください"};
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kDefaultDpi = 96;

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
    int width = 0;
    int height = 0;

    friend bool operator==(const Size&, const Size&) = default;
};

// A split button is a push button with an arrow at its right that opens a menu.
enum class ControlKind { TextBox, PushButton, SplitButton };

// Control identifiers stay clear of IDOK (1) and IDCANCEL (2), which the dialog keyboard
// handling sends for Enter and Escape.
enum class ControlId : int { FPath = 101, Choose = 102, Start = 103 };

struct ControlSpec {
    ControlId id;
    ControlKind kind;
    Rect twips;
    std::u16string_view text;  // initial caption; FPath's text is set at load
};

inline constexpr Size kClientTwips{8130, 1035};

// In tab order: creation order gives the dialog keyboard handling its Tab sequence.
inline constexpr std::array<ControlSpec, 3> kControls{{
    {ControlId::FPath, ControlKind::TextBox, {120, 120, 7215, 375}, u""},
    {ControlId::Choose, ControlKind::PushButton, {7440, 120, 615, 375}, u"\u53C2\u7167"},  // 参照
    {ControlId::Start, ControlKind::SplitButton, {3480, 600, 1095, 375}, u"Start"},
}};

// Rounds to the nearest pixel, halves away from zero, as the system's MulDiv does.
constexpr int TwipsToPixels(int twips, int dpi) {
    const long long product = static_cast<long long>(twips) * dpi;
    const long long half = kTwipsPerInch / 2;
    return static_cast<int>(product >= 0 ? (product + half) / kTwipsPerInch
                                         : -((-product + half) / kTwipsPerInch));
}

constexpr Rect TwipsToPixels(const Rect& twips, int dpi) {
    return {TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi),
            TwipsToPixels(twips.width, dpi), TwipsToPixels(twips.height, dpi)};
}

constexpr Size TwipsToPixels(const Size& twips, int dpi) {
    return {TwipsToPixels(twips.width, dpi), TwipsToPixels(twips.height, dpi)};
}

}  // namespace quillrun
