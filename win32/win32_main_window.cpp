#include "win32/win32_main_window.h"

#include <commctrl.h>

#include "app/form_layout.h"
#include "app/start_menu.h"
#include "win32/win32_text.h"

namespace quillrun::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"QuillrunMainForm";
// Fixed border with minimize and close buttons: the layout is designed for one size.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = 0;
// Posted to itself on activation: a modal message must not open inside WM_ACTIVATE.
constexpr UINT kShowHeldMessage = WM_APP + 1;
// The longest path Windows accepts; the edit control's default limit is shorter.
constexpr WPARAM kPathLimit = 32767;

HMENU ControlMenuId(ControlId id) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(static_cast<int>(id)));
}

// The system's message font at `dpi`, as dialogs use it.
UniqueGdiObject CreateUiFont(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0, dpi)) {
        // Older systems (and Wine) lack the per-DPI query: scale the system-DPI metrics.
        if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
            return UniqueGdiObject();
        }
        const UINT systemDpi = ::GetDpiForSystem();
        metrics.lfMessageFont.lfHeight =
            ::MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi),
                     static_cast<int>(systemDpi == 0 ? kDefaultDpi : systemDpi));
    }
    return UniqueGdiObject(::CreateFontIndirectW(&metrics.lfMessageFont));
}

ATOM RegisterWindowClass(HINSTANCE instance, WNDPROC windowProc) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kWindowClass;
    return ::RegisterClassExW(&windowClass);
}

// Appends `items` to `menu`, submenus included; a menu destroys its submenus with it.
bool AppendMenuItems(HMENU menu, const std::vector<MenuItem>& items) {
    for (const MenuItem& item : items) {
        std::wstring text = ToWide(item.text);
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        info.fType = MFT_STRING;
        info.fState = (item.checked ? MFS_CHECKED : 0u) | (item.isDefault ? MFS_DEFAULT : 0u) |
                      (item.enabled ? 0u : MFS_GRAYED);
        info.wID = static_cast<UINT>(item.id);
        info.dwTypeData = text.data();
        UniqueMenu submenu;
        switch (item.kind) {
            case MenuItem::Kind::Separator:
                info.fMask = MIIM_FTYPE;
                info.fType = MFT_SEPARATOR;
                break;
            case MenuItem::Kind::Radio:
                info.fType |= MFT_RADIOCHECK;
                break;
            case MenuItem::Kind::Submenu:
                submenu.reset(::CreatePopupMenu());
                if (!submenu || !AppendMenuItems(submenu.get(), item.items)) {
                    return false;
                }
                info.fMask |= MIIM_SUBMENU;
                info.hSubMenu = submenu.get();
                break;
            case MenuItem::Kind::Command:
            case MenuItem::Kind::Check:
                break;
        }
        if (!::InsertMenuItemW(menu, static_cast<UINT>(::GetMenuItemCount(menu)), TRUE, &info)) {
            return false;
        }
        static_cast<void>(submenu.release());  // the menu owns it now
    }
    return true;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, Win32Desktop& desktop)
    : instance_(instance), desktop_(desktop), form_(desktop, *this) {}

MainWindow::~MainWindow() {
    if (window_ != nullptr) {
        ::DestroyWindow(window_);
    }
}

Result<std::unique_ptr<MainWindow>> MainWindow::Create(HINSTANCE instance, Win32Desktop& desktop) {
    if (RegisterWindowClass(instance, &MainWindow::WindowProc) == 0 &&
        ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return LastErrorFailure("RegisterClassEx");
    }
    std::unique_ptr<MainWindow> self(new MainWindow(instance, desktop));
    const std::wstring caption = ToWide(kWindowCaption);
    // Created at a provisional size: the real one depends on the DPI of wherever it lands.
    if (::CreateWindowExW(kWindowExStyle, kWindowClass, caption.c_str(), kWindowStyle,
                          CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance,
                          self.get()) == nullptr) {
        return LastErrorFailure("CreateWindowEx");
    }
    if (Status created = self->CreateControls(); !created) {
        return created.failure();
    }
    self->ApplyLayout(::GetDpiForWindow(self->window_));
    desktop.AttachWindow(self->window_);
    self->form_.OnLoad();
    return self;
}

int MainWindow::Run(int showCommand) {
    lastFocus_ = path_;
    ::ShowWindow(window_, showCommand);
    ::SetFocus(path_);
    ::UpdateWindow(window_);

    MSG message;
    BOOL got = 0;
    while ((got = ::GetMessageW(&message, nullptr, 0, 0)) > 0) {
        DispatchWindowMessage(window_, message);
    }
    return got == 0 ? static_cast<int>(message.wParam) : 1;
}

