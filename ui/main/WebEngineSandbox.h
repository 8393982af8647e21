#pragma once
// The web engine ends the whole process when it is started by root with its sandbox on. For
// root the sandbox is turned off through the engine's own switch, before the engine starts.
#include <string>
#include <sys/types.h>

// Turns the sandbox off when effectiveUser is root and nothing has turned it off yet. The text
// for the event log when it did, empty otherwise. Call before the application object exists.
std::string TurnOffWebEngineSandboxForRoot(uid_t effectiveUser);
