#include "ui/dialogs/Splash.h"

#include "ui/dialogs/MiniAbout.h"
#include "ui/common/UIStrings.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

TSplashForm::TSplashForm(QWidget* parent)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint), miniAbout_(new TMiniAboutFrame(this))
{
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::ToolTipBase));
    colours.setColor(QPalette::WindowText, colours.color(QPalette::ToolTipText));
    setPalette(colours);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(miniAbout_);
    setMinimumWidth(360);
}

void TSplashForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    try {
        ApplyLanguageFont(this);
        miniAbout_->UpdateLanguageLabels();
    } catch (const std::exception&) {
        // A splash without its texts is still a splash.
    }
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void TSplashForm::ShowModal(int showMs)
{
    // An own loop rather than exec(): the closing timer starts only once the window is up.
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    setWindowModality(Qt::ApplicationModal);
    show();
    QTimer::singleShot(std::max(showMs, 0), this, &QDialog::accept);
    if (isVisible())
        loop.exec();
}

void TSplashForm::mousePressEvent(QMouseEvent* event)
{
    (void)event;
    accept();
}

void TSplashForm::keyPressEvent(QKeyEvent* event)
{
    (void)event;
    accept();
}
