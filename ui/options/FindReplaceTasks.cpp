#include "ui/options/FindReplaceTasks.h"

#include "engine/job/JobTypes.h"
#include "ui/common/UIStrings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kHighlightTemplates[3] = {
    "<b style=\"color:black;background-color:#ffff66\">XXX</b>",
    "<b style=\"color:black;background-color:#a0ffff\">XXX</b>",
    "<b style=\"color:black;background-color:#99ff99\">XXX</b>",
};
const int kHighlightCaptionIds[3] = {153, 154, 155};

// A row keeps its task's flags beside the words it shows, so a change of language (even to one
// whose words coincide) never changes a task's meaning.
enum TTaskFlag { tfReplaceAll = 1, tfIgnoreCase = 2, tfWholeWordsOnly = 4 };
const int kFlagsRole = Qt::UserRole;


}  // namespace

TAddFindReplaceForm::TAddFindReplaceForm(QWidget* parent)
    : QDialog(parent),
      findLabel_(new QLabel(this)),
      findText_(new QLineEdit(this)),
      replaceLabel_(new QLabel(this)),
      replaceText_(new QLineEdit(this)),
      caseSensitive_(new QCheckBox(this)),
      replaceAll_(new QCheckBox(this)),
      wholeWordsOnly_(new QCheckBox(this)),
      okButton_(new QPushButton(this)),
      cancelButton_(new QPushButton(this))
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    replaceAll_->setChecked(true);
    wholeWordsOnly_->setChecked(true);
    auto* tipsMenu = new QMenu(this);
    for (int i = 0; i < 3; ++i) {
        highlightItems_[i] = tipsMenu->addAction(QString());
        highlightItems_[i]->setEnabled(false);
        connect(highlightItems_[i], &QAction::triggered, this, [this, i] { HighlightItemClick(i); });
    }
    connect(tipsMenu, &QMenu::aboutToShow, this, &TAddFindReplaceForm::ReplaceTipsMenuPopup);
    auto* tipsButton = new QToolButton(this);
    tipsButton->setMenu(tipsMenu);
    tipsButton->setPopupMode(QToolButton::InstantPopup);
    tipsButton->setArrowType(Qt::DownArrow);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(findLabel_);
    layout->addWidget(findText_);
    layout->addWidget(replaceLabel_);
    auto* replacePanel = new QHBoxLayout;
    replacePanel->addWidget(replaceText_, 1);
    replacePanel->addWidget(tipsButton);
    layout->addLayout(replacePanel);
    layout->addWidget(caseSensitive_);
    layout->addWidget(replaceAll_);
    layout->addWidget(wholeWordsOnly_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(okButton_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancelButton_, QDialogButtonBox::RejectRole);
    okButton_->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(findText_, &QLineEdit::textChanged, this, &TAddFindReplaceForm::FindTextChange);
    connect(replaceText_, &QLineEdit::textChanged, this, &TAddFindReplaceForm::UpdateOKButton);
    setMinimumWidth(420);
    UpdateOKButton();
    UpdateLanguageLabels();
}

void TAddFindReplaceForm::FormShow()
{
    findText_->clear();
    replaceText_->clear();
    findText_->setFocus();
    UpdateOKButton();
}

void TAddFindReplaceForm::UpdateOKButton()
{
    const QString find = findText_->text();
    const QString replace = replaceText_->text();
    okButton_->setEnabled(!find.trimmed().isEmpty() && !replace.trimmed().isEmpty() && find != replace);
}

void TAddFindReplaceForm::FindTextChange()
{
    for (QAction* item : highlightItems_)
        item->setEnabled(!findText_->text().isEmpty());
    UpdateOKButton();
}

void TAddFindReplaceForm::ReplaceTipsMenuPopup()
{
    for (int i = 0; i < 3; ++i)
        highlightItems_[i]->setText(
            QReplaceFirst(QUIString(kHighlightCaptionIds[i]), "XXX", QString(findText_->text()).replace('&', "&&")));
}

void TAddFindReplaceForm::HighlightItemClick(int preset)
{
    if (preset < 0 || preset > 2)
        return;
    replaceText_->setText(QReplaceFirst(QString::fromLatin1(kHighlightTemplates[preset]), "XXX", findText_->text()));
    wholeWordsOnly_->setChecked(true);
    UpdateOKButton();
}

void TAddFindReplaceForm::UpdateLanguageLabels()
{
    setWindowTitle(QUIString(147));
    findLabel_->setText(QUIString(148));
    replaceLabel_->setText(QUIString(149));
    caseSensitive_->setText(QUIString(150));
    replaceAll_->setText(QUIString(151));
    wholeWordsOnly_->setText(QUIString(152));
    ReplaceTipsMenuPopup();
    okButton_->setText(QUIString(102));
    cancelButton_->setText(QUIString(103));
    ApplyLanguageFont(this);
}

