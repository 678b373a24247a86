#include "sdl_presenter.h"

#include <pthread.h>

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "compositor.h"
#include "drop.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace platform::screen {

namespace {

// How long the thread waits for a screen change before it looks at SDL's events again: the
// longest delay real input sees.
constexpr DWORD kPollMilliseconds = 10;

struct WindowDeleter {
    void operator()(SDL_Window* w) const { SDL_DestroyWindow(w); }
};
struct RendererDeleter {
    void operator()(SDL_Renderer* r) const { SDL_DestroyRenderer(r); }
};
struct TextureDeleter {
    void operator()(SDL_Texture* t) const { SDL_DestroyTexture(t); }
};
struct CursorDeleter {
    void operator()(SDL_Cursor* c) const { SDL_FreeCursor(c); }
};

// The virtual key of an SDL key, by the key's meaning in the current layout (letters and digits
// as their capitals, as Windows names them); 0 for keys the layer has no name for.
UINT VirtualKeyOf(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z)
        return UINT('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9)
        return UINT('0' + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12)
        return UINT(VK_F1 + (key - SDLK_F1));
    switch (key) {
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return VK_RETURN;
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_BACKSPACE:
            return VK_BACK;
        case SDLK_TAB:
            return VK_TAB;
        case SDLK_SPACE:
            return VK_SPACE;
        case SDLK_LEFT:
            return VK_LEFT;
        case SDLK_RIGHT:
            return VK_RIGHT;
        case SDLK_UP:
            return VK_UP;
        case SDLK_DOWN:
            return VK_DOWN;
        case SDLK_HOME:
            return VK_HOME;
        case SDLK_END:
            return VK_END;
        case SDLK_PAGEUP:
            return VK_PRIOR;
        case SDLK_PAGEDOWN:
            return VK_NEXT;
        case SDLK_INSERT:
            return VK_INSERT;
        case SDLK_DELETE:
            return VK_DELETE;
        case SDLK_PAUSE:
            return VK_PAUSE;
        case SDLK_CAPSLOCK:
            return VK_CAPITAL;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT:
            return VK_MENU;
        default:
            return 0;
    }
}

// The window manager's button number (0 left, 1 right, 2 middle), -1 for other buttons.
int ButtonOf(Uint8 button)
{
    switch (button) {
        case SDL_BUTTON_LEFT:
            return 0;
        case SDL_BUTTON_RIGHT:
            return 1;
        case SDL_BUTTON_MIDDLE:
            return 2;
        default:
            return -1;
    }
}

SDL_SystemCursor SystemCursorOf(user::CursorShape shape)
{
    switch (shape) {
        case user::CursorShape::IBeam:
            return SDL_SYSTEM_CURSOR_IBEAM;
        case user::CursorShape::Wait:
            return SDL_SYSTEM_CURSOR_WAIT;
        case user::CursorShape::SizeNWSE:
            return SDL_SYSTEM_CURSOR_SIZENWSE;
        case user::CursorShape::SizeNESW:
            return SDL_SYSTEM_CURSOR_SIZENESW;
        case user::CursorShape::SizeWE:
            return SDL_SYSTEM_CURSOR_SIZEWE;
        case user::CursorShape::SizeNS:
            return SDL_SYSTEM_CURSOR_SIZENS;
        case user::CursorShape::SizeAll:
            return SDL_SYSTEM_CURSOR_SIZEALL;
        case user::CursorShape::Hand:
            return SDL_SYSTEM_CURSOR_HAND;
        case user::CursorShape::Arrow:
            break;
    }
    return SDL_SYSTEM_CURSOR_ARROW;
}

// Asks the application to end, as closing its main window would: WM_CLOSE to every visible
// top-level window that no other window owns. A window may refuse; the screen stays shown.
void CloseApplication()
{
    std::vector<HWND> mains;
    EnumWindows(
        [](HWND window, LPARAM list) {
            if (IsWindowVisible(window) && !GetWindow(window, GW_OWNER))
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&mains));
    for (HWND window : mains)
        PostMessageW(window, WM_CLOSE, 0, 0);
}

// Everything the presenter's thread owns. Lives and dies on that thread; the members are
// declared so that they end in the order SDL needs (cursors and texture before the renderer,
// the renderer before the window).
class Session {
public:
    // Opens the window at the screen's size, scaled down to fit the display. False with the
    // reason in *error.
    bool Open(std::string* error)
    {
        SIZE size = Compositor::Get().Size();
        m_size = size;
        int width = size.cx;
        int height = size.cy;
        SDL_Rect usable;
        if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0) {
            double scale = std::min({1.0, double(usable.w) / width, double(usable.h) / height});
            width = std::max(1, int(width * scale));
            height = std::max(1, int(height * scale));
            if (scale < 1.0)
                SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
        }
        m_window.reset(SDL_CreateWindow("Tessaly screen", SDL_WINDOWPOS_CENTERED,
                                        SDL_WINDOWPOS_CENTERED, width, height,
                                        SDL_WINDOW_RESIZABLE));
        if (!m_window)
            return Failed(error);
        // The screen is already composed in memory: the software renderer only copies it (and
        // scales it when the display is smaller), without loading a GPU driver.
        m_renderer.reset(SDL_CreateRenderer(m_window.get(), -1, SDL_RENDERER_SOFTWARE));
        if (!m_renderer)
            return Failed(error);
        // The renderer maps the window's mouse coordinates onto the screen's pixels.
        if (SDL_RenderSetLogicalSize(m_renderer.get(), size.cx, size.cy) != 0)
            return Failed(error);
        m_texture.reset(SDL_CreateTexture(m_renderer.get(), SDL_PIXELFORMAT_ARGB8888,
                                          SDL_TEXTUREACCESS_STREAMING, size.cx, size.cy));
        if (!m_texture)
            return Failed(error);
        SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
        SDL_EventState(SDL_DROPBEGIN, SDL_ENABLE);
        SDL_EventState(SDL_DROPCOMPLETE, SDL_ENABLE);
        SDL_StopTextInput();
        return true;
    }

