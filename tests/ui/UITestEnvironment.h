#pragma once
// Shared by the window tests: the temp data folder the process uses as HOME and XDG_DATA_HOME.
#include <string>

const std::string& TestHomeFolder();
