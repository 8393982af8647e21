#include "ui/common/MessageBoxes.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <gtest/gtest.h>

// A window manager cuts a title wider than its window: a box is wide enough for its whole
// caption, and one without a caption names the program.
TEST(MessageBoxes, CaptionIsShownWhole)
{
    for (const QString& caption : {QStringLiteral("Folder Does Not Exist"), QStringLiteral("Unable to read job file"),
                                  QStringLiteral("")}) {
        auto box = MakeMessageBox(nullptr, "No.", caption, TBoxIcon::Warning, QMessageBox::Ok);
        box->show();
        QCoreApplication::processEvents();
        const QString title = box->windowTitle();
        EXPECT_EQ(title, caption.isEmpty() ? QStringLiteral("Gleanery") : caption);
        QFont bold = box->font();
        bold.setBold(true);
        EXPECT_GT(box->width(), QFontMetrics(bold).horizontalAdvance(title) + 100) << title.toStdString();
        box->hide();
    }
}
