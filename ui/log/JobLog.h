#pragma once
// The Log page: one row per ended job (name, start and end time, files written, address, start
// page), kept in "JobLog.csv" in the data folder, with commands to open a copy or its folder.
#include <QDateTime>
#include <QFrame>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <string>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TSpiderOutputMsg;
class TSpiderOutputSplitterForm;

// Columns of the log.
enum TJobLogColumn : int {
    jlName = 0,
    jlStart = 1,
    jlEnd = 2,
    jlDownloaded = 3,
    jlAddress = 4,
    jlFilename = 5,
    jlColumnCount = 6,
};

// The caption of a logged job: a name that is empty or starts with defaultPrefix takes the
// first page title (folded to one line), as the name or in parentheses after it.
std::string JobLogCaption(const std::string& jobName, const std::string& firstPageTitle,
                          const std::string& defaultPrefix);
// Order of two values of a column: texts by the locale (case-sensitive), times and counts by
// value; a value that cannot be read comes before every readable one. <0, 0 or >0.
int CompareJobLogValues(int column, const QString& a, const QString& b);

class TJobLogFrame : public QFrame {
    Q_OBJECT
public:
    explicit TJobLogFrame(QWidget* parent = nullptr);

    // Start-up: reads the log file of the data folder (or logFile when given) and registers the
    // page for the engine's reports (types 1, 4, 7 and 12).
    void Initialize(TSpiderOutputSplitterForm* splitter, const std::string& logFile = std::string());
    void UpdateLanguageLabels();
    // The listener.
    void OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t label);
    void SetLoggingEnabled(bool on);
    bool LoggingEnabled() const { return loggingEnabled_; }
    // Empties the list and the file.
    void ClearLog();
    bool SaveLog();

    // The start-page files of the rows, without duplicates, in row order.
    QStringList StartPageList() const;

    void CompletedJobsListColumnClick(int column);
    void ViewButtonClick();
    void ExploreButtonClick();
    void RemoveFromLogButtonClick();

    QTreeWidget* CompletedJobsList() const { return list_; }
    QPushButton* ViewButton() const { return viewButton_; }
    QPushButton* ExploreButton() const { return exploreButton_; }
    QPushButton* RemoveFromLogButton() const { return removeButton_; }
    const std::string& LogFile() const { return logFile_; }

    // The largest log file read at start-up; a larger one is moved aside and a new log begun.
    static constexpr size_t MaxLogFileBytes = 64u << 20;

signals:
    // The start-page list changed (for the Browse page's log entries).
    void LogEntriesChanged(const QStringList& files);
    // The log file was not read whole; text says what was kept and where.
    void FileRecovered(const QString& text);

private:
    void AddJobRow(const TSpiderOutputMsg& msg);
    void PublishStartPages();
    void CompletedJobsListChange();
    QString SelectedStartPage() const;
    void OnSaveLogNow();
    // Reads the log file; what cannot be read is kept beside it before the log is written again.
    void ReadLogFile();

    QTreeWidget* list_ = nullptr;
    QPushButton* viewButton_ = nullptr;
    QPushButton* exploreButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    std::string logFile_;
    bool loggingEnabled_ = true;
    int32_t startedJobID_ = 0;
    bool startSeen_ = false;
    QDateTime startedAt_;
    int32_t filesWritten_ = 0;
    std::string firstPageTitle_;
    int sortColumn_ = -1;
    bool sortAscending_ = false;
    bool loading_ = false;
    bool logFileLeft_ = false;  // the file could not be read whole nor kept: it is not written
};
