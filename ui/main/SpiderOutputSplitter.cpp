#include "ui/main/SpiderOutputSplitter.h"

#include "engine/services/AppTraceLog.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/messages/SpiderOutputMsgTypes.h"

#include <QCoreApplication>

namespace {

const char* const kUnit = "SpiderOutputSplitter";

class TAnnouncement : public QEvent {
public:
    TAnnouncement(int32_t first, int32_t count)
        : QEvent(TSpiderOutputSplitterForm::AnnouncementEvent), first_(first), count_(count)
    {
    }
    int32_t First() const { return first_; }
    int32_t Count() const { return count_; }

private:
    int32_t first_;
    int32_t count_;
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
    if (count > 0)
        QCoreApplication::postEvent(this, new TAnnouncement(first, count));
    return true;
}

bool TSpiderOutputSplitterForm::event(QEvent* e)
{
    if (e->type() == AnnouncementEvent) {
        const auto* announcement = static_cast<TAnnouncement*>(e);
        OnSpiderOutputRange(announcement->First(), announcement->Count());
        return true;
    }
    return QObject::event(e);
}

void TSpiderOutputSplitterForm::OnSpiderOutputRange(int32_t first, int32_t count)
{
    if (count <= 0)
        return;
    announced_.emplace_back(first, count);
    while (!announced_.empty()) {
        auto& [next, left] = announced_.front();
        const int32_t label = next++;
        if (--left == 0)
            announced_.pop_front();
        OnSpiderOutput(label);
    }
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
