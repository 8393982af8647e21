#include "ui/main/SpiderOutputSplitter.h"

#include "engine/services/AppTraceLog.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/messages/SpiderOutputMsgTypes.h"

#include <QCoreApplication>

namespace {

const char* const kUnit = "SpiderOutputSplitter";

class TAnnouncement : public QEvent {
public:
    TAnnouncement() : QEvent(TSpiderOutputSplitterForm::AnnouncementEvent) {}
};

}  // namespace

const QEvent::Type TSpiderOutputSplitterForm::AnnouncementEvent =
    static_cast<QEvent::Type>(QEvent::registerEventType(QEvent::User + 0x801));

TSpiderOutputSplitterForm::TSpiderOutputSplitterForm(QObject* parent)
    : QObject(parent), msg_(std::make_unique<TSpiderOutputMsg>())
{
    setObjectName("Spider Output Splitter");
    instance_ = this;
}

TSpiderOutputSplitterForm::~TSpiderOutputSplitterForm()
{
    Close();
    if (instance_ == this)
        instance_ = nullptr;
}

bool TSpiderOutputSplitterForm::RegisterForSpiderOutput(uint32_t mask, TSpiderOutputListener listener)
{
    if (count_ >= MaxListeners) {
        LogEvent(etWarning, "Array full", "RegisterForSpiderOutput", kUnit);
        return false;
    }
    listeners_[count_] = std::move(listener);
    masks_[count_] = mask;
    ++count_;
    return true;
}

void TSpiderOutputSplitterForm::SetAsOutputDestination()
{
    if (auto* queue = TSpiderOutputMessageQueue::Instance()) {
        queue->SetDestinationWindow(this);
        destination_ = true;
    }
}

void TSpiderOutputSplitterForm::Close()
{
    closed_.store(true);
    // After this returns no announcement is in progress: the queue posts under its lock.
    if (destination_)
        if (auto* queue = TSpiderOutputMessageQueue::Instance())
            queue->SetDestinationWindow(nullptr);
    destination_ = false;
}

bool TSpiderOutputSplitterForm::post(int32_t label)
{
    return postRange(label, 1);
}

bool TSpiderOutputSplitterForm::postRange(int32_t first, int32_t count)
{
    if (closed_.load())
        return false;
    if (count <= 0)
        return true;
    {
        std::lock_guard<std::mutex> guard(announcedLock_);
        if (!announced_.empty() && announced_.back().first + announced_.back().second == first)
            announced_.back().second += count;
        else
            announced_.emplace_back(first, count);
    }
    QueueAnnouncementEvent(false);
    return true;
}

bool TSpiderOutputSplitterForm::event(QEvent* e)
{
    if (e->type() == AnnouncementEvent) {
        TakeAnnouncedReports();
        return true;
    }
    return QObject::event(e);
}

bool TSpiderOutputSplitterForm::QueueAnnouncementEvent(bool started)
{
    {
        std::lock_guard<std::mutex> guard(announcedLock_);
        if (started)
            eventQueued_ = false;
        if (announced_.empty() || eventQueued_)
            return !announced_.empty();
        eventQueued_ = true;
    }
    QCoreApplication::postEvent(this, new TAnnouncement());
    return true;
}

bool TSpiderOutputSplitterForm::TakeAnnouncedLabel(int32_t& label)
{
    std::lock_guard<std::mutex> guard(announcedLock_);
    if (announced_.empty())
        return false;
    auto& [next, left] = announced_.front();
    label = next++;
    if (--left == 0)
        announced_.pop_front();
    return true;
}

void TSpiderOutputSplitterForm::TakeAnnouncedReports()
{
    // The next event waits in the queue from the start: a listener's nested event loop goes on
    // with the reports, and what this turn leaves is taken in the next one.
    if (!QueueAnnouncementEvent(true))
        return;
    const auto until = std::chrono::steady_clock::now() + kDeliveryTurn;
    int32_t label = 0;
    while (std::chrono::steady_clock::now() < until && TakeAnnouncedLabel(label))
        OnSpiderOutput(label);
    QueueAnnouncementEvent(false);
}

void TSpiderOutputSplitterForm::OnSpiderOutput(int32_t label)
{
    // A listener that runs a nested event loop (a message box) may get here again while the
    // outer report is still in use: the nested call gets a report object of its own.
    std::unique_ptr<TSpiderOutputMsg> nested;
    TSpiderOutputMsg* msg = msg_.get();
    if (delivering_ > 0) {
        nested = std::make_unique<TSpiderOutputMsg>();
        msg = nested.get();
    }
    auto* queue = TSpiderOutputMessageQueue::Instance();
    if (!queue || !queue->RetrieveMessage(label, *msg)) {
        LogEvent(etWarning, "Retrieval of msg " + std::to_string(label) + " failed", "OnSpiderOutput", kUnit);
        return;
    }
    ++delivering_;
    try {
        Deliver(*msg, label);
    } catch (...) {
        --delivering_;
        throw;
    }
    --delivering_;
}

void TSpiderOutputSplitterForm::Deliver(const TSpiderOutputMsg& msg, int32_t label)
{
    if (msg.FMsgType > 31)
        return;
    const uint32_t bit = 1u << msg.FMsgType;
    for (int i = 0; i < count_; ++i)
        if ((masks_[i] & bit) != 0 && listeners_[i])
            listeners_[i](msg, label);
}
