#include "ui/options/JobOptionPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>

#include <charconv>

TJobOptionPage::~TJobOptionPage()
{
    // A window closed while it is destroyed moves the focus, when the page can save no more.
    disconnect(saveOnExit_);
}

void TJobOptionPage::SaveOnFocusExit()
{
    saveOnExit_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (old && isAncestorOf(old) && !(now && isAncestorOf(now)))
            SaveToCopyJob();
    });
}

std::optional<int32_t> ReadIntegerText(const QString& text)
{
    const std::string s = text.trimmed().toStdString();
    const char* begin = s.data();
    const char* end = s.data() + s.size();
    if (end - begin > 1 && *begin == '+' && begin[1] >= '0' && begin[1] <= '9')
        ++begin;
    int32_t value = 0;
    auto [stop, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || stop != end || begin == end)
        return std::nullopt;
    return value;
}

void TurnLimitOff(QCheckBox* check, QLineEdit* edit)
{
    check->setChecked(false);
    edit->clear();
}

void SetReportStyle(QTreeWidget* view, int columns)
{
    view->setColumnCount(columns);
    view->setRootIsDecorated(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setUniformRowHeights(true);
    view->header()->setSectionsClickable(true);
}
