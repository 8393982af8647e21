#pragma once
// The process's scheduling priority, named by the priority classes the settings store.

#include <cstdint>

constexpr int32_t kPriorityNormal = 32;
constexpr int32_t kPriorityIdle = 64;

// Sets the nice value matching priorityClass (32 normal, 64 idle, 16384 below normal,
// 32768 above normal, 128 high, 256 real time) on every thread of the process. False with the
// thread's last error set when the class is unknown or a thread refused the change.
bool SetProcessPriorityClass(int32_t priorityClass);
