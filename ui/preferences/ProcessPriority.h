#pragma once
// The process's scheduling priority, named by the priority classes the settings store.

#include <cstdint>

constexpr int32_t kPriorityNormal = 32;
constexpr int32_t kPriorityIdle = 64;
constexpr int32_t kPriorityBelowNormal = 16384;

// The nice value for a priority class. The page offers normal and background, and shows every
// class but normal as background, so every other class lowers the priority (idle, 19; below
// normal, 10), the raising ones (above normal, high, real time) included: never below 0.
int NiceOfPriorityClass(int32_t priorityClass);

// Sets the nice value of priorityClass on every thread of the process. False with the thread's
// last error set when a thread refused the change (going back up from a lowered priority needs
// a privilege).
bool SetProcessPriorityClass(int32_t priorityClass);
