#pragma once
// The password file "up.ini" of the data folder: section "Security" with "Count" and, for each
// entry i, "Host<i>" and the user name "U<i>" and password "P<i>" in Base64. The password page
// keeps it; the program and the headless runner fill the password store from it.
#include "engine/job/PasswordMgr.h"

#include <string>
#include <vector>

extern const char* const kPasswordFileName;
extern const char* const kPasswordFileSection;

// The host key a site is stored under: lower case, without a scheme, user information or
// anything from the first "/", "?" or "#" on, and without the scheme's default port.
std::string SiteToHostKey(const std::string& site);

// The key of entry index: "Host", "U" or "P" followed by the index.
std::string PasswordFileKey(const char* name, int index);

// The entries of the file (a missing file has none). False, with the last error set, when the
// file cannot be read. whole is False when some entry could not be read or the file holds
// something other than a password list. Credentials are never logged.
bool ReadPasswordFile(const std::string& fileName, std::vector<TPasswordRec>& records, bool& whole);

// Fills the store from the file; False when the file could not be read whole or the store
// could not take every entry (what could be read is taken).
bool LoadPasswordFileIntoStore(const std::string& fileName, TPasswordManager& store);

// Writes records as the whole list of the file, under its lock file (another instance may be
// saving), owner-only. False, with the last error set, when it could not be read or written.
bool WritePasswordFile(const std::string& fileName, const std::vector<TPasswordRec>& records);

// Keeps a file that was not read whole beside it as fileName + ".bak" (".bak2" and on when
// taken) before it is written anew. True when nothing is there to keep; kept names the copy.
bool KeepUnreadPasswordFile(const std::string& fileName, std::string& kept);
