#include "keys/key_string.h"

namespace quillrun {
namespace {

constexpr std::uint32_t kInvalidParameter = 87;  // the system's ERROR_INVALID_PARAMETER

bool IsKeySpecial(char16_t c) {
    return kKeySpecials.find(c) != std::u16string_view::npos;
}

}  // namespace

std::u16string EscapeKeyChar(char16_t c) {
    if (IsKeySpecial(c)) {
        return std::u16string{u'{', c, u'}'};
    }
    return std::u16string(1, c);
}

Result<char16_t> ParseKeyString(std::u16string_view keys) {
    if (keys == kLineEndKeys) {
        return u'\r';
    }
    if (keys.size() == 1 && !IsKeySpecial(keys[0])) {
        return keys[0];
    }
    if (keys.size() == 3 && keys[0] == u'{' && keys[2] == u'}') {
        return keys[1];
    }
    return Failure{"SendKeyString",
                   u"The key string is not one character, one character in braces or a line end.",
                   kInvalidParameter};
}

}  // namespace quillrun