    void Run(const std::atomic<bool>& stop)
    {
        uint64_t seen = 0;
        bool redraw = true;
        while (!stop.load(std::memory_order_acquire)) {
            uint64_t now = user::WaitForScreenChange(seen, kPollMilliseconds);
            bool changed = now != seen;
            seen = now;
            SDL_Event event;
            while (SDL_PollEvent(&event))
                redraw |= Handle(event);
            if (changed || redraw)
                Show(redraw);
            redraw = false;
        }
        ReleaseHeldKeys();
    }

private:
    bool Failed(std::string* error)
    {
        *error = SDL_GetError();
        return false;
    }

    // Uploads what changed, shows the picture when anything did (or when `redraw`), and
    // follows the cursor.
    void Show(bool redraw)
    {
        bool uploaded = false;
        CursorState cursor;
        Compositor::Get().Present([&](const Compositor::Frame& frame) {
            cursor = frame.cursor;
            const int pitch = int(frame.size.cx) * 4;
            if (m_uploadAll) {
                SDL_UpdateTexture(m_texture.get(), nullptr, frame.pixels, pitch);
                m_uploadAll = false;
                uploaded = true;
                return;
            }
            for (const RECT& r : *frame.changed) {
                SDL_Rect part{r.left, r.top, r.right - r.left, r.bottom - r.top};
                const uint32_t* first =
                    frame.pixels + size_t(r.top) * size_t(frame.size.cx) + size_t(r.left);
                SDL_UpdateTexture(m_texture.get(), &part, first, pitch);
                uploaded = true;
            }
        });
        if (uploaded || redraw) {
            SDL_SetRenderDrawColor(m_renderer.get(), 0, 0, 0, 255);
            SDL_RenderClear(m_renderer.get());
            SDL_RenderCopy(m_renderer.get(), m_texture.get(), nullptr, nullptr);
            SDL_RenderPresent(m_renderer.get());
        }
        FollowCursor(cursor);
    }

