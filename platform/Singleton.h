#pragma once
// Base for the process-wide services. Each service is created once, explicitly, by main()
// (or by a test); while it exists Instance() returns it, before and after that nullptr.
#include <atomic>

template <class T>
class TSingleton {
public:
    static T* Instance()
    {
        TSingleton* p = instance_.load(std::memory_order_acquire);
        return p ? static_cast<T*>(p) : nullptr;
    }

    // Marks an object of the class that is not the process-wide one (a helper thread's own).
    struct TPrivateInstance {};

    TSingleton(const TSingleton&) = delete;
    TSingleton& operator=(const TSingleton&) = delete;

protected:
    // The base pointer is stored: the derived object is not yet (or no longer) complete while the
    // base constructor and destructor run.
    TSingleton() { instance_.store(this, std::memory_order_release); }
    explicit TSingleton(TPrivateInstance) {}
    ~TSingleton() { ReleaseInstance(); }

    // A derived destructor calls this first when other threads may still look the service up.
    void ReleaseInstance()
    {
        TSingleton* self = this;
        instance_.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    }

private:
    static inline std::atomic<TSingleton*> instance_{nullptr};
};
