#pragma once
// An event log written to a fresh temporary folder, so tests can read what was logged.
#include "engine/services/AppTraceLog.h"
#include "platform/IniFile.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

class TTestLog {
public:
    TTestLog()
    {
        char pattern[] = "/tmp/gleanery-log-XXXXXX";
        folder_ = ::mkdtemp(pattern);
        log_ = std::make_unique<TApplicationTraceLog>(std::vector<std::string>{"/eventlog"}, false, folder_ + "/");
    }
    ~TTestLog()
    {
        log_.reset();
        std::filesystem::remove_all(folder_);
    }
    size_t CountOf(const std::string& s) const
    {
        std::string text;
        ReadWholeFile(log_->FilePath(), text);
        size_t n = 0;
        for (size_t at = text.find(s); at != std::string::npos; at = text.find(s, at + 1))
            ++n;
        return n;
    }
    bool Contains(const std::string& s) const { return CountOf(s) > 0; }

private:
    std::string folder_;
    std::unique_ptr<TApplicationTraceLog> log_;
};
