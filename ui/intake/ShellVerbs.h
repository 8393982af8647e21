#pragma once
// The commands the desktop offers for a type of file: the applications whose .desktop files
// are registered for the MIME type of a file extension, and running one of them on a file.
#include <string>
#include <vector>

// verbs: the desktop file ids; displayTexts: their names, same order. Both emptied first;
// nothing more for an empty extension. False when the lookup failed.
bool GetShellVerbsForFileExtension(const std::string& extension, std::vector<std::string>& verbs,
                                   std::vector<std::string>& displayTexts);
// Drops "printto", "openas" and "runas" (without regard to case) from both lists.
void RemoveHiddenShellVerbs(std::vector<std::string>& verbs, std::vector<std::string>& displayTexts);
// The program and arguments of a desktop Exec value for one file; empty when the value is
// unusable.
std::vector<std::string> ExpandDesktopExec(const std::string& exec, const std::string& file);
// Starts the application of desktop file id verb on file; False when it cannot be started.
bool RunShellVerb(const std::string& verb, const std::string& file);
