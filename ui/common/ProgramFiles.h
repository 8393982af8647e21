#pragma once
// Where the program's own files are read: the language tables and tips ("Languages/"), the help
// ("help/") and the category lists. A built program has them beside it; an installed one in the
// data folder of its prefix ("share/gleanery" beside "bin").
#include <string>

// The folder, ending in "/": programFolder when it holds "Languages", else programFolder +
// installedFromProgram when that does, else programFolder.
std::string ProgramFilesFolderOf(const std::string& programFolder, const std::string& installedFromProgram);
// The folder of the running program's files.
std::string GetProgramFilesFolder();
