#pragma once
// Base for the process-wide services. Each service is created once, explicitly, by main()
// (or by a test); while it exists Instance() returns it, before and after that nullptr.
#include <atomic>

template <class T>
class TSingleton {
public:
    // The downcast happens here, once the object is complete: casting `this` to T while a
    // polymorphic T is still being constructed is undefined.
    static T* Instance() { return static_cast<T*>(instance_.load(std::memory_order_acquire)); }

    TSingleton(const TSingleton&) = delete;
    TSingleton& operator=(const TSingleton&) = delete;

protected:
    TSingleton() { instance_.store(this, std::memory_order_release); }
    ~TSingleton()
    {
        TSingleton* self = this;
        instance_.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    }

private:
    static inline std::atomic<TSingleton*> instance_{nullptr};
};
