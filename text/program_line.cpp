#include "text/program_line.h"

#include <algorithm>

#include "text/ascii.h"

namespace quillrun {
namespace {

constexpr std::u16string_view kBlanks = u" \t";

// The extension of the name's last part, in lowercase and without its dot; empty for none.
std::u16string ExtensionOf(std::u16string_view name) {
    const std::size_t part = name.find_last_of(u"\\/:");
    const std::u16string_view last =
        part == std::u16string_view::npos ? name : name.substr(part + 1);
    const std::size_t dot = last.rfind(u'.');
    if (dot == std::u16string_view::npos) {
        return {};
    }
    std::u16string extension(last.substr(dot + 1));
    for (char16_t& c : extension) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return extension;
}

// Whether `name` begins with a URL's scheme ("https:", "mailto:"): letters, then letters, digits,
// "+", "-" or ".", then a colon. One letter before the colon is a drive.
bool IsUrl(std::u16string_view name) {
    const auto letter = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    const std::size_t colon = name.find(u':');
    if (colon == std::u16string_view::npos || colon < 2 || !letter(name[0])) {
        return false;
    }
    return std::all_of(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(colon),
                       [&](char16_t c) {
                           return letter(c) || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' ||
                                  c == u'.';
                       });
}

// What CreateProcess runs itself: executable images (a screen saver is one) and batch files,
// which it hands to the command interpreter. Without an extension it looks for ".exe".
LaunchKind KindOf(std::u16string_view name) {
    if (IsUrl(name)) {
        return LaunchKind::Document;
    }
    constexpr std::u16string_view kProgramExtensions[] = {u"", u"exe", u"com", u"bat", u"cmd",
                                                          u"scr"};
    const std::u16string extension = ExtensionOf(name);
    return std::find(std::begin(kProgramExtensions), std::end(kProgramExtensions), extension) !=
                   std::end(kProgramExtensions)
               ? LaunchKind::Program
               : LaunchKind::Document;
}

}  // namespace

LaunchPlan PlanLaunch(std::u16string_view line,
                      const std::function<bool(std::u16string_view path)>& namesFile,
                      const std::function<std::u16string(std::u16string_view text)>& expand) {
    std::u16string_view rest = TrimBlanks(line);
    LaunchPlan plan;
    if (rest.starts_with(u'"')) {
        // Up to the closing quote, or to the end of a line that has none.
        rest.remove_prefix(1);
        const std::size_t close = rest.find(u'"');
        plan.file = rest.substr(0, close);
        rest = close == std::u16string_view::npos ? std::u16string_view() : rest.substr(close + 1);
    } else if (rest.find_first_of(kBlanks) != std::u16string_view::npos && namesFile(expand(rest))) {
        plan.file = rest;
        rest = {};
    } else {
        const std::size_t blank = rest.find_first_of(kBlanks);
        plan.file = rest.substr(0, blank);
        rest = blank == std::u16string_view::npos ? std::u16string_view() : rest.substr(blank);
    }
    plan.file = expand(plan.file);
    plan.arguments = expand(TrimBlanks(rest));
    plan.kind = KindOf(plan.file);
    return plan;
}

}  // namespace quillrun
