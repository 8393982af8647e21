#include "ui/main/WebEngineSandbox.h"

#include <cstdlib>
#include <cstring>

namespace {

const char* const kDisableSandbox = "QTWEBENGINE_DISABLE_SANDBOX";
const char* const kEngineFlags = "QTWEBENGINE_CHROMIUM_FLAGS";

bool SandboxAlreadyOff()
{
    if (std::getenv(kDisableSandbox))
        return true;
    const char* flags = std::getenv(kEngineFlags);
    return flags && std::strstr(flags, "--no-sandbox");
}

}  // namespace

std::string TurnOffWebEngineSandboxForRoot(uid_t effectiveUser)
{
    if (effectiveUser != 0 || SandboxAlreadyOff())
        return std::string();
    if (::setenv(kDisableSandbox, "1", 1) != 0)
        return "Running as root: the web view's sandbox could not be turned off";
    return "Running as root: the web view's sandbox is turned off";
}
