#pragma once
// Base for the process-wide services. Each service is created once, explicitly, by main()
// (or by a test); while it exists Instance() returns it, before and after that nullptr.
#include <atomic>

template <class T>
class TSingleton {
public:
    static T* Instance() { return instance_.load(std::memory_order_acquire); }

    TSingleton(const TSingleton&) = delete;
    TSingleton& operator=(const TSingleton&) = delete;

protected:
    TSingleton() { instance_.store(static_cast<T*>(this), std::memory_order_release); }
    ~TSingleton()
    {
        T* self = static_cast<T*>(this);
        instance_.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    }

private:
    static inline std::atomic<T*> instance_{nullptr};
};
