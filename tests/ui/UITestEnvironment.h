#pragma once
// Shared by the window tests: the temp data folder the process uses as HOME and XDG_DATA_HOME.
#include <string>

const std::string& TestHomeFolder();

#include "engine/messages/SpiderOutputMsgTypes.h"
#include "ui/common/MessageBoxes.h"

#include <vector>

// Answers every message box with answer instead of a person, and keeps what was asked.
class TBoxRecorder {
public:
    explicit TBoxRecorder(bool answer = false)
        : answer(answer), old_(SetMessageBoxHandler([this](const TBoxRequest& r) {
              captions.push_back(r.caption.toStdString());
              boxes.push_back(r.caption.toStdString() + ": " + r.text.toStdString());
              return this->answer;
          }))
    {
    }
    ~TBoxRecorder() { SetMessageBoxHandler(old_); }
    TBoxRecorder(const TBoxRecorder&) = delete;
    TBoxRecorder& operator=(const TBoxRecorder&) = delete;

    bool answer;
    std::vector<std::string> captions;
    std::vector<std::string> boxes;  // "caption: text"

private:
    TBoxHandler old_;
};

// A report as the crawl thread sends it; one object reused from call to call, as the engine does.
inline const TSpiderOutputMsg& ReportOf(uint8_t type, int32_t jobID = 0, int32_t resultCode = 0)
{
    static TSpiderOutputMsg msg;
    msg.FMsgType = type;
    msg.FJobID = jobID;
    msg.FResultCode = resultCode;
    return msg;
}
