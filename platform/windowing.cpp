// Windows as objects in a handle table, window classes, message sending,
// posting and the message loop.
#include <deque>
#include <map>
#include <memory>
#include <utility>

#include "platform/errors.h"
#include "platform/text.h"
#include "platform/windowing_internal.h"

namespace orva::platform {
namespace {

struct WindowClass {
    std::u16string name;
    WNDPROC proc = nullptr;
    ATOM atom = 0;
};

struct State {
    std::map<uintptr_t, std::unique_ptr<Window>> windows;
    std::vector<WindowClass> classes;
    std::deque<MSG> queue;
    bool quit_pending = false;
    int quit_code = 0;
    bool dispatching = false;  // the next SendMessageW delivers a posted message
    uintptr_t next_handle = 0x10000;
    ATOM next_atom = 0xC000;
};

State& state() {
    static State s;
    return s;
}

MessageObserver& observer() {
    static MessageObserver o;
    return o;
}

void free_if_done(HWND hwnd) {
    auto& windows = state().windows;
    auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
    if (it != windows.end() && it->second->destroyed && it->second->busy == 0) windows.erase(it);
}

// SetWindowPos keeps the position (the application itself never asks).
constexpr UINT SWP_NOMOVE = 0x0002;

// The client area's origin and size inside a window's rectangle: a popup
// with a caption loses a caption bar at the top.

RECT client_of(const Window& w) {
    LONG width = w.rect.right - w.rect.left;
    LONG height = w.rect.bottom - w.rect.top;
    bool captioned = (w.style & WS_CAPTION) == WS_CAPTION && !(w.style & WS_CHILD);
    if (captioned) height = std::max<LONG>(0, height - kCaptionHeight);
    return RECT{0, 0, width, height};
}

POINT client_origin_on_screen(const Window& w) {
    POINT p{w.rect.left, w.rect.top};
    if ((w.style & WS_CAPTION) == WS_CAPTION && !(w.style & WS_CHILD)) p.y += kCaptionHeight;
    if (Window* parent = find_window(w.parent)) {
        POINT o = client_origin_on_screen(*parent);
        p.x += o.x;
        p.y += o.y;
    }
    return p;
}

}  // namespace

void set_message_observer(MessageObserver o) { observer() = std::move(o); }

BusyGuard::BusyGuard(HWND hwnd) : m_hwnd(hwnd) {
    auto& windows = state().windows;
    auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
    if (it != windows.end()) ++it->second->busy;
}

BusyGuard::~BusyGuard() {
    auto& windows = state().windows;
    auto it = windows.find(reinterpret_cast<uintptr_t>(m_hwnd));
    if (it != windows.end()) {
        --it->second->busy;
        free_if_done(m_hwnd);
    }
}

void reset_windowing() {
    state().windows.clear();
    state().classes.clear();
    state().queue.clear();
    state().quit_pending = false;
    state().quit_code = 0;
}

Window* find_window(HWND hwnd) {
    auto& windows = state().windows;
    auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
    if (it == windows.end() || it->second->destroyed) return nullptr;
    return it->second.get();
}

bool is_window(HWND hwnd) { return find_window(hwnd) != nullptr; }

std::vector<HWND> top_level_windows() {
    std::vector<HWND> out;
    for (auto& [key, w] : state().windows)
        if (!w->destroyed && !w->parent) out.push_back(w->handle);
    return out;
}

HWND active_sheet() {
    auto& windows = state().windows;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (!it->second->destroyed && it->second->kind == Kind::Sheet) return it->second->handle;
    return nullptr;
}

HWND active_dialog() {
    auto& windows = state().windows;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        Window& w = *it->second;
        if (w.destroyed) continue;
        if (const auto* dialog = w.as<DialogState>(); dialog && dialog->modal) return w.handle;
        if (const auto* sheet = w.as<SheetState>()) {
            int cur = sheet->current;
            if (cur >= 0 && is_window(sheet->pages[size_t(cur)].hwnd)) return sheet->pages[size_t(cur)].hwnd;
            return nullptr;
        }
    }
    return nullptr;
}

HWND find_control(HWND dialog, int id) {
    Window* d = find_window(dialog);
    if (!d) return nullptr;
    for (HWND c : d->children) {
        Window* w = find_window(c);
        if (w && w->id == id) return c;
    }
    return nullptr;
}

