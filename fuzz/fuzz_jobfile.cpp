// Job-file reader: any bytes must read without crashing, and a job that was read must write a
// file that reads back to the same job.
#include "engine/job/JobTypes.h"
#include "platform/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string Text(const TCopyJob& job)
{
    TIniFile ini;
    job.WriteToIni(ini);
    return ini.ToText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TIniFile ini;
    ini.Parse(std::string(reinterpret_cast<const char*>(data), size));
    TCopyJob job;
    if (!job.ReadFromIni(ini))
        return 0;
    const std::string written = Text(job);
    TIniFile again;
    again.Parse(written);
    TCopyJob back;
    if (!back.ReadFromIni(again) || Text(back) != written)
        std::abort();
    return 0;
}
