#pragma once
// Receives the output queue's announcements on the user-interface thread and hands each report
// to the listeners whose mask holds its type, in the order they registered.
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "engine/messages/SpiderOutputSink.h"

#include <QEvent>
#include <QObject>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

class TSpiderOutputMsg;

using TSpiderOutputListener = std::function<void(const TSpiderOutputMsg& msg, int32_t label)>;

// Listener masks of the pages: the report types each wants.
constexpr uint32_t kStartPageOutputMask = OutputMsgMask(OUTMSG_JOB_STARTED, OUTMSG_JOB_ENDED);
constexpr uint32_t kJobQueueOutputMask =
    OutputMsgMask(OUTMSG_JOB_STARTED, OUTMSG_JOB_PAUSED, OUTMSG_JOB_RESUMED, OUTMSG_JOB_ENDED, OUTMSG_DOWNLOAD_ENDED);
constexpr uint32_t kSoundsOutputMask = OutputMsgMask(OUTMSG_JOB_STARTED, OUTMSG_JOB_ENDED, OUTMSG_DOWNLOAD_ENDED);
constexpr uint32_t kSpeechOutputMask = OutputMsgMask(OUTMSG_JOB_STARTED, OUTMSG_JOB_ENDED);
constexpr uint32_t kProgressOutputMask = kAllOutputMsgTypes;
constexpr uint32_t kJobLogOutputMask =
    OutputMsgMask(OUTMSG_JOB_STARTED, OUTMSG_JOB_ENDED, OUTMSG_DOWNLOAD_ENDED, OUTMSG_READ_ENDED);
constexpr uint32_t kBrowseOutputMask = OutputMsgMask(OUTMSG_JOB_STARTED, OUTMSG_JOB_ENDED, OUTMSG_DOWNLOAD_ENDED);

class TSpiderOutputSplitterForm : public QObject, public TSpiderOutputSink {
    Q_OBJECT
public:
    static constexpr int MaxListeners = 10;
    static const QEvent::Type AnnouncementEvent;

    explicit TSpiderOutputSplitterForm(QObject* parent = nullptr);
    ~TSpiderOutputSplitterForm() override;

    static TSpiderOutputSplitterForm* Instance() { return instance_; }

    // False (logged "Array full") when ten listeners are registered.
    bool RegisterForSpiderOutput(uint32_t mask, TSpiderOutputListener listener);
    int ListenerCount() const { return count_; }

    // Makes this object the output queue's destination. Called once all listeners registered.
    void SetAsOutputDestination();
    // Refuses further announcements and leaves the output queue (shut-down).
    void Close();

    // Takes the report with this label out of the output queue and hands it to the listeners.
    void OnSpiderOutput(int32_t label);
    // Hands msg to every listener that wants its type, in registration order.
    void Deliver(const TSpiderOutputMsg& msg, int32_t label);

    // Takes the announced reports out in label order, each as OnSpiderOutput, for at most
    // about one frame's time; what is left waits for the next announcement event, so that the
    // window paints and takes input in between. A listener's nested event loop goes on with
    // the reports its caller left.
    void TakeAnnouncedReports();
    // Time one announcement event spends handing out reports.
    static constexpr std::chrono::milliseconds kDeliveryTurn{16};

    // Output queue side, any thread: notes the labels and posts an announcement event to this
    // object unless one is already waiting.
    bool post(int32_t label) override;
    bool postRange(int32_t first, int32_t count) override;
    bool closed() const override { return closed_.load(); }

protected:
    bool event(QEvent* e) override;

private:
    // Queues an announcement event when labels wait and none is queued (started: the queued one
    // has just been taken); True when labels wait.
    bool QueueAnnouncementEvent(bool started);
    bool TakeAnnouncedLabel(int32_t& label);

    static inline TSpiderOutputSplitterForm* instance_ = nullptr;

    std::array<TSpiderOutputListener, MaxListeners> listeners_;
    std::array<uint32_t, MaxListeners> masks_{};
    int count_ = 0;
    std::unique_ptr<TSpiderOutputMsg> msg_;
    std::atomic<bool> closed_{false};
    bool destination_ = false;
    int delivering_ = 0;
    // Labels announced and not yet taken out, (next label, how many), and whether an
    // announcement event is waiting; shared with the output queue's side.
    std::mutex announcedLock_;
    std::deque<std::pair<int32_t, int32_t>> announced_;
    bool eventQueued_ = false;
};
