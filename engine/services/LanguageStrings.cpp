#include "engine/services/LanguageStrings.h"

#include "engine/services/AppTraceLog.h"
#include "engine/services/ParseCSV.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/ErrorCodes.h"
#include "platform/IniFile.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kDefaultStrings[LanguageStringCount] = {
    /* 0 */ "",
    /* 1 */ "(Filename)",
    /* 2 */ "(File Description)",
    /* 3 */ "(File Version)",
    /* 4 */ "(Language)",
    /* 5 */ "(ISO Language Code)",
    /* 6 */ "(ISO Character Set)",
    /* 7 */ "(Display Font Name)",
    /* 8 */ "(Display Font Size)",
    /* 9 */ "(Translator Name)",
    /* 10 */ "(Translator Contact Info)",
    /* 11 */ "",
    /* 12 */ "",
    /* 13 */ "",
    /* 14 */ "",
    /* 15 */ "",
    /* 16 */ "",
    /* 17 */ "",
    /* 18 */ "",
    /* 19 */ "Start",
    /* 20 */ "Job Queue",
    /* 21 */ "Progress",
    /* 22 */ "Preferences",
    /* 23 */ "Log",
    /* 24 */ "Browse",
    /* 25 */ "About",
    /* 26 */ "Send feedback",
    /* 27 */ "General",
    /* 28 */ "HTTP Proxy",
    /* 29 */ "FTP Proxy",
    /* 30 */ "Automation",
    /* 31 */ "Copy Log",
    /* 32 */ "Passwords",
    /* 33 */ "Languages",
    /* 34 */ "Filename",
    /* 35 */ "Language",
    /* 36 */ "Author",
    /* 37 */ "Starting Address",
    /* 38 */ "Location Restrictions",
    /* 39 */ "Address Restrictions",
    /* 40 */ "File Count and Size",
    /* 41 */ "File Extensions",
    /* 42 */ "MIME Types",
    /* 43 */ "Protocols",
    /* 44 */ "Timeouts",
    /* 45 */ "Find and Replace",
    /* 46 */ "HTML Header/Footer",
    /* 47 */ "Cookies",
    /* 48 */ "Additional Options",
    /* 49 */ "Open Job...",
    /* 50 */ "Save Job...",
    /* 51 */ "Add Job to Queue",
    /* 52 */ "Download Now",
    /* 53 */ "Reset Job Defaults",
    /* 54 */ "Choose a common job from the menu, or press the Show Details button to create a custom download job.",
    /* 55 */ "Common Jobs...",
    /* 56 */ "Show details",
    /* 57 */ "Hide details",
    /* 58 */ "Download a single file",
    /* 59 */ "Download a single web page",
    /* 60 */ "Download entire website",
    /* 61 */ "Open jobs folder",
    /* 62 */ "Job name:",
    /* 63 */ "Untitled Job XXX",
    /* 64 */ "Starting address:",
    /* 65 */ "Destination folder:",
    /* 66 */ "...",
    /* 67 */ "Browse for folder",
    /* 68 */ "Explore",
    /* 69 */ "Save files within flat folder",
    /* 70 */ "Save files within original folder tree",
    /* 71 */ "Fix links to point to downloaded files",
    /* 72 */ "Select a destination folder:",
    /* 73 */ "Folder Does Not Exist",
    /* 74 */ "Create XXX?",
    /* 75 */ "Error",
    /* 76 */ "Unable to create folder.",
    /* 77 */ "A drive root folder cannot be used as a destination folder.",
    /* 78 */ "Folder Exploration",
    /* 79 */ "Download files within this folder:",
    /* 80 */ "Download files at this server:",
    /* 81 */ "Download all files regardless of location",
    /* 82 */ "This rule applies to web pages only",
    /* 83 */ "This rule applies to all file types",
    /* 84 */ "Depth Exploration",
    /* 85 */ "Maximum distance from starting address:",
    /* 86 */ "Unlimited distance from starting address",
    /* 87 */ "Download files from all addresses",
    /* 88 */ "Download only files from addresses containing:",
    /* 89 */ "Do not download files from addresses containing:",
    /* 90 */ "Maximum file download count:",
    /* 91 */ "Minimum file size:",
    /* 92 */ "Maximum file size:",
    /* 93 */ "Maximum total download size:",
    /* 94 */ "this folder",
    /* 95 */ "this server",
    /* 96 */ "Download files of all extensions",
    /* 97 */ "Download only files with these extensions:",
    /* 98 */ "Do not download files with these extensions:",
    /* 99 */ "File Extensions List Builder",
    /* 100 */ "MIME Types List Builder",
    /* 101 */ "Category",
    /* 102 */ "OK",
    /* 103 */ "Cancel",
    /* 104 */ "Download files of all MIME types",
    /* 105 */ "Download only files of these MIME types:",
    /* 106 */ "Do not download files of these MIME types:",
    /* 107 */ "Stop downloading all files after:",
    /* 108 */ "minutes",
    /* 109 */ "hours",
    /* 110 */ "File download timeout (seconds):",
    /* 111 */ "Download via HTTP",
    /* 112 */ "Download via FTP",
    /* 113 */ "Download via HTTPS",
    /* 114 */ "HTTP agent name:",
    /* 115 */ "Starting referrer address:",
    /* 116 */ "Pause between downloads (seconds):",
    /* 117 */ "Max simultaneous downloads:",
    /* 118 */ "Honor META NOFOLLOW tags",
    /* 119 */ "Allow cookies",
    /* 120 */ "Update previously downloaded files",
    /* 121 */ "Save query results as files",
    /* 122 */ "Create autorun CD file",
    /* 123 */ "Allow username and password authentication",
    /* 124 */ "Prune empty folders on job completion",
    /* 125 */ "Add Mark of the Web to rewritten web pages",
    /* 126 */ "Keep original web pages after rewriting",
    /* 127 */ "Assume \"WWW\" when no third-level domain present",
    /* 128 */ "Add .htm extension to to web page filenames",
    /* 129 */ "Find and replace in web pages:",
    /* 130 */ "Add...",
    /* 131 */ "Remove",
    /* 132 */ "Replace",
    /* 133 */ "Of",
    /* 134 */ "With",
    /* 135 */ "Case Sensitive",
    /* 136 */ "Whole Words Only",
    /* 137 */ "Custom cookies:",
    /* 138 */ "Add...",
    /* 139 */ "Remove",
    /* 140 */ "Address",
    /* 141 */ "Cookie Name",
    /* 142 */ "Value",
    /* 143 */ "Add Cookie",
    /* 144 */ "Address:",
    /* 145 */ "Cookie Name:",
    /* 146 */ "Cookie Value:",
    /* 147 */ "Add Find and Replace Task",
    /* 148 */ "Text or HTML code to find:",
    /* 149 */ "Replace with:",
    /* 150 */ "Case sensitive",
    /* 151 */ "Replace all",
    /* 152 */ "Whole words only",
    /* 153 */ "Highlight \"XXX\" in yellow",
    /* 154 */ "Highlight \"XXX\" in blue",
    /* 155 */ "Highlight \"XXX\" in green",
    /* 156 */ "First",
    /* 157 */ "All",
    /* 158 */ "Yes",
    /* 159 */ "No",
    /* 160 */ "Add HTML code to top of downloaded web pages:",
    /* 161 */ "Add HTML code to bottom of downloaded web pages:",
    /* 162 */ "Queued",
    /* 163 */ "Busy",
    /* 164 */ "Complete",
    /* 165 */ "Complete",
    /* 166 */ "Error",
    /* 167 */ "Stopped",
    /* 168 */ "Aborted",
    /* 169 */ "Paused",
    /* 170 */ "Loading job queue...",
    /* 171 */ "Saving job queue...",
    /* 172 */ "Starting next job in XXX seconds (click here to cancel)",
    /* 173 */ "Shutting down in XXX seconds (click here to cancel)",
    /* 174 */ "Waiting XXX seconds for YYY\\r\\n(click here to stop waiting)",
    /* 175 */ "Unable to Shutdown",
    /* 176 */ "Cannot Add Job",
    /* 177 */ "XXX is an invalid starting address.",
    /* 178 */ "Please enter a starting address.",
    /* 179 */ "The job queue is full.",
    /* 180 */ "Sounds",
    /* 181 */ "Speech",
    /* 182 */ "History",
    /* 183 */ "Foreground",
    /* 184 */ "Background",
    /* 185 */ "Job priority:",
    /* 186 */ "Stay on top of other application windows",
    /* 187 */ "Minimize window to tray",
    /* 188 */ "Show job queue",
    /* 189 */ "Save job queue between runs",
    /* 190 */ "Jump to progress window on job start",
    /* 191 */ "Jump to job queue window on job addition",
    /* 192 */ "Show friendly download results",
    /* 193 */ "Keep log of completed jobs",
    /* 194 */ "Address Range Generator...",
    /* 195 */ "Quick copy hotkey:",
    /* 196 */ "None",
    /* 197 */ "Show Tip of the Day",
    /* 198 */ "Clipboard Monitoring",
    /* 199 */ "Ignore addresses sent to clipboard",
    /* 200 */ "Prompt to create a new job",
    /* 201 */ "Create a new job automatically",
    /* 202 */ "Enable sounds",
    /* 203 */ "Play sound on job start:",
    /* 204 */ "Play sound on job stop:",
    /* 205 */ "Play sound on file download:",
    /* 206 */ "Speech components are not installed",
    /* 207 */ "Enable speech",
    /* 208 */ "Selected voice:",
    /* 209 */ "Speak on application start:",
    /* 210 */ "Speak on application stop:",
    /* 211 */ "Speak on job start:",
    /* 212 */ "Speak on job stop:",
    /* 213 */ "Current Job: XXX",
    /* 214 */ "XXX of YYY Jobs Completed",
    /* 215 */ "Ready",
    /* 216 */ "Status",
    /* 217 */ "Job Name",
    /* 218 */ "Start jobs automatically",
    /* 219 */ "Save each job in separate subfolder",
    /* 220 */ "Shutdown Windows when all jobs completed",
    /* 221 */ "Shutdown Gleanery when all jobs completed",
    /* 222 */ "Run application on job completion:",
    /* 223 */ "Remove completed jobs from queue",
    /* 224 */ "Include stopped and aborted jobs?",
    /* 225 */ "Move up",
    /* 226 */ "Move down",
    /* 227 */ "Start",
    /* 228 */ "Stop",
    /* 229 */ "Edit",
    /* 230 */ "Stop downloading",
    /* 231 */ "Abort job",
    /* 232 */ "Remove",
    /* 233 */ "Unable to read job file",
    /* 234 */ "Unable to write job file",
    /* 235 */ "Launch copied site",
    /* 236 */ "Create ZIP file",
    /* 237 */ "Open CD burning wizard",
    /* 238 */ "Completed Files",
    /* 239 */ "List",
    /* 240 */ "Site Map",
    /* 241 */ "Result",
    /* 242 */ "Location",
    /* 243 */ "Size",
    /* 244 */ "Download Result:",
    /* 245 */ "Files in Progress",
    /* 246 */ "Status",
    /* 247 */ "% Done",
    /* 248 */ "ETA",
    /* 249 */ "Size",
    /* 250 */ "Location",
    /* 251 */ "Download Progress: XXX of YYY",
    /* 252 */ "Rewrite Progress: XXX of YYY",
    /* 253 */ "Pause",
    /* 254 */ "Report...",
    /* 255 */ "View",
    /* 256 */ "Expand Tree",
    /* 257 */ "Downloading",
    /* 258 */ "Reading",
    /* 259 */ "Writing",
    /* 260 */ "Pruning",
    /* 261 */ "Flattening",
    /* 262 */ "Complete",
    /* 263 */ "Error XXX (YYY)",
    /* 264 */ "Stop downloading XXX",
    /* 265 */ "Stop downloading all from XXX",
    /* 266 */ "Stop downloading all with extension XXX",
    /* 267 */ "Stop downloading all of MIME type XXX",
    /* 268 */ "Invalid Command Line Parameter",
    /* 269 */ "Cancelled",
    /* 270 */ "Internal Error",
    /* 271 */ "File Read Error",
    /* 272 */ "Filtered: Location",
    /* 273 */ "Filtered: Depth",
    /* 274 */ "Filtered: Address",
    /* 275 */ "Filtered: Domain Name",
    /* 276 */ "Filtered: File Count",
    /* 277 */ "Filtered: File Size",
    /* 278 */ "Filtered: Job Download Size",
    /* 279 */ "Filtered: File Extension",
    /* 280 */ "Filtered: MIME Type",
    /* 281 */ "Filtered: Query",
    /* 282 */ "Filtered: Password",
    /* 283 */ "Filtered: Protocol",
    /* 284 */ "Filtered: Job Time",
    /* 285 */ "Previously Downloaded",
    /* 286 */ "Email Address",
    /* 287 */ "Gleanery Address Range Generator",
    /* 288 */ "Automatic Generation",
    /* 289 */ "Start address:",
    /* 290 */ "End address:",
    /* 291 */ "Generate",
    /* 292 */ "Manual Generation",
    /* 293 */ "Pattern:",
    /* 294 */ "Replace symbol:",
    /* 295 */ "Range start:",
    /* 296 */ "Range end:",
    /* 297 */ "Results:",
    /* 298 */ "Create Jobs",
    /* 299 */ "Unusable Range",
    /* 300 */ "Please enter a simple number, lowercase letter, or uppercase letter for both the start and end range.",
    /* 301 */ "This site is already in the list. Please remove it first.",
    /* 302 */ "Site",
    /* 303 */ "Site:",
    /* 304 */ "Username",
    /* 305 */ "Username:",
    /* 306 */ "Password",
    /* 307 */ "Password:",
    /* 308 */ "Add...",
    /* 309 */ "Add Password",
    /* 310 */ "Remove",
    /* 311 */ "Mask password",
    /* 312 */ "The passwords list is full. Please remove an entry first.",
    /* 313 */ "Use proxy server",
    /* 314 */ "Address:",
    /* 315 */ "Port:",
    /* 316 */ "Bypass proxy server for local addresses",
    /* 317 */ "Save address and folder history",
    /* 318 */ "History length:",
    /* 319 */ "Clear History",
    /* 320 */ "Are you sure you want to clear your saved history?",
    /* 321 */ "View Copy",
    /* 322 */ "Explore Folder",
    /* 323 */ "Remove From Log",
    /* 324 */ "Job Name",
    /* 325 */ "Start Date/Time",
    /* 326 */ "End Date/Time",
    /* 327 */ "Address",
    /* 328 */ "Filename",
    /* 329 */ "Downloaded",
    /* 330 */ "Address:",
    /* 331 */ "Go",
    /* 332 */ "Go to XXX",
    /* 333 */ "Open file in browser",
    /* 334 */ "Show slideshow options",
    /* 335 */ "Slideshow Options",
    /* 336 */ "Show downloaded images",
    /* 337 */ "Slide delay: XXX seconds",
    /* 338 */ "Load images from folder",
    /* 339 */ "Select an image folder:",
    /* 340 */ "Folder",
    /* 341 */ "Slideshow",
    /* 342 */ "Minimum width for inclusion:",
    /* 343 */ "Minimum height for inclusion:",
    /* 344 */ "Shrink large images to fit display",
    /* 345 */ "Version XXX",
    /* 346 */ "Start",
    /* 347 */ "",
    /* 348 */ "",
    /* 349 */ "",
    /* 350 */ "Exit",
    /* 351 */ "",
    /* 352 */ "",
    /* 353 */ "",
    /* 354 */ "",
    /* 355 */ "",
    /* 356 */ "",
    /* 357 */ "",
    /* 358 */ "",
    /* 359 */ "",
    /* 360 */ "Missing file XXX",
    /* 361 */ "Help",
    /* 362 */ "Check for Upgrade",
    /* 363 */ "Gleanery Job Report",
    /* 364 */ "text/html",
    /* 365 */ "Job status:",
    /* 366 */ "Start date/time:",
    /* 367 */ "End date/time:",
    /* 368 */ "Files downloaded:",
    /* 369 */ "Bytes downloaded:",
    /* 370 */ "Report generated by XXX",
    /* 371 */ "Unable to create report",
    /* 372 */ "Report Viewer",
    /* 373 */ "&Save...",
    /* 374 */ "Page Setup...",
    /* 375 */ "Print Preview...",
    /* 376 */ "&Print...",
    /* 377 */ "",
    /* 378 */ "Tip of the Day",
    /* 379 */ "Close",
    /* 380 */ "Next Tip",
    /* 381 */ "Previous Tip",
    /* 382 */ "Speak",
    /* 383 */ "Show tips at startup",
    /* 384 */ "Images",
    /* 385 */ "Sounds",
    /* 386 */ "Videos",
    /* 387 */ "Applications",
    /* 388 */ "Archives",
    /* 389 */ "Documents",
    /* 390 */ "Web Pages",
    /* 391 */ "",
};

