#include "engine/messages/SpiderOutputSink.h"

bool THeadlessOutputSink::post(int32_t label)
{
    return postRange(label, 1);
}

bool THeadlessOutputSink::postRange(int32_t first, int32_t count)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (closed_ || refusing_)
            return false;
        for (int32_t i = 0; i < count; ++i)
            labels_.push_back(first + i);
        if (batchWaiter_ && labels_.size() < wakeAt_)
            return true;
        batchWaiter_ = false;
    }
    ready_.notify_one();
    return true;
}

bool THeadlessOutputSink::closed() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return closed_;
}

bool THeadlessOutputSink::WaitForLabel(int32_t& label, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> guard(lock_);
    if (!ready_.wait_for(guard, timeout, [this] { return !labels_.empty() || closed_; }))
        return false;
    if (labels_.empty())
        return false;
    label = labels_.front();
    labels_.pop_front();
    return true;
}

bool THeadlessOutputSink::WaitForLabels(std::vector<int32_t>& labels, size_t batch, std::chrono::microseconds gather,
                                        std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> guard(lock_);
    const auto waitFor = [&](size_t count, auto duration) {
        wakeAt_ = count;
        batchWaiter_ = true;
        ready_.wait_for(guard, duration, [&] { return labels_.size() >= count || closed_; });
        batchWaiter_ = false;
    };
    if (labels_.empty())
        waitFor(1, timeout);
    if (labels_.empty())
        return false;
    if (labels_.size() < batch && !closed_)
        waitFor(batch, gather);
    labels.insert(labels.end(), labels_.begin(), labels_.end());
    labels_.clear();
    return true;
}

void THeadlessOutputSink::Close()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        closed_ = true;
    }
    ready_.notify_all();
}

void THeadlessOutputSink::SetRefusing(bool refuse)
{
    std::lock_guard<std::mutex> guard(lock_);
    refusing_ = refuse;
}

size_t THeadlessOutputSink::Pending() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return labels_.size();
}
