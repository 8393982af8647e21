#pragma once
// Order of the pre-made slots of a fixed-size queue. Slots never move: the queue keeps a
// permutation of slot numbers whose first Count() entries are the waiting entries, oldest
// first, and whose rest are the free slots. Removing an entry moves one small number, not a
// message.
#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>

template <int32_t N>
class TSlotOrder {
public:
    TSlotOrder() { std::iota(order_.begin(), order_.end(), 0); }

    int32_t Count() const { return count_; }
    bool Full() const { return count_ >= N; }
    // The slot number of the waiting entry at position pos (0 = oldest).
    int32_t SlotAt(int32_t pos) const { return order_[pos]; }
    // The free slot that the next Append will occupy; only when not Full().
    int32_t NextFree() const { return order_[count_]; }
    void Append() { ++count_; }
    // Takes the entry at pos out of the waiting entries; later entries move up one place.
    void RemoveAt(int32_t pos)
    {
        int32_t slot = order_[pos];
        for (int32_t i = pos; i + 1 < count_; ++i)
            order_[i] = order_[i + 1];
        order_[count_ - 1] = slot;
        --count_;
    }
    // Takes the k oldest waiting entries out at once.
    void RemoveFront(int32_t k)
    {
        std::rotate(order_.begin(), order_.begin() + k, order_.begin() + count_);
        count_ -= k;
    }
    void Clear() { count_ = 0; }

private:
    std::array<int32_t, N> order_;
    int32_t count_ = 0;
};