std::u16string MainWindow::PathText() const {
    return FromWide(WindowText(path_));
}

void MainWindow::SetPathText(std::u16string_view text) {
    ::SetWindowTextW(path_, ToWide(text).c_str());
}

void MainWindow::SetCaption(std::u16string_view caption) {
    if (window_ != nullptr) {
        ::SetWindowTextW(window_, ToWide(caption).c_str());
    }
}

void MainWindow::ShowFailure(std::u16string_view message) {
    ::MessageBoxW(window_, ToWide(message).c_str(), ToWide(kWindowCaption).c_str(),
                  MB_OK | MB_ICONERROR);
}

// Sent to every top-level window when the taskbar has (again) made the window's button, as after
// Explorer restarts; the taskbar list must then be made anew ("TaskbarButtonCreated", in
// ITaskbarList3's documentation).
UINT TaskbarCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

void MainWindow::ShowProgress(TaskbarProgress state, std::uint64_t done, std::uint64_t total) {
    if (window_ == nullptr) {
        return;
    }
    progressState_ = state;
    progressDone_ = done;
    progressTotal_ = total;
    // Made only when first needed: by then the window has long had its taskbar button, which
    // the taskbar list's methods require.
    if (!taskbarTried_) {
        taskbarTried_ = true;
        ITaskbarList3* list = nullptr;
        if (SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_ITaskbarList3, reinterpret_cast<void**>(&list)))) {
            taskbar_.reset(list);
            if (FAILED(list->HrInit())) {
                taskbar_.reset();
            }
        }
    }
    if (!taskbar_) {
        return;  // no taskbar to show it (a shell without one)
    }
    if (state == TaskbarProgress::Off) {
        taskbar_.get()->SetProgressState(window_, TBPF_NOPROGRESS);
        return;
    }
    taskbar_.get()->SetProgressState(window_,
                                     state == TaskbarProgress::Error ? TBPF_ERROR : TBPF_NORMAL);
    taskbar_.get()->SetProgressValue(window_, done, total);
}

void MainWindow::FlashTaskbarButton() {
    if (window_ == nullptr) {
        return;
    }
    FLASHWINFO flash{};
    flash.cbSize = sizeof(flash);
    flash.hwnd = window_;
    flash.dwFlags = FLASHW_TRAY;
    flash.uCount = 1;
    ::FlashWindowEx(&flash);
}

Status MainWindow::CreateControls() {
    for (const ControlSpec& design : kControls) {
        const bool textBox = design.kind == ControlKind::TextBox;
        DWORD kindStyle = BS_PUSHBUTTON;
        if (textBox) {
            kindStyle = ES_AUTOHSCROLL;
        } else if (design.kind == ControlKind::SplitButton) {
            // Its arrow, and the Up and Down keys while it has the focus, send BCN_DROPDOWN.
            // The default button: Enter in the path box presses it (see DM_GETDEFID).
            kindStyle = BS_DEFSPLITBUTTON;
        }
        const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | kindStyle;
        const std::wstring text = ToWide(design.text);
        HWND control = ::CreateWindowExW(
            textBox ? WS_EX_CLIENTEDGE : 0, textBox ? WC_EDITW : WC_BUTTONW, text.c_str(), style, 0,
            0, 0, 0, window_, ControlMenuId(design.id), instance_, nullptr);
        if (control == nullptr) {
            return LastErrorFailure("CreateWindowEx");
        }
        switch (design.id) {
            case ControlId::FPath:
                path_ = control;
                break;
            case ControlId::Choose:
                choose_ = control;
                break;
            case ControlId::Start:
                start_ = control;
                break;
        }
    }
    ::SendMessageW(path_, EM_SETLIMITTEXT, kPathLimit, 0);
    return {};
}

