// What a run types, piece by piece: a file read as it goes, or a text held in memory (the
// clipboard's).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "desktop/result.h"
#include "text/text_reader.h"

namespace quillrun {

class TextPieces {
  public:
    virtual ~TextPieces() = default;
    // The next piece of the current line; nullopt at the end of the text. A piece that ends a
    // line is followed by one Enter.
    virtual Result<std::optional<LinePiece>> Next() = 0;
    // How far the text has been taken, and its whole length, in the source's own units (0 when
    // unknown): for the progress shown.
    [[nodiscard]] virtual std::uint64_t Done() const = 0;
    [[nodiscard]] virtual std::uint64_t Total() const = 0;
    // Starts again from the beginning of the text: a second pass reads it anew, so that a text
    // of any size is gone through twice without being held in memory.
    virtual Status Rewind() = 0;
};

// A text held in memory, typed exactly as it is: a carriage return and line feed, a carriage
// return or a line feed each end a line, and a last line without an end gets no Enter (a copied
// password or command must not be submitted by an Enter that was never copied). The text is
// overwritten when this goes away: a copied password is not left whole in freed memory.
class MemoryTextPieces final : public TextPieces {
  public:
    // Long lines come in pieces of at most this many units, so that progress moves on.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    static constexpr std::size_t kMaxPieceUnits = 16;  // small inputs reach the cutting too
#else
    static constexpr std::size_t kMaxPieceUnits = std::size_t{64} * 1024;
#endif

    explicit MemoryTextPieces(std::u16string text) : text_(std::move(text)) {}
    ~MemoryTextPieces() override;
    MemoryTextPieces(const MemoryTextPieces&) = delete;
    MemoryTextPieces& operator=(const MemoryTextPieces&) = delete;

    Result<std::optional<LinePiece>> Next() override;
    [[nodiscard]] std::uint64_t Done() const override {
        return position_;
    }
    [[nodiscard]] std::uint64_t Total() const override {
        return text_.size();
    }
    Status Rewind() override {
        position_ = 0;
        return {};
    }

  private:
    std::u16string text_;
    std::size_t position_ = 0;
};

}  // namespace quillrun
