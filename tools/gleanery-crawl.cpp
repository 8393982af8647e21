// Runs one job file without a window: creates the engine's services as the program does (with
// the stored site passwords of the data folder's password file), sends one start command,
// prints one line per report and exits with a status that tells a copy from a failure (see
// kUsage).
//
//   gleanery-crawl [--data-folder DIR] [--http-proxy HOST:PORT] [--event-log FILE] JOBFILE
#include "engine/services/AppInfo.h"
#include "engine/services/AppTraceLog.h"
#include "engine/crawl/EngineServices.h"
#include "engine/services/LanguageStrings.h"
#include "engine/job/PasswordFile.h"
#include "engine/job/PasswordMgr.h"
#include "engine/services/SavedOptions.h"
#include "engine/messages/RunOutcome.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/messages/SpiderOutputSink.h"
#include "engine/crawl/SpiderThread.h"
#include "platform/Thread.h"
#include "engine/services/ThreadSafeFileOps.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kUsageError = 64;
constexpr int kJobFileError = 66;
constexpr int32_t kJobID = 1;

const char* const kUsage =
    "usage: gleanery-crawl [--data-folder DIR] [--http-proxy HOST:PORT] [--event-log FILE] JOBFILE\n"
    "  --event-log FILE  write the event log (CSV) to FILE: what was passed over, refused or failed\n"
    "exit status:\n"
    "  0   the job completed, or ended by its own limits, and its start page is in the copy\n"
    "  3   the job was stopped before its end\n"
    "  4   the job was cancelled\n"
    "  5   the job ended in error\n"
    "  6   a file could not be written: the disk is full\n"
    "  7   the start page is not in the copy (its address never answered, was refused or not written)\n"
    "  8   the index of the copy could not be written: the next run cannot tell what the copy holds\n"
    "  64  wrong arguments, or the data folder or the event log cannot be made\n"
    "  66  the job file cannot be read\n";

struct TArguments {
    std::string dataFolder;
    std::string proxy;
    std::string eventLog;
    std::string jobFile;
};

bool ParseArguments(int argc, char** argv, TArguments& out)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string* value = arg == "--data-folder" ? &out.dataFolder
                             : arg == "--http-proxy"  ? &out.proxy
                             : arg == "--event-log"   ? &out.eventLog
                                                      : nullptr;
        if (value && i + 1 < argc)
            *value = argv[++i];
        else if (!arg.empty() && arg[0] != '-' && out.jobFile.empty())
            out.jobFile = arg;
        else
            return false;
    }
    return !out.jobFile.empty();
}

bool ParseProxy(const std::string& text, TProxyServerInfo& proxy)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    char* end = nullptr;
    const long port = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || port < 1 || port > 65535)
        return false;
    proxy.UseProxyServer = true;
    proxy.Address = text.substr(0, colon);
    proxy.Port = static_cast<int32_t>(port);
    return true;
}

std::string Address(const TURL& url)
{
    return url.IsValid() ? url.GetURLWithoutUserInfo() : std::string("-");
}