void MainWindow::ApplyLayout(UINT dpi, const RECT* suggested) {
    const int windowDpi = static_cast<int>(dpi == 0 ? kDefaultDpi : dpi);
    if (suggested != nullptr) {
        // WM_DPICHANGED's documentation: take the rectangle it suggests, which keeps the
        // window on the monitor it moved to and the pointer where it was on it.
        ::SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        const Size client = TwipsToPixels(kClientTwips, windowDpi);
        RECT frame{0, 0, client.width, client.height};
        ::AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi);
        ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // The controls take the new font before the old one is deleted: a control may paint with
    // the font it holds at any moment.
    UniqueGdiObject font = CreateUiFont(dpi);
    for (const ControlSpec& design : kControls) {
        HWND control = ::GetDlgItem(window_, static_cast<int>(design.id));
        const Rect px = TwipsToPixels(design.twips, windowDpi);
        ::SetWindowPos(control, nullptr, px.left, px.top, px.width, px.height,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        if (font) {
            ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
        }
    }
    if (font) {
        font_ = std::move(font);
    }
}

void MainWindow::OnCommand(int controlId, int notification) {
    if (static_cast<ControlId>(controlId) == ControlId::FPath && notification == EN_CHANGE) {
        form_.OnPathChanged();
        return;
    }
    if (notification != BN_CLICKED) {
        return;
    }
    switch (static_cast<ControlId>(controlId)) {
        case ControlId::Choose:
            form_.OnChooseClick();
            break;
        case ControlId::Start:
            form_.OnStartClick();
            break;
        case ControlId::FPath:
            break;
    }
}

void MainWindow::ShowStartMenu(const RECT& buttonOnScreen) {
    // The menu's own loop would hold up a run that is typing, and its choice would start inside
    // it: during a run the click on the arrow only stops the run.
    if (!form_.OnStartMenuOpening()) {
        return;
    }
    const UniqueMenu menu(::CreatePopupMenu());
    if (!menu || !AppendMenuItems(menu.get(), form_.StartMenu())) {
        return;
    }
    TPMPARAMS avoid{};
    avoid.cbSize = sizeof(avoid);
    avoid.rcExclude = buttonOnScreen;
    // The choice comes back as the result, so it is acted on here, after the menu has closed.
    const auto chosen = static_cast<int>(::TrackPopupMenuEx(
        menu.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_VERTICAL | TPM_RETURNCMD | TPM_NONOTIFY,
        buttonOnScreen.left, buttonOnScreen.bottom, window_, &avoid));
    form_.OnMenuChoice(chosen);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MainWindow*>(create->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case DM_GETDEFID:
            // IsDialogMessage asks which button Enter presses where the focus is on no button
            // (the path box); without an answer it would send IDOK, which no control has.
            return MAKELRESULT(static_cast<int>(ControlId::Start), DC_HASDEFID);
        case WM_COMMAND:
            if (lParam != 0) {  // from a control, not a menu or accelerator
                OnCommand(LOWORD(wParam), HIWORD(wParam));
            } else if (LOWORD(wParam) == IDCANCEL) {
                form_.OnEscape();  // the dialog keyboard handling's word for Esc
            }
            return 0;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->hwndFrom == start_ && header->code == BCN_DROPDOWN) {
                RECT button{};
                ::GetWindowRect(start_, &button);
                ShowStartMenu(button);
            }
            return 0;
        }
        case WM_PARENTNOTIFY:
            // Sent as the mouse goes down on a control, before its command (which comes as it
            // is let go): the click's press tells whether it came during a run.
            if (LOWORD(wParam) == WM_LBUTTONDOWN) {
                form_.OnControlPressed();
            }
            return 0;
        case WM_TIMER:
            if (wParam == Win32Desktop::kTimerId) {
                form_.OnTimerTick();
            }
            return 0;
        case WM_ACTIVATE:
            // Keep the focus on the control the user left, as dialogs do.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus != nullptr && ::IsChild(window_, focus)) {
                    lastFocus_ = focus;
                }
            } else {
                if (lastFocus_ != nullptr) {
                    ::SetFocus(lastFocus_);
                }
                ::PostMessageW(window_, kShowHeldMessage, 0, 0);
            }
            return 0;
        case kShowHeldMessage:
            form_.OnActivated();
            return 0;
        case WM_HOTKEY:
            if (wParam == Win32Desktop::kHotKeyId) {
                form_.OnHotKey();
            }
            return 0;
        case WM_DPICHANGED:
            ApplyLayout(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_CLOSE:
            form_.OnUnload();
            ::DestroyWindow(window_);
            return 0;
        case WM_DESTROY:
            desktop_.DisableTimer();
            desktop_.AttachWindow(nullptr);
            ::PostQuitMessage(0);
            return 0;
        default:
            if (message == TaskbarCreatedMessage() && message != 0) {
                // Explorer restarted: its new taskbar knows nothing of the old one's list.
                taskbar_.reset();
                taskbarTried_ = false;
                if (progressState_ != TaskbarProgress::Off) {
                    ShowProgress(progressState_, progressDone_, progressTotal_);
                }
                return 0;
            }
            return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

}  // namespace quillrun::win32