    void FollowCursor(const CursorState& cursor)
    {
        if (cursor.shape != m_shape || !m_shapeSet) {
            auto& made = m_cursors[size_t(cursor.shape)];
            if (!made)
                made.reset(SDL_CreateSystemCursor(SystemCursorOf(cursor.shape)));
            if (made)
                SDL_SetCursor(made.get());
            m_shape = cursor.shape;
            m_shapeSet = true;
        }
        if (cursor.visible != m_cursorVisible) {
            SDL_ShowCursor(cursor.visible ? SDL_ENABLE : SDL_DISABLE);
            m_cursorVisible = cursor.visible;
        }
    }

    // Turns one SDL event into input for the window manager. Returns true when the window
    // must be drawn again.
    bool Handle(const SDL_Event& event)
    {
        user::InputEvent input;
        switch (event.type) {
            case SDL_QUIT:
                CloseApplication();
                return false;
            case SDL_WINDOWEVENT:
                switch (event.window.event) {
                    case SDL_WINDOWEVENT_EXPOSED:
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                    case SDL_WINDOWEVENT_RESTORED:
                        return true;
                    case SDL_WINDOWEVENT_FOCUS_LOST:
                        ReleaseHeldKeys();
                        return false;
                    default:
                        return false;
                }
            case SDL_RENDER_TARGETS_RESET:
            case SDL_RENDER_DEVICE_RESET:
                m_uploadAll = true;
                return true;
            case SDL_MOUSEMOTION:
                m_pointer = POINT{event.motion.x, event.motion.y};
                input.kind = user::InputEvent::Kind::Move;
                input.point = m_pointer;
                user::PostInput(input);
                return false;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                m_pointer = POINT{event.button.x, event.button.y};
                input.kind = user::InputEvent::Kind::Button;
                input.point = m_pointer;
                input.button = ButtonOf(event.button.button);
                input.down = event.type == SDL_MOUSEBUTTONDOWN;
                if (input.button >= 0)
                    user::PostInput(input);
                return false;
            case SDL_MOUSEWHEEL: {
                int notches = event.wheel.y;
                if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
                    notches = -notches;
                if (notches == 0)
                    return false;
                input.kind = user::InputEvent::Kind::Wheel;
                input.point = m_pointer;
                input.wheelDelta = notches * WHEEL_DELTA;
                user::PostInput(input);
                return false;
            }
            case SDL_KEYDOWN:
            case SDL_KEYUP: {
                UINT key = VirtualKeyOf(event.key.keysym.sym);
                if (!key)
                    return false;
                bool down = event.type == SDL_KEYDOWN;
                // Each physical key counts once, so the right Shift let go does not release the
                // left one still held.
                SDL_Scancode code = event.key.keysym.scancode;
                if (down)
                    m_held.insert({code, key});
                else
                    m_held.erase({code, key});
                bool otherHeld = std::any_of(m_held.begin(), m_held.end(),
                                             [&](const auto& held) { return held.second == key; });
                if (!down && otherHeld)
                    return false;
                input.kind = user::InputEvent::Kind::Key;
                input.virtualKey = key;
                input.down = down;
                user::PostInput(input);
                return false;
            }
            case SDL_DROPBEGIN:
                m_drop = FileDrop{};
                m_dropOpen = true;
                return false;
            case SDL_DROPFILE:
                if (event.drop.file) {
                    m_drop.files.push_back(ToWindowsPath(event.drop.file));
                    SDL_free(event.drop.file);
                }
                // Without a begin and end around it a file is a drop of its own.
                if (!m_dropOpen)
                    FinishDrop();
                return false;
            case SDL_DROPTEXT:
                SDL_free(event.drop.file);
                return false;
            case SDL_DROPCOMPLETE:
                FinishDrop();
                m_dropOpen = false;
                return false;
            default:
                return false;
        }
    }