// The maker's address, written as the translator contact of the program's own English file.
constexpr const char* kMakerWebAddress = "https://www.brindlesoft.example/";

// A translation file is a few dozen kilobytes; anything far larger is refused unread.
constexpr int64_t kMaxTranslationFileSize = 16 * 1024 * 1024;
// Most file text quoted in an error message.
constexpr size_t kMaxQuotedText = 80;

const std::string kLineBreakCode = "\\r\\n";

std::string ExpandLineBreaks(const std::string& text)
{
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = text.find(kLineBreakCode, pos);
        if (hit == std::string::npos)
            break;
        out.append(text, pos, hit - pos);
        out += "\r\n";
        pos = hit + kLineBreakCode.size();
    }
    if (pos == 0)
        return text;
    out.append(text, pos, std::string::npos);
    return out;
}

std::string QuotedForMessage(const std::string& text)
{
    if (text.size() <= kMaxQuotedText)
        return "'" + text + "'";
    return "'" + text.substr(0, kMaxQuotedText) + "...'";
}

std::string FileNameOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool HasCSVExtension(const std::string& name)
{
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = name.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return ext == ".csv";
}

// Reads a regular file of at most kMaxTranslationFileSize bytes. Returns the failure text,
// empty on success. Opening never blocks (a pipe planted in the folder is refused).
std::string ReadTranslationFile(const std::string& path, std::string& data)
{
    data.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "Cannot open file \"" + path + "\". " + SystemErrorMessage(ErrorCodeFromErrno(errno));
    struct stat st {};
    std::string error;
    if (::fstat(fd, &st) != 0)
        error = "Cannot open file \"" + path + "\". " + SystemErrorMessage(ErrorCodeFromErrno(errno));
    else if (!S_ISREG(st.st_mode))
        error = "Not a regular file.";
    else if (st.st_size > kMaxTranslationFileSize)
        error = "File too large.";
    if (error.empty()) {
        data.reserve(static_cast<size_t>(st.st_size));
        char buf[65536];
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = "Read error in \"" + path + "\". " + SystemErrorMessage(ErrorCodeFromErrno(errno));
                break;
            }
            if (n == 0)
                break;
            if (static_cast<int64_t>(data.size()) + n > kMaxTranslationFileSize) {
                error = "File too large.";  // grew while being read
                break;
            }
            data.append(buf, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return error;
}

// Splits text at CR LF, lone CR or lone LF; a final line break starts no further line.
// Stops after limit + 1 lines (enough to know there are too many).
std::vector<std::string_view> SplitLines(std::string_view text, size_t limit)
{
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size() && lines.size() <= limit) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
        if (text[end] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;
    }
    return lines;
}

