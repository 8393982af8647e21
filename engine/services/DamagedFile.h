#pragma once
// Files of the program's own that could not be read whole: the file as it was found is kept
// beside it, under the name + ".damaged" (".damaged2" and on when taken), and the user is told
// once what was kept.
#include <string>

// What the program kept of one file, for the user and the event log.
struct TRecoveryNote {
    std::string file;  // the file's path
    std::string text;  // what could not be read, what was kept and where the file as found is
};

// The first of path + suffix, suffix + "2", ... that names nothing; empty when all are taken.
std::string FreeAsideName(const std::string& path, const char* suffix);
// Moves whatever is at path to FreeAsideName(path, suffix), never over another file; the new
// name, empty when it could not be moved (logged under routine).
std::string MoveAside(const std::string& path, const char* suffix, const char* routine);

// The first of path + ".damaged", ".damaged2", ... that names nothing; empty when all are taken.
std::string DamagedCopyName(const std::string& path);
// Moves whatever is at path (a file, a folder) to DamagedCopyName(path); the new name, empty
// when it could not be moved (logged under routine).
std::string MoveDamagedAside(const std::string& path, const char* routine);
// Writes text to DamagedCopyName(path) (owner-only, it may hold credentials); the copy's name,
// empty on failure (logged under routine).
std::string KeepDamagedCopy(const std::string& path, const std::string& text, const char* routine);