RECT dialog_units_to_pixels(const RECT& du, int point_size) {
    // Base units of the System font: about 0.6 of the point size across and
    // 1.3 down, so that an 8-point dialog unit is 5/4 by 11/8 pixels.
    int bx = (point_size * 6 + 9) / 10;
    int by = (point_size * 13 + 9) / 10;
    if (bx <= 0) bx = 1;
    if (by <= 0) by = 1;
    auto cx = [&](LONG v) { return LONG(v * bx / 4); };
    auto cy = [&](LONG v) { return LONG(v * by / 8); };
    return RECT{cx(du.left), cy(du.top), cx(du.right), cy(du.bottom)};
}

size_t live_window_count() {
    size_t n = 0;
    for (auto& [key, w] : state().windows)
        if (!w->destroyed) ++n;
    return n;
}

RECT screen_rect() { return RECT{0, 0, 640, 480}; }

KindState state_for(Kind kind) {
    switch (kind) {
        case Kind::Window:
            return PaintState{};
        case Kind::CommandBar:
            return CommandBarState{};
        case Kind::Dialog:
            return DialogState{};
        case Kind::Sheet:
            return SheetState{};
        case Kind::Bitmap:
        case Kind::Icon:
            return ImageState{};
        case Kind::ComboBox:
            return ComboBoxState{};
        case Kind::Progress:
            return ProgressState{};
        default:
            return std::monostate{};
    }
}

ModalState* Window::modal_state() {
    if (auto* d = as<DialogState>()) return d;
    return as<SheetState>();
}

Window& create_window_object(WindowShape shape, KindState kind_state) {
    auto w = std::make_unique<Window>();
    HWND h = reinterpret_cast<HWND>(state().next_handle);
    state().next_handle += 4;
    static_cast<WindowShape&>(*w) = std::move(shape);
    w->handle = h;
    w->state = std::holds_alternative<std::monostate>(kind_state) ? state_for(w->kind) : std::move(kind_state);
    Window& ref = *w;
    state().windows.emplace(reinterpret_cast<uintptr_t>(h), std::move(w));
    if (Window* parent = find_window(ref.parent)) parent->children.push_back(h);
    frontend().window_created(ref);
    return ref;
}

void show_window(Window& w, bool visible) {
    if (w.visible == visible) return;
    w.visible = visible;
    frontend().window_changed(w, Change::Visible, visible ? 1 : 0, true);
}

void notify_change(const Window& w, Change change, int value, bool by_application) {
    frontend().window_changed(w, change, value, by_application);
}

BuiltinProc builtin_proc(Kind kind) {
    switch (kind) {
        case Kind::Sheet:
            return sheet_proc;
        case Kind::Window:
        case Kind::Dialog:
            return nullptr;
        default:
            return control_proc;
    }
}

// The frontend's wait for the operator, where a stop requested from outside
// ends the program.
static void wait_for_operator() {
    stop_if_requested();
    frontend().wait_for_input();
    stop_if_requested();
}

void run_modal_loop(const std::function<bool()>& done) {
    auto& s = state();
    while (!done()) {
        if (!s.queue.empty()) {
            MSG msg = s.queue.front();
            s.queue.pop_front();
            DispatchMessageW(&msg);
            continue;
        }
        if (s.quit_pending) return;  // left for the outer message loop
        wait_for_operator();
    }
}

INT_PTR run_modal_window(HWND hwnd) {
    run_modal_loop([hwnd] {
        Window* w = find_window(hwnd);
        return !w || !w->modal_state() || w->modal_state()->ended;
    });
    INT_PTR result = 0;
    if (Window* w = find_window(hwnd)) {
        if (ModalState* modal = w->modal_state()) result = modal->result;
        DestroyWindow(hwnd);
    }
    return result;
}

}  // namespace orva::platform

using namespace orva::platform;

ATOM RegisterClassW(const WNDCLASSW* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& s = state();
    for (auto& c : s.classes)
        if (equal_no_case(c.name, wide_view(wc->lpszClassName))) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    WindowClass c;
    c.name = std::u16string(wide_view(wc->lpszClassName));
    c.proc = wc->lpfnWndProc;
    c.atom = s.next_atom++;
    s.classes.push_back(c);
    return c.atom;
}

