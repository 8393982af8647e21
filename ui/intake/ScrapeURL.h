#pragma once
// The quick-copy hotkey: a key grabbed on the X11 desktop, and the address and page title taken
// from the web browser whose window is active (the address from the primary selection, else
// the clipboard; the title from the window title less the browser's suffix).
#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

// The X keysym of a virtual-key code F1 to F24 (112 to 135); 0 for any other key.
uint32_t VirtualKeyToKeysym(int virtualKey);
// True when the window class names a supported web browser.
bool IsBrowserWindowClass(const std::string& windowClass);
// The window title without the browser's " - Name" suffix.
std::string PageTitleFromWindowTitle(const std::string& windowTitle);

// The address and page title of the active browser window; False when the active window is no
// browser, or nothing usable was selected or copied. Only on an X11 desktop.
bool ScrapeBrowserURL(std::string& address, std::string& title);

class TURLScrapeHotkey : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit TURLScrapeHotkey(QObject* parent = nullptr);
    ~TURLScrapeHotkey() override;

    std::function<void()> OnPressed;

    // Grabs the key without modifiers (also with Caps Lock or Num Lock on); False when the key
    // is no function key, the desktop is no X11 one, or another program holds the key.
    bool Register(int virtualKey);
    // False when no key was registered or the ungrab failed.
    bool Unregister();
    bool IsRegistered() const { return keycode_ != 0; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    uint8_t keycode_ = 0;
};
