#include "playback/playback_report.h"

#include <string_view>

#include "desktop/utf.h"

namespace quillrun {
namespace {

std::u16string ProgramOrFallback(const PlaybackResult& result) {
    return result.program.empty() ? u"the program in front" : u"\"" + result.program + u"\"";
}

// A character as "U+00E9 é": its code, and itself unless it is a control character.
std::u16string CharacterText(char32_t c) {
    constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string text = u"U+";
    int digits = 4;
    while (digits < 6 && (c >> (4 * digits)) != 0) {
        ++digits;
    }
    for (int i = digits - 1; i >= 0; --i) {
        text += kHex[(c >> (4 * i)) & 0xF];
    }
    if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c <= 0xDFFF)) {
        return text;
    }
    text += u' ';
    AppendUtf16(text, c);
    return text;
}

std::u16string Reason(const PlaybackResult& result) {
    switch (result.end) {
        case PlaybackEnd::FocusMoved:
            return u"Quillrun stopped typing because another window came to the front.";
        case PlaybackEnd::NotResponding:
            return u"Quillrun stopped typing because " + ProgramOrFallback(result) +
                   u" stopped responding: it took no keystroke for 5 seconds.";
        case PlaybackEnd::NoTarget:
            if (result.intoPickedWindow) {
                return u"Quillrun typed nothing: when the time came to type, the window in front "
                       u"was Quillrun's own, the desktop or the taskbar, not a window of another "
                       u"program.";
            }
            return u"Quillrun typed nothing: no window of the program it started (or of any "
                   u"other program) came to the front to type into.";
        case PlaybackEnd::NoMainWindow:
            return u"Quillrun typed nothing: " + ProgramOrFallback(result) +
                   u" showed no window to type into within 30 seconds, only a window without a "
                   u"taskbar button, such as a splash screen.";
        case PlaybackEnd::NotAllowed:
            return u"Quillrun cannot type into " + ProgramOrFallback(result) +
                   u": it runs as administrator, and Windows does not let the keystrokes of a "
                   u"program without those rights reach it.\n\nTo type into it, start "
                   u"Quillrun as administrator.";
        case PlaybackEnd::ReadFailed:
            return u"Quillrun stopped typing because the file could not be read on: " +
                   result.reason;
        case PlaybackEnd::ClipboardUnreadable:
            return u"Quillrun typed nothing: it could not read the clipboard: " + result.reason;
        case PlaybackEnd::LayoutMissing:
        case PlaybackEnd::NotTypableAsKeys:
        case PlaybackEnd::NoText:
        case PlaybackEnd::NothingPicked:
        case PlaybackEnd::NotOpened:
        case PlaybackEnd::Finished:
        case PlaybackEnd::Stopped:
            break;
    }
    return {};
}

}  // namespace

std::optional<std::u16string> PlaybackEndMessage(const PlaybackResult& result) {
    // Runs that end before there is anything to type say so in one sentence.
    if (result.end == PlaybackEnd::NoText) {
        return u"The clipboard holds no text: nothing was typed.";
    }
    if (result.end == PlaybackEnd::NothingPicked) {
        return u"No window was clicked within a minute: nothing was typed.";
    }
    const std::u16string text(result.origin == TextOrigin::Clipboard ? u"the clipboard's text"
                                                                     : u"the file");
    const TypingPosition& at = result.position;
    if (result.end == PlaybackEnd::LayoutMissing) {
        return u"Quillrun typed nothing: the keyboard layout chosen for the other computer, " +
               result.reason +
               u", is not installed on this computer.\n\nChoose another in Start's menu, under "
               u"\"Keyboard layout of the other computer\", or add this one in the language "
               u"settings of Windows.";
    }
    if (result.end == PlaybackEnd::NotTypableAsKeys) {
        return u"Quillrun typed nothing: \"Keys only\" is on, and the keyboard layout has no "
               u"keys for " +
               CharacterText(result.character) + u" at line " + DecimalText(at.line) +
               u", column " + DecimalText(at.column) + u" of " + text +
               u".\n\nTake the character out of the text, or turn \"Keys only\" off in "
               u"Start's menu to type it as Unicode input.";
    }
    std::u16string message = Reason(result);
    if (message.empty()) {
        return std::nullopt;
    }
    if (at.typed == 0 && at.line == 1 && at.column == 1 && !at.nextMayHaveArrived) {
        return message + u"\n\nNothing of " + text + u" was typed.";
    }
    message += u"\n\nTyping stopped at line " + DecimalText(at.line) + u", column " +
               DecimalText(at.column) + u" of " + text + u"; " + DecimalText(at.typed) +
               u" characters were typed (each line end counts as one).";
    message += at.nextMayHaveArrived
                   ? u" The next one may have arrived as well: the other window came to the "
                     u"front just as it was typed. Check the end of the text before you type the "
                     u"rest from there by hand."
                   : u" You can type the rest from there by hand.";
    return message;
}

}  // namespace quillrun
