#pragma once
// One option page of the job editor. Every page works on the Start page's one edited job:
// load fills the controls from it, save writes the controls back.
#include <QFrame>

class QLabel;
class TCopyJob;

class TJobOptionPage : public QFrame {
    Q_OBJECT
public:
    explicit TJobOptionPage(TCopyJob& job, QWidget* parent = nullptr) : QFrame(parent), job_(job) {}

    virtual void LoadFromCopyJob() = 0;
    virtual void SaveToCopyJob() = 0;
    virtual void UpdateLanguageLabels() = 0;

protected:
    TCopyJob& job_;
};

// A page whose controls are not built yet: it shows its caption and keeps the job as it is.
class TEmptyJobOptionPage : public TJobOptionPage {
    Q_OBJECT
public:
    TEmptyJobOptionPage(TCopyJob& job, int captionStringId, QWidget* parent = nullptr);

    void LoadFromCopyJob() override {}
    void SaveToCopyJob() override {}
    void UpdateLanguageLabels() override;

private:
    int captionStringId_;
    QLabel* caption_;
};
