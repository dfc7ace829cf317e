#include "desktop/win32_text.h"

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

std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

}  // namespace quillrun::win32
