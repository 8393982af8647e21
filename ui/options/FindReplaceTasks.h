#pragma once
// Job option page for the find-and-replace tasks applied to downloaded web pages, and the
// dialog that adds one task.
#include "ui/options/JobOptionPage.h"

#include <QDialog>

class QAction;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TAddFindReplaceForm : public QDialog {
    Q_OBJECT
public:
    explicit TAddFindReplaceForm(QWidget* parent = nullptr);

    void UpdateLanguageLabels();
    // Empties both texts and focuses the find text; the check boxes keep their last state.
    void FormShow();
    // Fills the replacement from preset 0 yellow, 1 blue or 2 green around the find text.
    void HighlightItemClick(int preset);

    QLineEdit* FindText() const { return findText_; }
    QLineEdit* ReplaceText() const { return replaceText_; }
    QCheckBox* CaseSensitive() const { return caseSensitive_; }
    QCheckBox* ReplaceAll() const { return replaceAll_; }
    QCheckBox* WholeWordsOnly() const { return wholeWordsOnly_; }
    QPushButton* OKButton() const { return okButton_; }
    QAction* HighlightItem(int preset) const { return highlightItems_[preset]; }

private:
    void UpdateOKButton();
    void FindTextChange();
    void ReplaceTipsMenuPopup();

    QLabel* findLabel_;
    QLineEdit* findText_;
    QLabel* replaceLabel_;
    QLineEdit* replaceText_;
    QCheckBox* caseSensitive_;
    QCheckBox* replaceAll_;
    QCheckBox* wholeWordsOnly_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    QAction* highlightItems_[3];
};

class TFindReplaceTasksFrame : public TJobOptionPage {
    Q_OBJECT
public:
    static constexpr int kMaxRows = 19;

    explicit TFindReplaceTasksFrame(TCopyJob& job, QWidget* parent = nullptr);

    void LoadFromCopyJob() override;
    void SaveToCopyJob() override;
    void UpdateLanguageLabels() override;

    void AddTaskRow(bool replaceAll, const QString& findText, bool wholeWordsOnly, bool ignoreCase,
                    const QString& replaceText);
    // Shows the dialog while there is room and adds its task on OK.
    void AddTaskClick();
    void RemoveTaskClick();

    QTreeWidget* TaskListView() const { return taskListView_; }
    QPushButton* AddTask() const { return addTask_; }
    QPushButton* RemoveTask() const { return removeTask_; }
    TAddFindReplaceForm* Dialog() const { return dialog_; }

private:
    void ShowRowWords(QTreeWidgetItem* item);
    void TaskListViewChange();

    QLabel* findReplaceLabel_;
    QTreeWidget* taskListView_;
    QPushButton* addTask_;
    QPushButton* removeTask_;
    TAddFindReplaceForm* dialog_;
    QString allWord_;
    QString firstWord_;
    QString yesWord_;
    QString noWord_;
};