std::string CSVField(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace

std::string GetDefaultString(uint16_t id)
{
    return id < LanguageStringCount ? kDefaultStrings[id] : "?";
}

std::string GetDefaultHeaderString(uint16_t id)
{
    switch (id) {
    case 1: return "ENU.csv";
    case 2: return "Gleanery Translation File";
    case 3: return "1";
    case 4: return "English (United States)";
    case 5: return "ENU";
    case 6: return "ISO-8859-1";
    case 7: return "MS Shell Dlg";
    case 8: return "8";
    case 9: return "Brindlesoft";
    case 10: return kMakerWebAddress;
    default: return std::string();
    }
}

std::string ReplaceFirst(const std::string& text, const std::string& placeholder, const std::string& value)
{
    size_t hit = placeholder.empty() ? std::string::npos : text.find(placeholder);
    if (hit == std::string::npos)
        return text;
    std::string out = text;
    out.replace(hit, placeholder.size(), value);
    return out;
}

std::string GetErrorText(uint32_t code)
{
    const TLocalLanguages* languages = TLocalLanguages::Instance();
    std::string text = languages ? languages->GetString(263, -1, true) : GetDefaultString(263);
    text = ReplaceFirst(text, "XXX", std::to_string(code));
    std::string message = SystemErrorMessage(code);
    while (message.size() >= 2 && message.compare(message.size() - 2, 2, "\r\n") == 0)
        message.resize(message.size() - 2);
    return ReplaceFirst(text, "YYY", message);
}

std::string GetLastErrorText()
{
    return GetErrorText(GetLastErrorCode());
}

// ---- TLocalizedStringSet

std::string TLocalizedStringSet::GetText(int id, bool expand) const
{
    if (id < 0 || id >= LanguageStringCount)
        return "?";
    return expand ? ExpandLineBreaks(texts_[static_cast<size_t>(id)]) : texts_[static_cast<size_t>(id)];
}

std::string TLocalizedStringSet::GetContext(int) const
{
    return std::string();
}

void TLocalizedStringSet::LoadDefaultStrings()
{
    for (int id = 0; id < LanguageStringCount; ++id) {
        std::string header = GetDefaultHeaderString(static_cast<uint16_t>(id));
        texts_[static_cast<size_t>(id)] = header.empty() ? GetDefaultString(static_cast<uint16_t>(id)) : header;
    }
}

std::string TLocalizedStringSet::LoadRows(const std::string& path)
{
    std::string data;
    std::string error = ReadTranslationFile(path, data);
    if (!error.empty())
        return error;
    const std::vector<std::string_view> lines = SplitLines(data, LanguageStringCount);
    if (lines.size() != static_cast<size_t>(LanguageStringCount))
        return "Invalid row count.";
    std::vector<std::string> fields;
    for (int n = 1; n < LanguageStringCount; ++n) {
        const std::string row = std::to_string(n);
        ParseCSVLine(std::string(lines[static_cast<size_t>(n)]), fields);
        if (fields.size() < 3)
            return "Invalid column count in row " + row + ".";
        if (StripQuotes(fields[1]) != GetDefaultString(static_cast<uint16_t>(n)))
            return "Invalid original text in row " + row + ".";
        std::string& text = texts_[static_cast<size_t>(n)];
        text = n == 1 ? FileNameOf(path) : StripQuotes(fields[2]);
        if (n == 3) {
            int64_t version = 0;
            if (!TIniFile::ParseInteger(text, version))
                return QuotedForMessage(text) + " is not a valid integer value";
            if (version != 1)
                return "Unusable schema version.";
        }
        if ((n == 4 || n == 9) && text.empty())
            return "Missing required text in row " + row + ".";
    }
    return std::string();
}

bool TLocalizedStringSet::LoadFromFile(const std::string& path)
{
    lastError_.clear();
    try {
        lastError_ = LoadRows(path);
    } catch (const std::exception& e) {
        lastError_ = e.what();
        if (lastError_.empty())
            lastError_ = "Unable to read the file.";
    }
    if (lastError_.empty())
        return true;
    LogEvent(etException, lastError_, "LoadFromFile (" + path + ")", "LanguageStrings");
    return false;
}

bool TLocalizedStringSet::ExportToFile(const std::string& path) const
{
    try {
        std::string data = "\"Row\", \"Original\", \"Translation\", \"Context\"\r\n";
        for (int n = 1; n < LanguageStringCount; ++n) {
            data += CSVField(std::to_string(n));
            data += ',';
            data += CSVField(GetDefaultString(static_cast<uint16_t>(n)));
            data += ',';
            data += CSVField(GetText(n, false));
            data += ',';
            data += CSVField(GetContext(n));
            data += "\r\n";
        }
        return AtomicWriteFile(path, data);
    } catch (const std::exception&) {
        return false;
    }
}

// ---- TLocalLanguages

TLocalLanguages::TLocalLanguages() : sets_(MaxLanguages)
{
    sets_[0].LoadDefaultStrings();
}

void TLocalLanguages::SetLanguagesFolder(const std::string& folder)
{
    folder_ = folder;
    WriteDefaultLanguageFile();
    ScanLanguagesFolder();
}

void TLocalLanguages::WriteDefaultLanguageFile()
{
    const std::string path = folder_ + "ENU.csv";
    if (folder_.empty() || SafeFileExists(path) || !SafeForceDirectories(folder_))
        return;
    TLocalizedStringSet english;
    english.LoadDefaultStrings();
    english.ExportToFile(path);
}

void TLocalLanguages::ScanLanguagesFolder()
{
    count_ = 0;
    // Directory order is arbitrary on Linux: the files are taken in name order.
    std::vector<std::string> names;
    if (!folder_.empty()) {
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder_.c_str()), ::closedir);
        while (dir) {
            const dirent* entry = ::readdir(dir.get());
            if (!entry)
                break;
            std::string name = entry->d_name;
            if (name != "." && name != ".." && HasCSVExtension(name))
                names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (count_ >= MaxLanguages)
            break;
        const std::string path = folder_ + name;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;  // folders, pipes and devices are no translation files
        TLocalizedStringSet& set = sets_[static_cast<size_t>(count_)];
        if (set.LoadFromFile(path)) {
            ++count_;
            continue;
        }
        const std::string question = set.LastError() + "\r\n\r\nDelete " + path + "?";
        if (deleteQuestion_ && deleteQuestion_(question, "Invalid Language File Found") && !SafeDeleteFile(path))
            LogAPIError("DeleteFile " + path, "ScanLanguagesFolder", "LanguageStrings");
    }
    if (count_ == 0) {
        count_ = 1;
        sets_[0].LoadDefaultStrings();
    }
}

std::string TLocalLanguages::GetString(int id, int language, bool expand) const
{
    if (language == -1)
        language = current_;
    if (language < 0 || language >= MaxLanguages)
        return "?";
    return sets_[static_cast<size_t>(language)].GetText(id, expand);
}

int32_t TLocalLanguages::GetInteger(int id, int32_t def) const
{
    int64_t value = 0;
    if (!TIniFile::ParseInteger(GetString(id, -1, true), value) || value < INT32_MIN || value > INT32_MAX)
        return def;
    return static_cast<int32_t>(value);
}

void TLocalLanguages::SetCurrentLanguage(int32_t index)
{
    if (index >= 0 && index < MaxLanguages)
        current_ = index;
}