TFindReplaceTasksFrame::TFindReplaceTasksFrame(TCopyJob& job, QWidget* parent)
    : TJobOptionPage(job, parent),
      findReplaceLabel_(new QLabel(this)),
      taskListView_(new QTreeWidget(this)),
      addTask_(new QPushButton(this)),
      removeTask_(new QPushButton(this)),
      dialog_(new TAddFindReplaceForm(this))
{
    SetReportStyle(taskListView_, 5);
    removeTask_->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(findReplaceLabel_);
    layout->addWidget(taskListView_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addTask_);
    buttons->addWidget(removeTask_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(addTask_, &QPushButton::clicked, this, &TFindReplaceTasksFrame::AddTaskClick);
    connect(removeTask_, &QPushButton::clicked, this, &TFindReplaceTasksFrame::RemoveTaskClick);
    connect(taskListView_, &QTreeWidget::itemSelectionChanged, this, &TFindReplaceTasksFrame::TaskListViewChange);
    UpdateLanguageLabels();
}

void TFindReplaceTasksFrame::ShowRowWords(QTreeWidgetItem* item)
{
    const int flags = item->data(0, kFlagsRole).toInt();
    item->setText(0, flags & tfReplaceAll ? allWord_ : firstWord_);
    item->setText(3, flags & tfIgnoreCase ? noWord_ : yesWord_);
    item->setText(4, flags & tfWholeWordsOnly ? yesWord_ : noWord_);
}

void TFindReplaceTasksFrame::AddTaskRow(bool replaceAll, const QString& findText, bool wholeWordsOnly,
                                        bool ignoreCase, const QString& replaceText)
{
    auto* item = new QTreeWidgetItem(taskListView_);
    item->setData(0, kFlagsRole, (replaceAll ? tfReplaceAll : 0) | (ignoreCase ? tfIgnoreCase : 0) |
                                     (wholeWordsOnly ? tfWholeWordsOnly : 0));
    item->setText(1, findText);
    item->setText(2, replaceText);
    ShowRowWords(item);
}

void TFindReplaceTasksFrame::LoadFromCopyJob()
{
    taskListView_->clear();
    const TFindReplaceTasks& tasks = job_.DownloadOptions.FindReplaceTasks;
    const int count = std::clamp<int32_t>(tasks.Count, 0, static_cast<int32_t>(tasks.Tasks.size()));
    for (int i = 0; i < count; ++i) {
        const TFindReplaceTask& t = tasks.Tasks[static_cast<size_t>(i)];
        AddTaskRow(t.Flags & rfReplaceAll, QStr(t.FindString), t.WholeWordsOnly, t.Flags & rfIgnoreCase,
                   QStr(t.ReplaceString));
    }
    TaskListViewChange();
}

void TFindReplaceTasksFrame::SaveToCopyJob()
{
    TFindReplaceTasks& tasks = job_.DownloadOptions.FindReplaceTasks;
    const int count = std::min(taskListView_->topLevelItemCount(), static_cast<int>(tasks.Tasks.size()));
    tasks.Count = count;
    for (int i = 0; i < count; ++i) {
        const QTreeWidgetItem* item = taskListView_->topLevelItem(i);
        const int flags = item->data(0, kFlagsRole).toInt();
        TFindReplaceTask& t = tasks.Tasks[static_cast<size_t>(i)];
        t.FindString = StdStr(item->text(1));
        t.ReplaceString = StdStr(item->text(2));
        t.Flags = static_cast<uint8_t>((flags & tfReplaceAll ? rfReplaceAll : 0) |
                                       (flags & tfIgnoreCase ? rfIgnoreCase : 0));
        t.WholeWordsOnly = flags & tfWholeWordsOnly;
    }
}

void TFindReplaceTasksFrame::AddTaskClick()
{
    if (taskListView_->topLevelItemCount() >= kMaxRows)
        return;
    dialog_->FormShow();
    if (dialog_->exec() != QDialog::Accepted)
        return;
    AddTaskRow(dialog_->ReplaceAll()->isChecked(), dialog_->FindText()->text(),
               dialog_->WholeWordsOnly()->isChecked(), !dialog_->CaseSensitive()->isChecked(),
               dialog_->ReplaceText()->text());
}

void TFindReplaceTasksFrame::RemoveTaskClick()
{
    const QList<QTreeWidgetItem*> selected = taskListView_->selectedItems();
    if (!selected.isEmpty())
        delete selected.first();
    TaskListViewChange();
}

void TFindReplaceTasksFrame::TaskListViewChange()
{
    removeTask_->setEnabled(!taskListView_->selectedItems().isEmpty());
}

void TFindReplaceTasksFrame::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    findReplaceLabel_->setText(QUIString(129));
    taskListView_->setHeaderLabels({QUIString(132), QUIString(133), QUIString(134), QUIString(135), QUIString(136)});
    addTask_->setText(QUIString(130));
    removeTask_->setText(QUIString(131));
    firstWord_ = QUIString(156);
    allWord_ = QUIString(157);
    yesWord_ = QUIString(158);
    noWord_ = QUIString(159);
    for (int i = 0; i < taskListView_->topLevelItemCount(); ++i)
        ShowRowWords(taskListView_->topLevelItem(i));
    dialog_->UpdateLanguageLabels();
}
