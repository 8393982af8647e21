#pragma once
// Waiting in a test for a state another thread reaches, instead of sleeping for a guess.
#include <chrono>
#include <thread>

// True once done() holds; False when it has not within the limit.
template <class Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
