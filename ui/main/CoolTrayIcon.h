#pragma once
// The program's icon in the desktop's notification area: click and double-click events, a
// context menu, icon cycling, and minimising the owner window to the tray. Where the desktop
// has no notification area the icon is never shown and the window minimises as usual.
#include "ui/common/SimpleTimer.h"

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <cstdint>
#include <functional>
#include <vector>

class QMenu;
class QWidget;

class TCoolTrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxTipLength = 127;

    // owner: the window that minimises to the tray (watched for its minimise).
    explicit TCoolTrayIcon(QWidget* owner);
    ~TCoolTrayIcon() override;

    void SetIcon(const QIcon& icon);
    const QIcon& Icon() const { return icon_; }
    void SetHint(const QString& hint);
    const QString& Hint() const { return hint_; }
    void SetShowHint(bool on);
    // The tip shown: the hint cut to 127 characters; empty with no hint or ShowHint off.
    QString TipText() const;
    void SetIconVisible(bool on);
    bool IconVisible() const { return iconVisible_; }
    void SetEnabled(bool on) { enabled_ = on; }
    void SetMinimizeToTray(bool on) { minimizeToTray_ = on; }
    bool MinimizeToTray() const { return minimizeToTray_; }
    void SetPopupMenu(QMenu* menu);

    void SetIconList(std::vector<QIcon> icons);
    void SetIconIndex(int32_t index);
    int32_t IconIndex() const { return iconIndex_; }
    void SetCycleInterval(int32_t ms);
    void SetCycleIcons(bool on);
    bool CycleIcons() const { return cycleIcons_; }
    void CycleNext();

    void ShowMainForm();
    void HideMainForm();
    // Hides the owner and shows the icon; nothing where there is no notification area.
    void DoMinimizeToTray();

    // Whether the desktop has a notification area (tests replace it).
    void SetTrayAvailableCheck(std::function<bool()> check) { trayAvailable_ = std::move(check); }
    bool TrayAvailable() const;

    // The icon was clicked, double-clicked, etc.; with a double-click handler a single click is
    // reported only once the double-click time has passed without a second click.
    void HandleActivation(QSystemTrayIcon::ActivationReason reason);

    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void(int32_t nextIndex)> OnCycle;
    std::function<void()> OnMinimizeToTray;
    std::function<void()> OnBalloonHintClick;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ModifyIcon();
    void ClickTimerTick();

    QWidget* owner_;
    QSystemTrayIcon* tray_;
    QIcon icon_;
    QString hint_;
    bool showHint_ = true;
    bool iconVisible_ = false;
    bool enabled_ = true;
    bool minimizeToTray_ = false;
    bool cycleIcons_ = false;
    int32_t cycleInterval_ = 0;
    int32_t iconIndex_ = 0;
    std::vector<QIcon> iconList_;
    bool clickReady_ = false;
    bool doubleClickSeen_ = false;
    TSimpleTimer cycleTimer_;
    TSimpleTimer clickTimer_;
    std::function<bool()> trayAvailable_;
};
