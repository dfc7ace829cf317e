// Move-only owners for Win32 handles, GDI objects, windows and COM interfaces.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace quillrun::win32 {

template <class Traits>
class UniqueResource {
  public:
    using Handle = typename Traits::Handle;

    UniqueResource() = default;
    explicit UniqueResource(Handle handle) : handle_(handle) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~UniqueResource() { reset(); }

    [[nodiscard]] Handle get() const { return handle_; }
    [[nodiscard]] bool valid() const { return Traits::IsValid(handle_); }
    explicit operator bool() const { return valid(); }

    Handle release() { return std::exchange(handle_, Traits::Invalid()); }
    void reset(Handle handle = Traits::Invalid()) {
        if (Traits::IsValid(handle_)) {
            Traits::Close(handle_);
        }
        handle_ = handle;
    }

  private:
    Handle handle_ = Traits::Invalid();
};

// Kernel handles: CreateFile reports failure as INVALID_HANDLE_VALUE, most others as null.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::DeleteObject(h); }
};
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;

struct WindowTraits {
    using Handle = HWND;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::DestroyWindow(h); }
};
using UniqueWindow = UniqueResource<WindowTraits>;

struct MenuTraits {
    using Handle = HMENU;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::DestroyMenu(h); }
};
using UniqueMenu = UniqueResource<MenuTraits>;

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::RegCloseKey(h); }
};
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;

// A window's device context from GetDC, given back to that window with ReleaseDC.
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    WindowDc(WindowDc&& other) noexcept
        : window_(other.window_), dc_(std::exchange(other.dc_, nullptr)) {}
    ~WindowDc() {
        if (dc_ != nullptr) {
            ::ReleaseDC(window_, dc_);
        }
    }

    [[nodiscard]] HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// A key under HKEY_LOCAL_MACHINE opened for reading; empty if it cannot be.
inline UniqueRegistryKey OpenMachineKey(const wchar_t* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return UniqueRegistryKey();
    }
    return UniqueRegistryKey(key);
}

// A COM interface pointer, released when this goes away.
template <class Interface>
struct ComTraits {
    using Handle = Interface*;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { h->Release(); }
};
template <class Interface>
using UniqueCom = UniqueResource<ComTraits<Interface>>;

// COM on this thread for as long as this lives (apartment-threaded, as windows need).
class ComApartment {
  public:
    ComApartment() : initialized_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (initialized_) {
            ::CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    bool initialized_;
};

}  // namespace quillrun::win32
