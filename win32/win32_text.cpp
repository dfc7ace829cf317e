#include "win32/win32_text.h"

#include <climits>

namespace quillrun::win32 {

std::u16string SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) {
        return u"Error " + FromWide(std::to_wstring(code)) + u".";
    }
    std::wstring message(buffer, length);
    ::LocalFree(buffer);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    return FromWide(message);
}

Failure ErrorFailure(std::string operation, DWORD code) {
    return Failure{std::move(operation), SystemMessage(code), code};
}

Failure LastErrorFailure(std::string operation) {
    return ErrorFailure(std::move(operation), ::GetLastError());
}

Result<std::u16string> DecodeCodePageText(std::uint32_t codePage, std::string_view bytes,
                                          bool strict) {
    if (bytes.empty()) {
        return std::u16string();
    }
    if (bytes.size() > INT_MAX) {
        return ErrorFailure("DecodeCodePage", ERROR_ARITHMETIC_OVERFLOW);
    }
    const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
    const int inLength = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(codePage, flags, bytes.data(), inLength, nullptr, 0);
    if (length == 0) {
        return LastErrorFailure("DecodeCodePage");
    }
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, flags, bytes.data(), inLength, text.data(), length);
    return FromWide(text);
}

Result<std::string> EncodeCodePageText(std::uint32_t codePage, std::u16string_view text) {
    if (text.empty()) {
        return std::string();
    }
    if (text.size() > INT_MAX / 4) {
        return ErrorFailure("EncodeCodePage", ERROR_ARITHMETIC_OVERFLOW);
    }
    const std::wstring wide = ToWide(text);
    const int inLength = static_cast<int>(wide.size());
    // For UTF-8 the "default character used" flag must not be asked for; the strict flag is.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
    const int length = ::WideCharToMultiByte(codePage, flags, wide.data(), inLength, nullptr, 0,
                                             nullptr, usedDefaultOut);
    if (length == 0) {
        return LastErrorFailure("EncodeCodePage");
    }
    if (usedDefault) {
        return ErrorFailure("EncodeCodePage", ERROR_NO_UNICODE_TRANSLATION);
    }
    std::string bytes(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, flags, wide.data(), inLength, bytes.data(), length, nullptr,
                          nullptr);
    return bytes;
}

std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

}  // namespace quillrun::win32