// One line per report: its type, its name and the fields that matter for it.
void PrintReport(const TSpiderOutputMsg& m)
{
    const TFileDownloadMsg& d = m.FDownload;
    const TFileDownloadResults& r = d.FResults;
    const TFileReadWriteMsg& rw = m.FReadWrite;
    switch (m.FMsgType) {
    case OUTMSG_JOB_STARTED:
        std::printf("1 job-started job=%d\n", m.FJobID);
        break;
    case OUTMSG_JOB_PAUSED:
        std::printf("2 job-paused job=%d\n", m.FJobID);
        break;
    case OUTMSG_JOB_RESUMED:
        std::printf("3 job-resumed job=%d\n", m.FJobID);
        break;
    case OUTMSG_JOB_ENDED:
        std::printf("4 job-ended job=%d code=%d start=%s\n", m.FJobID, m.FResultCode, m.FStartPageFile.c_str());
        break;
    case OUTMSG_DOWNLOAD_STARTED:
        std::printf("5 download-started n=%d url=%s referrer=%s\n", d.FDownloadNumber, Address(d.FURL).c_str(),
                    Address(d.FReferrer).c_str());
        break;
    case OUTMSG_DOWNLOAD_PROGRESS:
        std::printf("6 download-progress n=%d bytes=%lld expected=%lld\n", d.FDownloadNumber,
                    static_cast<long long>(d.FProgress.FBytesReceived),
                    static_cast<long long>(d.FProgress.FExpectedSize));
        break;
    case OUTMSG_DOWNLOAD_ENDED:
        std::printf("7 download-ended n=%d result=%d status=%d filter=%d written=%d error=%d bytes=%lld "
                    "redirect=%s added=%d url=%s file=%s%s%s\n",
                    d.FDownloadNumber, r.FResult, r.FStatusCode, r.FFilterCode, r.FFileWritten,
                    r.FErrorCodeValid ? r.FErrorCode : 0, static_cast<long long>(d.FProgress.FBytesReceived),
                    Address(r.FRedirectURL).c_str(), r.FRedirectAdded, Address(d.FURL).c_str(),
                    d.FLocalFile.empty() ? "-" : d.FLocalFile.c_str(), r.FResult == 5 ? " exception=" : "",
                    r.FResult == 5 ? r.FExceptionText.c_str() : "");
        break;
    case OUTMSG_READ_STARTED:
        std::printf("9 read-started n=%d file=%s\n", rw.FNumber, rw.FLocalFile.c_str());
        break;
    case OUTMSG_READ_PROGRESS:
        std::printf("10 read-progress percent=%d\n", rw.FPercent);
        break;
    case OUTMSG_LINK_FOUND:
        // By far the most frequent line: written without a format to read.
        std::fputs(m.FLinkInfo.FNewAddress ? "11 link-found new=1 value=" : "11 link-found new=0 value=", stdout);
        std::fputs(m.FLinkInfo.FValue.c_str(), stdout);
        std::fputc('\n', stdout);
        break;
    case OUTMSG_READ_ENDED:
        std::printf("12 read-ended status=%d links=%d%s%s\n", rw.FStatus, rw.FLinkCount,
                    rw.FStatus == 5 ? " error=" : "", rw.FStatus == 5 ? rw.FErrorText.c_str() : "");
        break;
    case OUTMSG_WRITE_STARTED:
        std::printf("13 write-started n=%d kind=%d file=%s\n", rw.FNumber, rw.FKind, rw.FLocalFile.c_str());
        break;
    case OUTMSG_WRITE_PROGRESS:
        std::printf("14 write-progress percent=%d\n", rw.FPercent);
        break;
    case OUTMSG_WRITE_ENDED:
        std::printf("16 write-ended status=%d%s%s\n", rw.FStatus, rw.FStatus == 5 ? " error=" : "",
                    rw.FStatus == 5 ? rw.FErrorText.c_str() : "");
        break;
    case OUTMSG_PRUNE_STARTED:
        std::printf("17 prune-started\n");
        break;
    case OUTMSG_PRUNING_FOLDER:
        std::printf("18 pruning-folder folder=%s\n", m.FFolder.c_str());
        break;
    case OUTMSG_PRUNE_ENDED:
        std::printf("19 prune-ended\n");
        break;
    case OUTMSG_FLATTEN_STARTED:
        std::printf("20 flatten-started\n");
        break;
    case OUTMSG_FILE_MOVED_UP:
        std::printf("21 file-moved-up from=%s to=%s\n", m.FFlattening.FOldPath.c_str(),
                    m.FFlattening.FNewPath.c_str());
        break;
    case OUTMSG_FLATTEN_ENDED:
        std::printf("22 flatten-ended\n");
        break;
    default:
        std::printf("%d unknown\n", m.FMsgType);
        break;
    }
}

