#include "ui/log/JobLog.h"

#include "engine/services/AppTraceLog.h"
#include "engine/services/DamagedFile.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "ui/progress/CopyProgressRules.h"
#include "ui/common/DateTimeText.h"
#include "ui/common/PageTexts.h"
#include "ui/common/SerializeListView.h"
#include "ui/main/SpiderOutputSplitter.h"
#include "ui/common/TryShellExe.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"
#include "platform/TextUtils.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSet>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kUnit = "JobLog";

// Readable values first by value; unreadable ones before all readable ones.
template <class T>
int CompareReadable(bool okA, const T& a, bool okB, const T& b)
{
    if (okA != okB)
        return okA ? 1 : -1;
    if (!okA)
        return 0;
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Only the job name can be edited in place; the other columns record what happened.
class TNameEditDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (index.column() != jlName)
            return nullptr;
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
};

}  // namespace

std::string JobLogCaption(const std::string& jobName, const std::string& firstPageTitle,
                          const std::string& defaultPrefix)
{
    const std::string title(TrimLineSpace(FoldToOneLine(firstPageTitle)));
    if (title.empty())
        return jobName;
    if (jobName.empty())
        return title;
    if (QStr(jobName).startsWith(QStr(defaultPrefix), Qt::CaseSensitive))
        return jobName + " (" + title + ")";
    return jobName;
}

int CompareJobLogValues(int column, const QString& a, const QString& b)
{
    if (column == jlStart || column == jlEnd) {
        QDateTime da = ParseDateTimeText(a);
        QDateTime db = ParseDateTimeText(b);
        return CompareReadable(da.isValid(), da, db.isValid(), db);
    }
    if (column == jlDownloaded) {
        bool okA = false, okB = false;
        qlonglong na = a.trimmed().toLongLong(&okA);
        qlonglong nb = b.trimmed().toLongLong(&okB);
        return CompareReadable(okA, na, okB, nb);
    }
    int c = QString::localeAwareCompare(a, b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

TJobLogFrame::TJobLogFrame(QWidget* parent) : QFrame(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    list_ = new QTreeWidget(this);
    list_->setColumnCount(jlColumnCount);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    list_->setItemDelegate(new TNameEditDelegate(list_));
    list_->setColumnWidth(jlName, 120);
    list_->setColumnWidth(jlStart, 140);
    list_->setColumnWidth(jlEnd, 140);
    list_->setColumnWidth(jlDownloaded, 80);
    list_->setColumnHidden(jlFilename, true);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(jlAddress, QHeaderView::Stretch);
    list_->header()->setSectionsClickable(true);
    list_->headerItem()->setTextAlignment(jlDownloaded, Qt::AlignCenter);
    connect(list_->header(), &QHeaderView::sectionClicked, this, &TJobLogFrame::CompletedJobsListColumnClick);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &TJobLogFrame::CompletedJobsListChange);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { ViewButtonClick(); });
    connect(list_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
        // After an in-place edit of a name: save once the edit has settled.
        if (column == jlName && !loading_)
            QMetaObject::invokeMethod(this, &TJobLogFrame::OnSaveLogNow, Qt::QueuedConnection);
    });
    layout->addWidget(list_, 1);

    auto* buttons = new QHBoxLayout;
    viewButton_ = new QPushButton(this);
    exploreButton_ = new QPushButton(this);
    removeButton_ = new QPushButton(this);
    connect(viewButton_, &QPushButton::clicked, this, &TJobLogFrame::ViewButtonClick);
    connect(exploreButton_, &QPushButton::clicked, this, &TJobLogFrame::ExploreButtonClick);
    connect(removeButton_, &QPushButton::clicked, this, &TJobLogFrame::RemoveFromLogButtonClick);
    buttons->addWidget(viewButton_);
    buttons->addWidget(exploreButton_);
    buttons->addWidget(removeButton_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    CompletedJobsListChange();
    UpdateLanguageLabels();
}

void TJobLogFrame::UpdateLanguageLabels()
{
    list_->setHeaderLabels({QUIString(324), QUIString(325), QUIString(326), QUIString(329), QUIString(327),
                            QUIString(328)});
    viewButton_->setText(QUIString(321));
    exploreButton_->setText(QUIString(322));
    removeButton_->setText(QUIString(323));
    ApplyLanguageFont(this);
}

void TJobLogFrame::Initialize(TSpiderOutputSplitterForm* splitter, const std::string& logFile)
{
    logFile_ = logFile.empty() ? UIDataFolder() + "JobLog.csv" : logFile;
    ReadLogFile();
    if (list_->topLevelItemCount() > 0) {
        list_->setCurrentItem(list_->topLevelItem(0));
        list_->topLevelItem(0)->setSelected(true);
    }
    if (loggingEnabled_)
        PublishStartPages();
    bool registered = splitter && splitter->RegisterForSpiderOutput(
                                      kJobLogOutputMask,
                                      [this](const TSpiderOutputMsg& msg, int32_t label) { OnSpiderOutput(msg, label); });
    if (!registered)
        LogEvent(etWarning, "", "RegisterForSpiderOutput", kUnit);
}

