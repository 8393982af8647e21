#include "ui/common/AppName.h"

#include "Version.h"

#include "engine/services/AppInfo.h"

std::string AppProductName()
{
    const TAppInfo* info = TAppInfo::Instance();
    return info && !info->ProductName.empty() ? info->ProductName : std::string(GLEANERY_PRODUCT_NAME);
}

std::string AppVersion()
{
    const TAppInfo* info = TAppInfo::Instance();
    return info && !info->FileVersion.empty() ? info->FileVersion : std::string(GLEANERY_VERSION);
}
