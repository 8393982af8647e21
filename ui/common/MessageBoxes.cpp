#include "ui/common/MessageBoxes.h"

#include "ui/common/AppName.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>

#include <algorithm>

namespace {
TBoxHandler& Handler()
{
    static TBoxHandler handler;
    return handler;
}

QMessageBox::Icon ToQt(TBoxIcon icon)
{
    switch (icon) {
    case TBoxIcon::Information: return QMessageBox::Information;
    case TBoxIcon::Warning: return QMessageBox::Warning;
    case TBoxIcon::Question: return QMessageBox::Question;
    case TBoxIcon::Error: return QMessageBox::Critical;
    case TBoxIcon::None: break;
    }
    return QMessageBox::NoIcon;
}
// Room a title bar takes besides its text: the window's icon and buttons.
constexpr int kTitleBarExtra = 160;

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const QString& text, const QString& caption,
                                            TBoxIcon icon, QMessageBox::StandardButtons buttons)
{
    // A box without a caption names the program, not its executable.
    const QString title = caption.isEmpty() ? QString::fromStdString(AppProductName()) : caption;
    auto box = std::make_unique<QMessageBox>(ToQt(icon), title, text, buttons, owner);
    // A window manager cuts a title that is wider than its window: the box is made wide enough.
    QFont titleFont = box->font();
    titleFont.setBold(true);
    int width = QFontMetrics(titleFont).horizontalAdvance(title) + kTitleBarExtra;
    if (const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        width = std::min(width, screen->availableGeometry().width() * 9 / 10);
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    return box;
}

bool ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, TBoxIcon icon, bool yesNo)
{
    if (Handler())
        return Handler()({owner, text, caption, icon, yesNo});
    auto box = MakeMessageBox(owner, text, caption, icon,
                              yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok);
    int answer = box->exec();
    return answer == QMessageBox::Ok || answer == QMessageBox::Yes;
}

TBoxHandler SetMessageBoxHandler(TBoxHandler handler)
{
    TBoxHandler old = std::move(Handler());
    Handler() = std::move(handler);
    return old;
}

TBoxAnswer AskYesNoCancel(QWidget* owner, const QString& text, const QString& caption)
{
    if (Handler())
        return Handler()({owner, text, caption, TBoxIcon::Question, true}) ? TBoxAnswer::Yes : TBoxAnswer::No;
    auto box = MakeMessageBox(owner, text, caption, TBoxIcon::Question,
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    int answer = box->exec();
    return answer == QMessageBox::Yes ? TBoxAnswer::Yes : answer == QMessageBox::No ? TBoxAnswer::No : TBoxAnswer::Cancel;
}
