#pragma once
// A debug window that lists every command pushed into the input queue. Created hidden at
// start-up; nothing in the program shows it.
#include <QWidget>

#include <cstdint>
#include <string>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

// The line for one command; empty for a type that has none. nameOrAddress: the job's name, or
// its full starting address when the name is empty (start commands only).
std::string InputMessageLine(uint8_t type, int32_t jobID, int32_t downloadNumber, const std::string& nameOrAddress);

class TSpiderIOMessagesView : public QWidget {
    Q_OBJECT
public:
    explicit TSpiderIOMessagesView(QWidget* parent = nullptr);

    // Adds the command's line while "Log enabled" is checked. Safe from any thread.
    void LogInputLine(uint8_t type, int32_t jobID, int32_t downloadNumber, const std::string& nameOrAddress);

    QPlainTextEdit* InputMessages() const { return inputMessages_; }
    QPlainTextEdit* OutputMessages() const { return outputMessages_; }
    QCheckBox* LogInputs() const { return logInputs_; }

    void SortOutputMsgsClick();

private:
    QPlainTextEdit* inputMessages_;
    QPlainTextEdit* outputMessages_;
    QCheckBox* logInputs_;
    QCheckBox* logOutputs_;
};