void TJobLogFrame::ReadLogFile()
{
    loading_ = true;
    TCSVFileRead read = CSVFileToListView(list_, logFile_, MaxLogFileBytes, Qt::ItemIsEditable);
    loading_ = false;
    std::string text;
    if (!read.read && !read.missing) {
        const std::string copy = MoveDamagedAside(logFile_, "Initialize");
        text = "The job log " + logFile_ + " could not be read (" + read.error + "). ";
        text += copy.empty() ? "It is left as it is, and jobs that end now are not logged."
                             : "A new log is begun; the file as it was found is kept as " + copy + ".";
        logFileLeft_ = copy.empty();
    } else if (read.skippedLines > 0) {
        const std::string copy = KeepDamagedCopy(logFile_, read.text, "Initialize");
        text = "The job log " + logFile_ + " could not be read whole: " +
               CountOf(read.skippedLines, "line", "lines") + " could not be read, and " +
               CountOf(list_->topLevelItemCount(), "row was", "rows were") + " read. ";
        text += copy.empty() ? "The file is left as it is, and jobs that end now are not logged."
                             : "A copy of the file as it was found is kept as " + copy + ".";
        logFileLeft_ = copy.empty();
    }
    if (!text.empty()) {
        LogEvent(etWarning, text, "Initialize", kUnit);
        emit FileRecovered(QStr(text));
    }
}

void TJobLogFrame::OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t)
{
    try {
        switch (msg.FMsgType) {
        case OUTMSG_JOB_STARTED:
            startedJobID_ = msg.FJobID;
            startSeen_ = true;
            startedAt_ = QDateTime::currentDateTime();
            filesWritten_ = 0;
            firstPageTitle_.clear();
            break;
        case OUTMSG_DOWNLOAD_ENDED:
            if (msg.FDownload.FResults.FFileWritten)
                ++filesWritten_;
            break;
        case OUTMSG_READ_ENDED:
            if (msg.FReadWrite.FStatus == RW_STATUS_FINISHED && firstPageTitle_.empty())
                firstPageTitle_ = TrimLineSpace(
                    FoldToOneLine(StdStr(PageTitleText(msg.FReadWrite.FPageTitle, msg.FReadWrite.FPageCharset))));
            break;
        case OUTMSG_JOB_ENDED:
            if (loggingEnabled_)
                AddJobRow(msg);
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "OnSpiderOutput", kUnit);
    }
}

void TJobLogFrame::AddJobRow(const TSpiderOutputMsg& msg)
{
    std::string prefix(TrimLineSpace(ReplaceFirst(UIString(63), "XXX", "")));
    auto* item = new QTreeWidgetItem;
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setText(jlName, QStr(JobLogCaption(msg.FJob.JobName, firstPageTitle_, prefix)));
    item->setText(jlStart, startSeen_ && msg.FJobID == startedJobID_ ? FormatDateTimeShort(startedAt_) : QString());
    item->setText(jlEnd, FormatDateTimeShort(QDateTime::currentDateTime()));
    item->setText(jlDownloaded, QString::number(filesWritten_));
    item->setTextAlignment(jlDownloaded, Qt::AlignCenter);
    item->setText(jlAddress, QStr(msg.FJob.StartingWebAddress.GetURLWithoutUserInfo()));
    item->setText(jlFilename, QStr(msg.FStartPageFile));
    loading_ = true;
    list_->addTopLevelItem(item);
    loading_ = false;
    SaveLog();
    PublishStartPages();
}

bool TJobLogFrame::SaveLog()
{
    if (logFile_.empty() || logFileLeft_)
        return false;
    return ListViewToCSVFile(list_, logFile_, false);
}

void TJobLogFrame::OnSaveLogNow()
{
    SaveLog();
}

QStringList TJobLogFrame::StartPageList() const
{
    // Local file names keep their case: the file system tells "A" from "a".
    QStringList files;
    QSet<QString> seen;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QString file = list_->topLevelItem(i)->text(jlFilename);
        if (!seen.contains(file)) {
            seen.insert(file);
            files.append(file);
        }
    }
    return files;
}

void TJobLogFrame::PublishStartPages()
{
    emit LogEntriesChanged(StartPageList());
}

void TJobLogFrame::SetLoggingEnabled(bool on)
{
    if (on == loggingEnabled_)
        return;
    loggingEnabled_ = on;
    if (!on)
        ClearLog();
}

void TJobLogFrame::ClearLog()
{
    list_->clear();
    SaveLog();
    PublishStartPages();
}

QString TJobLogFrame::SelectedStartPage() const
{
    QTreeWidgetItem* item = list_->currentItem();
    if (!item || !item->isSelected())
        return QString();
    return item->text(jlFilename);
}

void TJobLogFrame::CompletedJobsListChange()
{
    QString file = SelectedStartPage();
    removeButton_->setEnabled(!list_->selectedItems().isEmpty());
    viewButton_->setEnabled(!file.isEmpty() && QFileInfo(file).isFile());
    exploreButton_->setEnabled(!file.isEmpty() && QFileInfo(QFileInfo(file).path()).isDir());
}

void TJobLogFrame::ViewButtonClick()
{
    QString file = SelectedStartPage();
    if (!file.isEmpty() && QFileInfo(file).isFile())
        TryShellExecute(this, StdStr(file), "");
}

void TJobLogFrame::ExploreButtonClick()
{
    QString file = SelectedStartPage();
    if (!file.isEmpty())
        TryShellExecute(this, StdStr(QFileInfo(file).path()), "explore");
}

void TJobLogFrame::RemoveFromLogButtonClick()
{
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty())
        return;
    qDeleteAll(selected);
    SaveLog();
    PublishStartPages();
    CompletedJobsListChange();
}

void TJobLogFrame::CompletedJobsListColumnClick(int column)
{
    if (column == sortColumn_)
        sortAscending_ = !sortAscending_;
    else
        sortColumn_ = column;
    QList<QTreeWidgetItem*> items;
    while (list_->topLevelItemCount() > 0)
        items.append(list_->takeTopLevelItem(0));
    const bool ascending = sortAscending_;
    std::stable_sort(items.begin(), items.end(), [column, ascending](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        int c = CompareJobLogValues(column, a->text(column), b->text(column));
        return ascending ? c < 0 : c > 0;
    });
    list_->addTopLevelItems(items);
    list_->header()->setSortIndicatorShown(true);
    list_->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}
