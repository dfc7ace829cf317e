#include "playback/text_pieces.h"

#include <algorithm>
#include <string_view>

#include "text/wipe.h"

namespace quillrun {

MemoryTextPieces::~MemoryTextPieces() {
    Wipe(text_);
}

Result<std::optional<LinePiece>> MemoryTextPieces::Next() {
    if (position_ >= text_.size()) {
        return std::optional<LinePiece>();
    }
    // Searched only as far as one piece reaches, so that a huge text without line ends is not
    // searched to its end for every piece.
    const std::u16string_view rest = std::u16string_view(text_).substr(position_);
    const std::size_t end = rest.substr(0, kMaxPieceUnits + 1).find_first_of(u"\r\n");
    if (end == std::u16string_view::npos || end > kMaxPieceUnits) {
        const std::size_t length = std::min(rest.size(), kMaxPieceUnits);
        position_ += length;
        return std::optional<LinePiece>(LinePiece{std::u16string(rest.substr(0, length)), false});
    }
    position_ += end + 1;
    if (rest[end] == u'\r' && end + 1 < rest.size() && rest[end + 1] == u'\n') {
        ++position_;
    }
    return std::optional<LinePiece>(LinePiece{std::u16string(rest.substr(0, end)), true});
}

}  // namespace quillrun
