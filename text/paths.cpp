#include "text/paths.h"

namespace quillrun {
namespace {

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

constexpr std::u16string_view kLongPrefix = u"\\\\?\\";

bool IsDriveLetter(char16_t letter) {
    return (letter >= u'A' && letter <= u'Z') || (letter >= u'a' && letter <= u'z');
}

// "C:" alone, or behind the "\\?\" long-path prefix.
bool IsBareDrive(std::u16string_view folder) {
    if (folder.starts_with(kLongPrefix)) {
        folder.remove_prefix(kLongPrefix.size());
    }
    if (folder.size() != 2 || folder[1] != u':') {
        return false;
    }
    return IsDriveLetter(folder[0]);
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

std::u16string ExtendedLengthPath(std::u16string_view fullPath) {
    if (fullPath.size() < kMaxPath) {
        return std::u16string(fullPath);
    }
    if (fullPath.size() >= 3 && IsDriveLetter(fullPath[0]) && fullPath[1] == u':' &&
        fullPath[2] == u'\\') {
        return std::u16string(kLongPrefix) + std::u16string(fullPath);
    }
    // "\\server\share\..." but not "\\?\..." or the device form "\\.\...".
    if (fullPath.starts_with(u"\\\\") && fullPath[2] != u'?' && fullPath[2] != u'.') {
        return u"\\\\?\\UNC\\" + std::u16string(fullPath.substr(2));
    }
    return std::u16string(fullPath);
}

}  // namespace quillrun
