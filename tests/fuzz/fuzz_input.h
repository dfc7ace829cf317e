// Helpers shared by the fuzz targets: turning the fuzzer's bytes into the inputs Quillrun meets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/fake/fake_desktop.h"

namespace quillrun::fuzz {

// Consumes bytes from the front of the fuzzer's input.
class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : bytes_(reinterpret_cast<const char*>(data), size) {}

    std::uint8_t Byte() {
        if (bytes_.empty()) {
            return 0;
        }
        const auto b = static_cast<std::uint8_t>(bytes_.front());
        bytes_.remove_prefix(1);
        return b;
    }

    [[nodiscard]] std::string_view Rest() const { return bytes_; }

    // The rest as little-endian UTF-16 units (an odd last byte is dropped).
    [[nodiscard]] std::u16string RestAsUtf16() const {
        std::u16string text;
        for (std::size_t i = 0; i + 1 < bytes_.size(); i += 2) {
            const auto low = static_cast<unsigned char>(bytes_[i]);
            const auto high = static_cast<unsigned char>(bytes_[i + 1]);
            text.push_back(static_cast<char16_t>(low | (high << 8)));
        }
        return text;
    }

  private:
    std::string_view bytes_;
};

// How the fake desktop serves files, from a mode byte: bit 0x40 chooses the ANSI code page
// (932, double-byte, or 1252) and bits 1 to 5 the most bytes one read returns (0: all asked for;
// pipes and network shares deliver short reads). The other bits are the fuzz target's own.
inline void ServeFilesAsModeSays(FakeDesktop& desktop, std::uint8_t mode) {
    desktop.ansiCodePage = (mode & 0x40) != 0 ? 932 : 1252;
    desktop.readPieceLimit = (mode >> 1) & 0x1F;
}

// A property the code must keep; a failure aborts so that the fuzzer records the input.
inline void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace quillrun::fuzz