    void FinishDrop()
    {
        m_drop.point = DropPoint();
        DeliverFileDrop(std::move(m_drop));
        m_drop = FileDrop{};
    }

    // Where the pointer is now, in screen pixels: a drag from another program moves the pointer
    // without motion events for this window.
    POINT DropPoint()
    {
        int gx = 0, gy = 0, wx = 0, wy = 0;
        SDL_GetGlobalMouseState(&gx, &gy);
        SDL_GetWindowPosition(m_window.get(), &wx, &wy);
        float lx = 0, ly = 0;
        SDL_RenderWindowToLogical(m_renderer.get(), gx - wx, gy - wy, &lx, &ly);
        LONG x = std::clamp<LONG>(LONG(lx), 0, m_size.cx - 1);
        LONG y = std::clamp<LONG>(LONG(ly), 0, m_size.cy - 1);
        return POINT{x, y};
    }

    // Keys still down when the window loses the keyboard would stay down for the layer.
    void ReleaseHeldKeys()
    {
        std::set<UINT> keys;
        for (const auto& held : m_held)
            keys.insert(held.second);
        m_held.clear();
        for (UINT key : keys) {
            user::InputEvent input;
            input.kind = user::InputEvent::Kind::Key;
            input.virtualKey = key;
            input.down = false;
            user::PostInput(input);
        }
    }

    std::unique_ptr<SDL_Window, WindowDeleter> m_window;
    std::unique_ptr<SDL_Renderer, RendererDeleter> m_renderer;
    std::unique_ptr<SDL_Texture, TextureDeleter> m_texture;
    std::unique_ptr<SDL_Cursor, CursorDeleter> m_cursors[size_t(user::CursorShape::Hand) + 1];
    SIZE m_size = {0, 0};
    bool m_uploadAll = true;
    user::CursorShape m_shape = user::CursorShape::Arrow;
    bool m_shapeSet = false;
    bool m_cursorVisible = true;
    POINT m_pointer = {0, 0};
    std::set<std::pair<SDL_Scancode, UINT>> m_held;  // physical keys down, with their key
    FileDrop m_drop;
    bool m_dropOpen = false;
};

}  // namespace

void SdlPresenter::Start(bool reportFailure)
{
    m_reportFailure = reportFailure;
    m_thread = std::thread([this] { Run(); });
}

bool SdlPresenter::WaitUntilOpen()
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_stateChanged.wait(lock, [&] { return m_state != State::Starting; });
    return m_state == State::Open;
}

bool SdlPresenter::Open()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_state == State::Open;
}

void SdlPresenter::Stop()
{
    m_stop.store(true, std::memory_order_release);
    if (m_thread.joinable())
        m_thread.join();
}

void SdlPresenter::SetState(State state)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_state = state;
    m_stateChanged.notify_all();
}

void SdlPresenter::Run()
{
    pthread_setname_np(pthread_self(), "kv-screen");
    // The program handles its own signals; SDL would turn SIGINT into a quit request.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The click that brings the window forward also reaches the window under it.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    // The window's pixels go to the display directly, not through a GPU texture.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        if (m_reportFailure)
            std::fprintf(stderr,
                         "PLATFORM_PRESENTER: SDL cannot open the display (%s); the "
                         "screen is not shown\n",
                         SDL_GetError());
        SetState(State::Failed);
        SDL_TLSCleanup();
        return;
    }
    {
        Session session;
        std::string error;
        if (!session.Open(&error)) {
            if (m_reportFailure)
                std::fprintf(stderr,
                             "PLATFORM_PRESENTER: SDL cannot show the screen (%s); the "
                             "screen is not shown\n",
                             error.c_str());
            SetState(State::Failed);
        } else {
            SetState(State::Open);
            session.Run(m_stop);
        }
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    // SDL frees its per-thread data (the error text) only for threads it made itself.
    SDL_TLSCleanup();
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state == State::Open)
        m_state = State::Ended;
    m_stateChanged.notify_all();
}

}  // namespace platform::screen