// Takes reports out of the queue until the job has ended, noting each in outcome. Reports are
// taken in batches: a consumer woken for every single report would cost the crawl thread a
// wake-up per report, and one lock per batch keeps it from contending with the sender.
void DrainReports(THeadlessOutputSink& sink, TSpiderOutputMessageQueue& output, TRunOutcome& outcome)
{
    constexpr size_t kBatch = TSpiderOutputMessageQueue::Capacity / 4;
    std::vector<int32_t> labels;
    std::vector<TSpiderOutputMsg> messages(TSpiderOutputMessageQueue::Capacity);
    for (;;) {
        labels.clear();
        if (!sink.WaitForLabels(labels, kBatch, std::chrono::microseconds(500), std::chrono::milliseconds(1000)))
            continue;
        for (size_t first = 0; first < labels.size(); first += messages.size()) {
            const int32_t count = static_cast<int32_t>(std::min(messages.size(), labels.size() - first));
            const int32_t taken = output.RetrieveMessages(labels.data() + first, count, messages.data());
            for (int32_t i = 0; i < taken; ++i) {
                PrintReport(messages[i]);
                outcome.Note(messages[i]);
                if (messages[i].FMsgType == OUTMSG_JOB_ENDED)
                    return;
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    LimitMemoryArenas();
    TArguments arguments;
    TSpiderInputMsg start;
    start.FMsgType = INMSG_START_JOB;
    start.FJobID = kJobID;
    start.FHTTPProxy.UseProxyServer = false;
    start.FFTPProxy.UseProxyServer = false;
    if (!ParseArguments(argc, argv, arguments) ||
        (!arguments.proxy.empty() && !ParseProxy(arguments.proxy, start.FHTTPProxy))) {
        std::fprintf(stderr, "%s", kUsage);
        return kUsageError;
    }
    std::string dataFolder = arguments.dataFolder;
    if (!dataFolder.empty()) {
        if (dataFolder.back() != '/')
            dataFolder += '/';
        if (!SafeForceDirectories(dataFolder)) {
            std::fprintf(stderr, "gleanery-crawl: cannot create %s\n", dataFolder.c_str());
            return kUsageError;
        }
    } else {
        dataFolder = GetDataFolder();
    }

    // The services, in the program's order; destroyed in reverse when main() returns.
    TLocalLanguages languages;
    TAppInfo appInfo;
    TApplicationTraceLog traceLog(arguments.eventLog);
    if (!arguments.eventLog.empty() && !traceLog.FileOpen()) {
        std::fprintf(stderr, "gleanery-crawl: cannot create the event log %s\n", arguments.eventLog.c_str());
        return kUsageError;
    }
    TSpiderInputMessageQueue input;
    TSpiderOutputMessageQueue output;
    TPasswordManager passwordManager;
    TEngineServices engine;
    // The stored site passwords, as the program's password page loads them.
    const std::string passwordFile = dataFolder + kPasswordFileName;
    if (!LoadPasswordFileIntoStore(passwordFile, passwordManager))
        std::fprintf(stderr, "gleanery-crawl: the password file %s was not read whole\n", passwordFile.c_str());

    if (!start.FJob.ReadJobFile(arguments.jobFile)) {
        std::fprintf(stderr, "gleanery-crawl: cannot read the job file %s\n", arguments.jobFile.c_str());
        return kJobFileError;
    }
    THeadlessOutputSink sink;
    output.SetDestinationWindow(&sink);
    TSpiderThread crawler;
    output.SetTerminatingCheck([&crawler] { return crawler.Terminated(); });
    input.PushMessage(start);
    crawler.Resume();

    TRunOutcome outcome;
    DrainReports(sink, output, outcome);
    std::fflush(stdout);
    crawler.Terminate();
    crawler.WaitFor();
    sink.Close();
    output.SetDestinationWindow(nullptr);
    return outcome.ExitStatus();
}
