#include "desktop/paths.h"

namespace quillrun {
namespace {

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// "C:" alone, or behind the "\\?\" long-path prefix.
bool IsBareDrive(std::u16string_view folder) {
    constexpr std::u16string_view kLongPrefix = u"\\\\?\\";
    if (folder.starts_with(kLongPrefix)) {
        folder.remove_prefix(kLongPrefix.size());
    }
    if (folder.size() != 2 || folder[1] != u':') {
        return false;
    }
    const char16_t letter = folder[0];
    return (letter >= u'A' && letter <= u'Z') || (letter >= u'a' && letter <= u'z');
}

}  // namespace

std::u16string FolderOfModulePath(std::u16string_view modulePath) {
    std::size_t end = modulePath.size();
    while (end > 0 && !IsSeparator(modulePath[end - 1])) {
        --end;
    }
    if (end == 0) {
        return {};  // a bare file name has no folder part
    }
    std::u16string folder(modulePath.substr(0, end - 1));
    if (IsBareDrive(folder)) {
        folder += u'\\';
    }
    return folder;
}

std::u16string JoinFolderAndName(std::u16string_view folder, std::u16string_view name) {
    std::u16string path(folder);
    if (!path.empty() && path.back() != u'\\') {
        path += u'\\';
    }
    return path + std::u16string(name);
}

}  // namespace quillrun