// Creates a window of a registered class. Top-level windows with
// CW_USEDEFAULT fill the screen, as on the controller. WM_CREATE gets no
// CREATESTRUCT (the application does not read it). A window destroyed while
// it handles WM_CREATE makes the call return NULL.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE, LPVOID) {
    const WindowClass* cls = nullptr;
    for (auto& c : state().classes)
        if (className && equal_no_case(c.name, wide_view(className))) cls = &c;
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    WindowShape shape;
    shape.kind = Kind::Window;
    shape.class_name = cls->name;
    shape.text = std::u16string(wide_view(windowName));
    shape.style = style;
    shape.ex_style = exStyle;
    shape.wndproc = cls->proc;
    bool child = (style & WS_CHILD) != 0;
    shape.id = child ? int(reinterpret_cast<uintptr_t>(menu)) : 0;
    if (child) shape.parent = parent;
    else shape.owner = parent;
    RECT screen = screen_rect();
    shape.rect = RECT{x == CW_USEDEFAULT ? 0 : x, y == CW_USEDEFAULT ? 0 : y, 0, 0};
    shape.rect.right = shape.rect.left + (width == CW_USEDEFAULT ? screen.right : width);
    shape.rect.bottom = shape.rect.top + (height == CW_USEDEFAULT ? screen.bottom : height);
    Window& w = create_window_object(std::move(shape));
    HWND h = w.handle;
    LRESULT r = SendMessageW(h, WM_CREATE, 0, 0);
    if (!is_window(h)) return nullptr;
    if (r == -1) {
        DestroyWindow(h);
        return nullptr;
    }
    if (style & WS_VISIBLE) show_window(*find_window(h), true);
    return h;
}

// Destroys owned windows first, then sends WM_DESTROY to the window and
// destroys its children. The object is freed once no procedure of it runs.
BOOL DestroyWindow(HWND hwnd) {
    Window* w = find_window(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->destroying) return TRUE;
    w->destroying = true;
    BusyGuard guard(hwnd);
    for (HWND other : top_level_windows()) {
        Window* o = find_window(other);
        if (o && o->owner == hwnd) DestroyWindow(other);
    }
    if (!is_window(hwnd)) return TRUE;
    SendMessageW(hwnd, WM_DESTROY, 0, 0);
    w = find_window(hwnd);
    if (!w) return TRUE;
    std::vector<HWND> children = w->children;
    for (HWND c : children) DestroyWindow(c);
    w = find_window(hwnd);
    if (!w) return TRUE;
    w->destroyed = true;
    if (Window* parent = find_window(w->parent)) std::erase(parent->children, hwnd);
    frontend().window_destroyed(*w);
    return TRUE;
}

BOOL ShowWindow(HWND hwnd, int cmdShow) {
    Window* w = find_window(hwnd);
    if (!w) return FALSE;
    BOOL was = w->visible;
    show_window(*w, cmdShow != 0);
    return was;
}

// Paints a window of a registered class at once, then lets the frontend show
// the window's whole current state before the call returns.
BOOL UpdateWindow(HWND hwnd) {
    Window* w = find_window(hwnd);
    if (!w) return FALSE;
    if (w->kind == Kind::Window && w->visible) SendMessageW(hwnd, WM_PAINT, 0, 0);
    if ((w = find_window(hwnd))) frontend().update_window(*w);
    return TRUE;
}

LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = find_window(hwnd);
    if (!w) return 0;
    switch (msg) {
        case WM_SETTEXT:
            w->text = std::u16string(wide_view(reinterpret_cast<LPCWSTR>(lParam)));
            notify_change(*w, Change::Text, 0, true);
            return TRUE;
        case WM_GETTEXT: {
            auto* out = reinterpret_cast<LPWSTR>(lParam);
            if (!out || wParam == 0) return 0;
            size_t n = std::min<size_t>(w->text.size(), wParam - 1);
            std::copy_n(w->text.data(), n, out);
            out[n] = 0;
            return LRESULT(n);
        }
        case WM_GETTEXTLENGTH:
            return LRESULT(w->text.size());
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        default:
            return 0;
    }
}

