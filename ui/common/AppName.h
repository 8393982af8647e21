#pragma once
// The product name and version of TAppInfo (the build's constants while it does not exist).
#include <string>

std::string AppProductName();
std::string AppVersion();
