#include "ui/main/CoolTrayIcon.h"

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QStyleHints>
#include <QTimer>
#include <QWidget>

#include <algorithm>

TCoolTrayIcon::TCoolTrayIcon(QWidget* owner)
    : QObject(owner), owner_(owner), tray_(new QSystemTrayIcon(this)),
      cycleTimer_(0, [this](TSimpleTimer&) { CycleNext(); }),
      clickTimer_(1000, [this](TSimpleTimer&) { ClickTimerTick(); })
{
    clickTimer_.AutoDisable = true;
    connect(tray_, &QSystemTrayIcon::activated, this, &TCoolTrayIcon::HandleActivation);
    connect(tray_, &QSystemTrayIcon::messageClicked, this, [this] {
        if (OnBalloonHintClick)
            OnBalloonHintClick();
    });
    if (owner_)
        owner_->installEventFilter(this);
}

TCoolTrayIcon::~TCoolTrayIcon()
{
    if (owner_)
        owner_->removeEventFilter(this);
    tray_->hide();
}

bool TCoolTrayIcon::TrayAvailable() const
{
    return trayAvailable_ ? trayAvailable_() : QSystemTrayIcon::isSystemTrayAvailable();
}

QString TCoolTrayIcon::TipText() const
{
    if (hint_.isEmpty() || !showHint_)
        return QString();
    return hint_.left(kMaxTipLength);
}

void TCoolTrayIcon::ModifyIcon()
{
    tray_->setIcon(icon_);
    tray_->setToolTip(TipText());
}

void TCoolTrayIcon::SetIcon(const QIcon& icon)
{
    icon_ = icon;
    ModifyIcon();
}

void TCoolTrayIcon::SetHint(const QString& hint)
{
    hint_ = hint;
    ModifyIcon();
}

void TCoolTrayIcon::SetShowHint(bool on)
{
    showHint_ = on;
    ModifyIcon();
}

void TCoolTrayIcon::SetIconVisible(bool on)
{
    iconVisible_ = on;
    ModifyIcon();
    tray_->setVisible(on && TrayAvailable());
}

void TCoolTrayIcon::SetPopupMenu(QMenu* menu)
{
    tray_->setContextMenu(menu);
}

void TCoolTrayIcon::SetIconList(std::vector<QIcon> icons)
{
    iconList_ = std::move(icons);
    iconIndex_ = 0;
}

void TCoolTrayIcon::SetIconIndex(int32_t index)
{
    if (iconList_.empty()) {
        iconIndex_ = 0;
    } else {
        iconIndex_ = std::clamp(index, 0, static_cast<int32_t>(iconList_.size()) - 1);
        icon_ = iconList_[iconIndex_];
    }
    ModifyIcon();
}

void TCoolTrayIcon::SetCycleInterval(int32_t ms)
{
    cycleInterval_ = ms;
    SetCycleIcons(cycleIcons_);
}

void TCoolTrayIcon::SetCycleIcons(bool on)
{
    cycleIcons_ = on;
    if (on) {
        iconIndex_ = 0;
        cycleTimer_.SetInterval(cycleInterval_);
    }
    cycleTimer_.SetEnabled(on);
}

void TCoolTrayIcon::CycleNext()
{
    if (iconList_.empty())
        return;
    int32_t count = static_cast<int32_t>(iconList_.size());
    iconIndex_ = std::clamp(iconIndex_, 0, count - 1);
    icon_ = iconList_[iconIndex_];
    ModifyIcon();
    if (OnCycle)
        OnCycle(iconIndex_ + 1 < count ? iconIndex_ + 1 : 0);
    iconIndex_ = iconIndex_ + 1 < count ? iconIndex_ + 1 : 0;
}

void TCoolTrayIcon::HandleActivation(QSystemTrayIcon::ActivationReason reason)
{
    if (!enabled_)
        return;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        clickReady_ = true;
        if (OnDblClick) {
            if (!clickTimer_.Running()) {
                clickTimer_.SetInterval(std::max(1, QGuiApplication::styleHints()->mouseDoubleClickInterval()));
                clickTimer_.Start();
            }
        } else {
            clickReady_ = false;
            if (OnClick)
                OnClick();
        }
        break;
    case QSystemTrayIcon::DoubleClick:
        clickReady_ = false;
        doubleClickSeen_ = true;
        if (OnDblClick)
            OnDblClick();
        break;
    default: break;  // the context menu opens by itself
    }
}

void TCoolTrayIcon::ClickTimerTick()
{
    clickTimer_.Stop();
    if (!doubleClickSeen_ && clickReady_) {
        clickReady_ = false;
        if (OnClick)
            OnClick();
    }
    clickReady_ = false;
    doubleClickSeen_ = false;
}

void TCoolTrayIcon::ShowMainForm()
{
    if (!owner_)
        return;
    if (owner_->isMinimized())
        owner_->showNormal();
    owner_->show();
    owner_->raise();
    owner_->activateWindow();
}

void TCoolTrayIcon::HideMainForm()
{
    if (owner_)
        owner_->hide();
}

void TCoolTrayIcon::DoMinimizeToTray()
{
    // Without a notification area a hidden window could not be brought back.
    if (!TrayAvailable())
        return;
    HideMainForm();
    SetIconVisible(true);
}

bool TCoolTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == owner_ && event->type() == QEvent::WindowStateChange && owner_->isMinimized() &&
        minimizeToTray_ && TrayAvailable()) {
        if (OnMinimizeToTray)
            OnMinimizeToTray();
        // Hidden once the state change has been handled.
        QTimer::singleShot(0, this, [this] {
            if (owner_->isMinimized())
                DoMinimizeToTray();
        });
    }
    return QObject::eventFilter(watched, event);
}
