#pragma once
// Message boxes owned by a window. Tests install a handler that answers instead of a person.
#include <QMessageBox>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

enum class TBoxIcon { None, Information, Warning, Question, Error };

struct TBoxRequest {
    QWidget* owner;
    QString text;
    QString caption;
    TBoxIcon icon;
    bool yesNo;  // Yes and No buttons instead of OK
};

// The box ShowMessageBox shows: wide enough for its whole caption, which is the program's name
// when empty.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const QString& text, const QString& caption,
                                            TBoxIcon icon, QMessageBox::StandardButtons buttons);

// Shows the box; True for OK or Yes.
bool ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, TBoxIcon icon, bool yesNo = false);

// Replaces the boxes (nullptr restores them); returns the previous handler.
using TBoxHandler = std::function<bool(const TBoxRequest&)>;
TBoxHandler SetMessageBoxHandler(TBoxHandler handler);

// A question box with Yes, No and Cancel. A test handler answers Yes (True) or No (False).
enum class TBoxAnswer { Yes, No, Cancel };
TBoxAnswer AskYesNoCancel(QWidget* owner, const QString& text, const QString& caption);