// Dialogs: the dialog procedure first; what it leaves (FALSE) gets the
// default dialog handling. A handled message's result is the procedure's
// BOOL for WM_INITDIALOG and 0 otherwise (no DWLP_MSGRESULT is kept).
LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = find_window(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    const bool posted = std::exchange(state().dispatching, false);
    if (observer()) observer()(MSG{hwnd, msg, wParam, lParam, 0, {0, 0}}, posted);
    w = find_window(hwnd);
    if (!w) return 0;
    BusyGuard guard(hwnd);
    if (w->dlgproc) {
        BOOL handled = w->dlgproc(hwnd, msg, wParam, lParam);
        if (handled) return msg == WM_INITDIALOG ? handled : 0;
        w = find_window(hwnd);
        if (!w) return 0;
        if (msg == WM_CLOSE) {
            PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return 0;
        }
        if (BuiltinProc proc = builtin_proc(w->kind)) return proc(*w, msg, wParam, lParam);
        return msg == WM_SETTEXT || msg == WM_GETTEXT || msg == WM_GETTEXTLENGTH
                   ? DefWindowProcW(hwnd, msg, wParam, lParam)
                   : 0;
    }
    if (BuiltinProc proc = builtin_proc(w->kind)) return proc(*w, msg, wParam, lParam);
    if (w->wndproc) return w->wndproc(hwnd, msg, wParam, lParam);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hwnd && !is_window(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    state().queue.push_back(MSG{hwnd, msg, wParam, lParam, 0, {0, 0}});
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    state().quit_pending = true;
    state().quit_code = exitCode;
}

// Takes the next queued message; WM_QUIT once the queue is empty and a quit
// was posted; otherwise waits for the operator through the frontend.
BOOL GetMessageW(LPMSG msg, HWND, UINT, UINT) {
    auto& s = state();
    for (;;) {
        if (!s.queue.empty()) {
            *msg = s.queue.front();
            s.queue.pop_front();
            return TRUE;
        }
        if (s.quit_pending) {
            s.quit_pending = false;
            *msg = MSG{nullptr, WM_QUIT, WPARAM(s.quit_code), 0, 0, {0, 0}};
            return FALSE;
        }
        wait_for_operator();
    }
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageW(const MSG* msg) {
    if (!msg || !msg->hwnd || !is_window(msg->hwnd)) return 0;
    state().dispatching = true;
    return SendMessageW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
    Window* w = find_window(hwnd);
    if (!w || !rect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    LONG width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
    POINT origin{w->rect.left, w->rect.top};
    if (Window* parent = find_window(w->parent)) {
        POINT o = client_origin_on_screen(*parent);
        origin.x += o.x;
        origin.y += o.y;
    }
    *rect = RECT{origin.x, origin.y, origin.x + width, origin.y + height};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
    Window* w = find_window(hwnd);
    if (!w || !rect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = client_of(*w);
    return TRUE;
}

HWND GetParent(HWND hwnd) {
    Window* w = find_window(hwnd);
    if (!w) return nullptr;
    return w->parent ? w->parent : w->owner;
}

// Moves (and, without SWP_NOSIZE, sizes) a window; child positions are in
// the parent's client coordinates. Z order is not modelled.
BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
    Window* w = find_window(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    LONG width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
    if (!(flags & SWP_NOSIZE)) {
        width = cx;
        height = cy;
    }
    if (!(flags & SWP_NOMOVE)) {
        w->rect.left = x;
        w->rect.top = y;
    }
    w->rect.right = w->rect.left + width;
    w->rect.bottom = w->rect.top + height;
    notify_change(*w, Change::Geometry, 0, true);
    return TRUE;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    Window* w = find_window(hwnd);
    if (!w || !ps) return nullptr;
    *ps = PAINTSTRUCT{};
    ps->hdc = reinterpret_cast<HDC>(hwnd);
    ps->rcPaint = client_of(*w);
    return ps->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT*) { return TRUE; }

// Text drawn in a window is kept as the window's painted text, which the
// frontends show in its client area.
int DrawTextW(HDC hdc, LPCWSTR text, int count, LPRECT, UINT) {
    Window* w = find_window(reinterpret_cast<HWND>(hdc));
    if (!w || !text) return 0;
    std::u16string_view s = count < 0 ? wide_view(text) : std::u16string_view(text, size_t(count));
    if (auto* paint = w->as<PaintState>()) paint->painted = std::u16string(s);
    notify_change(*w, Change::Painted, 0, true);
    return 16;
}

HGDIOBJ GetStockObject(int object) {
    return object == WHITE_BRUSH ? reinterpret_cast<HGDIOBJ>(uintptr_t(0x100)) : nullptr;
}
