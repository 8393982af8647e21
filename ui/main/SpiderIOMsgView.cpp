#include "ui/main/SpiderIOMsgView.h"

#include <QCheckBox>
#include <QCollator>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

std::string InputMessageLine(uint8_t type, int32_t jobID, int32_t downloadNumber, const std::string& nameOrAddress)
{
    const std::string job = std::to_string(jobID);
    const std::string download = std::to_string(downloadNumber);
    switch (type) {
    case 1: return "Start job #" + job + ": " + nameOrAddress;
    case 2: return "Pause job #" + job;
    case 3: return "Resume job #" + job;
    case 4: return "Stop job #" + job;
    case 5: return "Abort job #" + job;
    case 6: return "Stop file DL: " + download;
    case 7: return "Stop host DL: " + download;
    case 8: return "Stop file ext DL: " + download;
    case 9: return "Stop MIME type DL: " + download;
    default: return std::string();
    }
}

namespace {

QPlainTextEdit* MakeLogBox(QWidget* parent)
{
    auto* box = new QPlainTextEdit(parent);
    box->setReadOnly(true);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return box;
}

QCheckBox* MakeCheck(const QString& text, QWidget* parent)
{
    auto* check = new QCheckBox(text, parent);
    check->setChecked(true);
    return check;
}

}  // namespace

TSpiderIOMessagesView::TSpiderIOMessagesView(QWidget* parent)
    : QWidget(parent, Qt::Window),
      inputMessages_(MakeLogBox(this)),
      outputMessages_(MakeLogBox(this)),
      logInputs_(MakeCheck("Log enabled", this)),
      logOutputs_(MakeCheck("Log enabled", this))
{
    setWindowTitle("SpiderIOMessagesView");
    auto* layout = new QHBoxLayout(this);

    auto* inputGroup = new QGroupBox("Input Messages", this);
    auto* inputLayout = new QVBoxLayout(inputGroup);
    inputLayout->addWidget(inputMessages_);
    auto* inputButtons = new QHBoxLayout;
    auto* clearInput = new QPushButton("Clear", inputGroup);
    inputButtons->addWidget(logInputs_);
    inputButtons->addWidget(clearInput);
    inputLayout->addLayout(inputButtons);
    layout->addWidget(inputGroup);

    auto* outputGroup = new QGroupBox("Output Messages", this);
    auto* outputLayout = new QVBoxLayout(outputGroup);
    outputLayout->addWidget(outputMessages_);
    auto* shows = new QHBoxLayout;
    for (const char* text : {"Job", "Download", "Parse", "Rewrite", "Prune"})
        shows->addWidget(MakeCheck(text, outputGroup));
    auto* sort = new QPushButton("Sort", outputGroup);
    shows->addWidget(sort);
    outputLayout->addLayout(shows);
    auto* outputButtons = new QHBoxLayout;
    auto* clearOutput = new QPushButton("Clear", outputGroup);
    outputButtons->addWidget(logOutputs_);
    outputButtons->addWidget(clearOutput);
    outputLayout->addLayout(outputButtons);
    layout->addWidget(outputGroup);

    connect(clearInput, &QPushButton::clicked, inputMessages_, &QPlainTextEdit::clear);
    connect(clearOutput, &QPushButton::clicked, outputMessages_, &QPlainTextEdit::clear);
    connect(sort, &QPushButton::clicked, this, &TSpiderIOMessagesView::SortOutputMsgsClick);
}

void TSpiderIOMessagesView::LogInputLine(uint8_t type, int32_t jobID, int32_t downloadNumber,
                                         const std::string& nameOrAddress)
{
    std::string line = InputMessageLine(type, jobID, downloadNumber, nameOrAddress);
    if (line.empty())
        return;
    QString text = QString::fromStdString(line);
    auto append = [this, text] {
        if (logInputs_->isChecked())
            inputMessages_->appendPlainText(text);
    };
    if (QThread::currentThread() == thread())
        append();
    else
        QMetaObject::invokeMethod(this, append, Qt::QueuedConnection);
}

void TSpiderIOMessagesView::SortOutputMsgsClick()
{
    QStringList lines = outputMessages_->toPlainText().split('\n');
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(lines.begin(), lines.end(), [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    outputMessages_->setPlainText(lines.join('\n'));
}
