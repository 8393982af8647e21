#pragma once
// Shared helpers of the job tests: file text, and the sample job that the
// pinned file data/job/sample.GCJ holds.
#include "common/TempFolder.h"
#include "engine/job/JobTypes.h"
#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

inline std::string FileText(const std::string& path)
{
    std::string data;
    EXPECT_TRUE(ReadWholeFile(path, data)) << path;
    return data;
}

// A file of tests/data (the build names the folder).
inline std::string TestDataText(const std::string& name)
{
    return FileText((std::filesystem::path(GLEANERY_TEST_DATA) / name).string());
}

inline unsigned FileMode(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 0777;
}

// The job as its job file would hold it.
inline std::string Text(const TCopyJob& job)
{
    TIniFile ini;
    job.WriteToIni(ini);
    return ini.ToText();
}

inline TCopyJob SampleJob()
{
    TCopyJob job;
    job.Clear();
    job.JobName = "Site copy";
    job.StartingWebAddress.SetFullURL("http://www.example.com:8080/dir/page.html?id=1#top");
    job.StartingWebAddress.SetUserAndPassword("user", "p@ss:/#");
    job.SetDestinationFolder("/home/u/Sites/");
    job.FlattenDestinationFolders = job.KeepRewriteInputFiles = job.HonorRobotNoFollowTags = true;
    job.DownloadHTTPS = true;
    job.RestrictLocation = 2;
    job.MaxDistance = -1;
    job.AddressStrings = "shop, cart";
    job.AddressStringsPurpose = lpNotThese;
    job.MaxFileCount = 500;
    job.MaxFileSize = 1048576;
    job.MaxJobDownloadSize = 2000000000;
    job.Extensions = ".gif, .jpg";
    job.ExtensionsPurpose = lpOnlyThese;
    job.Hosts = "ads.example.com";
    job.HostsPurpose = lpNotThese;
    job.StartingReferrer = "http://ref.example.org/";
    job.PauseBetweenDownloads = 2;
    job.MaxSecondsForAllDownloads = 3600;
    TCopyJobDownloadOptions& o = job.DownloadOptions;
    o.HTTPAgentName = " Agent/1.0 ";
    o.HTTPHeaders = "X-A: 1\r\n\r\nX-B: 2\r\n";
    o.Timeout = 30000;
    o.CustomHTMLHeader = "<div>\r\n\r\nhello\r\n</div>";
    o.FindReplaceTasks.Tasks[0] = {"foo", "bar", rfReplaceAll | rfIgnoreCase, true};
    o.FindReplaceTasks.Count = 1;
    o.Cookies.Cookies[0] = {"http://www.example.com/", "sid", "abc=def"};
    o.Cookies.Count = 1;
    return job;
}
