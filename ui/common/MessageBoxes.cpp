#include "ui/common/MessageBoxes.h"

#include <QMessageBox>

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
}  // namespace

bool ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, TBoxIcon icon, bool yesNo)
{
    if (Handler())
        return Handler()({owner, text, caption, icon, yesNo});
    QMessageBox box(ToQt(icon), caption, text, yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                    owner);
    int answer = box.exec();
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
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                    owner);
    int answer = box.exec();
    return answer == QMessageBox::Yes ? TBoxAnswer::Yes : answer == QMessageBox::No ? TBoxAnswer::No : TBoxAnswer::Cancel;
}
