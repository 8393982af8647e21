#include "ui/intake/ScrapeURL.h"

#include "engine/services/AppTraceLog.h"
#include "platform/TextUtils.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const char* const kUnit = "ScrapeURL";
constexpr uint32_t kKeysymF1 = 0xffbe;
// Caps Lock and Num Lock (usually Mod2) do not stop the key from counting.
constexpr std::array<uint16_t, 4> kLockVariants{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                                XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

struct TFree {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using TReply = std::unique_ptr<T, TFree>;

struct TBrowser {
    const char* windowClass;  // lower case
    const char* titleSuffix;
};
const TBrowser kBrowsers[] = {
    {"firefox", " \xE2\x80\x94 Mozilla Firefox"}, {"firefox-esr", " \xE2\x80\x94 Mozilla Firefox"},
    {"navigator", " \xE2\x80\x94 Mozilla Firefox"}, {"chromium", " - Chromium"},
    {"google-chrome", " - Google Chrome"}, {"opera", " - Opera"}, {"epiphany", ""},
    {"konqueror", " \xE2\x80\x94 Konqueror"}, {"falkon", " - Falkon"}, {"vivaldi-stable", " - Vivaldi"},
    {"brave-browser", " - Brave"}, {"seamonkey", " - SeaMonkey"},
};

xcb_connection_t* X11Connection()
{
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t RootWindow(xcb_connection_t* c)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    return it.rem ? it.data->root : 0;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name)
{
    TReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::string Property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type)
{
    if (property == XCB_ATOM_NONE)
        return std::string();
    TReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 4096), nullptr));
    if (!reply || reply->format != 8)
        return std::string();
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<size_t>(xcb_get_property_value_length(reply.get())));
}

uint8_t KeycodeOf(xcb_connection_t* c, uint32_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    const uint8_t first = setup->min_keycode;
    const uint8_t count = static_cast<uint8_t>(setup->max_keycode - first + 1);
    TReply<xcb_get_keyboard_mapping_reply_t> reply(
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, first, count), nullptr));
    if (!reply || reply->keysyms_per_keycode == 0)
        return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
    const int total = xcb_get_keyboard_mapping_keysyms_length(reply.get());
    for (int i = 0; i < total; ++i)
        if (syms[i] == keysym)
            return static_cast<uint8_t>(first + i / reply->keysyms_per_keycode);
    return 0;
}

}  // namespace

uint32_t VirtualKeyToKeysym(int virtualKey)
{
    if (virtualKey < 112 || virtualKey > 135)
        return 0;
    return kKeysymF1 + static_cast<uint32_t>(virtualKey - 112);
}

bool IsBrowserWindowClass(const std::string& windowClass)
{
    const std::string lower = AsciiLowerCase(windowClass);
    for (const TBrowser& browser : kBrowsers)
        if (lower == browser.windowClass)
            return true;
    return false;
}

std::string PageTitleFromWindowTitle(const std::string& windowTitle)
{
    for (const TBrowser& browser : kBrowsers) {
        const std::string suffix = browser.titleSuffix;
        if (!suffix.empty() && windowTitle.size() > suffix.size() &&
            windowTitle.compare(windowTitle.size() - suffix.size(), suffix.size(), suffix) == 0)
            return windowTitle.substr(0, windowTitle.size() - suffix.size());
    }
    return windowTitle;
}

bool ScrapeBrowserURL(std::string& address, std::string& title)
{
    address.clear();
    try {
        xcb_connection_t* c = X11Connection();
        if (!c)
            return false;
        const xcb_window_t root = RootWindow(c);
        TReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, Atom(c, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1), nullptr));
        if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
            return false;
        const xcb_window_t window = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
        // WM_CLASS: instance name, NUL, class name, NUL.
        const std::string wmClass = Property(c, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
        const std::string instance = wmClass.substr(0, wmClass.find('\0'));
        std::string className;
        if (instance.size() < wmClass.size())
            className = wmClass.substr(instance.size() + 1, wmClass.find('\0', instance.size() + 1) - instance.size() - 1);
        if (!IsBrowserWindowClass(instance) && !IsBrowserWindowClass(className))
            return false;
        std::string windowTitle = Property(c, window, Atom(c, "_NET_WM_NAME"), Atom(c, "UTF8_STRING"));
        if (windowTitle.empty())
            windowTitle = Property(c, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
        QClipboard* clipboard = QGuiApplication::clipboard();
        QString text = clipboard->supportsSelection() ? clipboard->text(QClipboard::Selection).trimmed() : QString();
        if (text.isEmpty())
            text = clipboard->text(QClipboard::Clipboard).trimmed();
        if (text.isEmpty() || text.contains('\n'))
            return false;
        address = text.toStdString();
        title = PageTitleFromWindowTitle(windowTitle);
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "ScrapeBrowserURL", kUnit);
        return false;
    }
}

TURLScrapeHotkey::TURLScrapeHotkey(QObject* parent) : QObject(parent) {}

TURLScrapeHotkey::~TURLScrapeHotkey()
{
    Unregister();
}

bool TURLScrapeHotkey::Register(int virtualKey)
{
    Unregister();
    const uint32_t keysym = VirtualKeyToKeysym(virtualKey);
    xcb_connection_t* c = X11Connection();
    if (keysym == 0 || !c)
        return false;
    const uint8_t keycode = KeycodeOf(c, keysym);
    if (keycode == 0)
        return false;
    const xcb_window_t root = RootWindow(c);
    for (uint16_t mods : kLockVariants) {
        TReply<xcb_generic_error_t> error(xcb_request_check(
            c, xcb_grab_key_checked(c, 1, root, mods, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
        if (error) {
            for (uint16_t undo : kLockVariants)
                xcb_ungrab_key(c, keycode, root, undo);
            xcb_flush(c);
            return false;  // held by another program
        }
    }
    keycode_ = keycode;
    QCoreApplication::instance()->installNativeEventFilter(this);
    return true;
}

bool TURLScrapeHotkey::Unregister()
{
    if (keycode_ == 0)
        return false;
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    xcb_connection_t* c = X11Connection();
    const bool ok = c != nullptr;
    if (c) {
        const xcb_window_t root = RootWindow(c);
        for (uint16_t mods : kLockVariants)
            xcb_ungrab_key(c, keycode_, root, mods);
        xcb_flush(c);
    }
    keycode_ = 0;
    return ok;
}

bool TURLScrapeHotkey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (keycode_ == 0 || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    const auto* press = static_cast<const xcb_key_press_event_t*>(message);
    if (press->detail != keycode_)
        return false;
    QMetaObject::invokeMethod(this, [this] {
        if (OnPressed)
            OnPressed();
    }, Qt::QueuedConnection);
    return true;
}
