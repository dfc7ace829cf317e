#include "text/program_line.h"

#include <algorithm>

namespace quillrun {
namespace {

constexpr std::u16string_view kBlanks = u" \t";

std::u16string_view TrimBlanks(std::u16string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::u16string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

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

// What CreateProcess runs itself: executable images (a screen saver is one) and batch files,
// which it hands to the command interpreter. Without an extension it looks for ".exe".
LaunchKind KindOf(std::u16string_view name) {
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
                      const std::function<bool(std::u16string_view path)>& namesFile) {
    std::u16string_view rest = TrimBlanks(line);
    LaunchPlan plan;
    if (rest.starts_with(u'"')) {
        // Up to the closing quote, or to the end of a line that has none.
        rest.remove_prefix(1);
        const std::size_t close = rest.find(u'"');
        plan.file = rest.substr(0, close);
        rest = close == std::u16string_view::npos ? std::u16string_view() : rest.substr(close + 1);
    } else if (rest.find_first_of(kBlanks) != std::u16string_view::npos && namesFile(rest)) {
        plan.file = rest;
        rest = {};
    } else {
        const std::size_t blank = rest.find_first_of(kBlanks);
        plan.file = rest.substr(0, blank);
        rest = blank == std::u16string_view::npos ? std::u16string_view() : rest.substr(blank);
    }
    plan.arguments = TrimBlanks(rest);
    plan.kind = KindOf(plan.file);
    return plan;
}

}  // namespace quillrun
