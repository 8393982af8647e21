#include "engine/SpiderOutputSink.h"

bool THeadlessOutputSink::post(int32_t label)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (closed_ || refusing_)
            return false;
        labels_.push_back(label);
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
