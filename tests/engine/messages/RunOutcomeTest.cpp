#include "engine/messages/RunOutcome.h"

#include "common/TempFolder.h"
#include "platform/ErrorCodes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// One report as the job sends it: its type and the fields the outcome reads.
struct TReport {
    uint8_t type = 0;
    int32_t code = 0;  // job end code, or download error code
    std::string text;  // start page, or write error text
    bool indexSaved = true;
};

TReport JobEnded(int32_t code, const std::string& startPage) { return {OUTMSG_JOB_ENDED, code, startPage}; }
TReport DownloadEnded(uint32_t error) { return {OUTMSG_DOWNLOAD_ENDED, static_cast<int32_t>(error), ""}; }
TReport WriteFailed(const std::string& error) { return {OUTMSG_WRITE_ENDED, 0, error}; }

int StatusOf(const std::vector<TReport>& reports)
{
    TRunOutcome outcome;
    for (const TReport& r : reports) {
        TSpiderOutputMsg m;
        m.FMsgType = r.type;
        m.FResultCode = r.code;
        m.FStartPageFile = r.text;
        m.FIndexSaved = r.indexSaved;
        m.FDownload.FResults.FResult = DL_RESULT_FINISHED;
        m.FDownload.FResults.FErrorCodeValid = r.code != 0;
        m.FDownload.FResults.FErrorCode = r.code;
        m.FReadWrite.FStatus = RW_STATUS_ERROR;
        m.FReadWrite.FErrorText = r.text;
        outcome.Note(m);
    }
    return outcome.ExitStatus();
}

TEST(RunOutcomeTest, OnlyACompletedJobWithItsStartPageOnDiskIsACopy)
{
    TTempFolder tmp;
    const std::string start = tmp / "index.html";
    WriteTextFile(start, "<html>");
    const std::string fullDisk = "WriteFile " + tmp / ".gltmp.x: " + SystemErrorMessage(errc::DiskFull);
    struct TCase {
        const char* name;
        std::vector<TReport> reports;
        int status;
    };
    const std::vector<TCase> cases = {
        {"copied, a file refused on the way", {DownloadEnded(errc::FileNotFound), JobEnded(JOB_END_COMPLETED, start)},
         RUN_COPIED},
        {"error", {JobEnded(JOB_END_ERROR, "")}, RUN_ERROR},
        {"cancelled", {DownloadEnded(errc::DiskFull), JobEnded(JOB_END_CANCELLED, start)}, RUN_CANCELLED},
        {"stopped", {JobEnded(JOB_END_STOPPED, start)}, RUN_STOPPED},
        {"a download on a full disk", {DownloadEnded(errc::DiskFull), JobEnded(JOB_END_COMPLETED, start)},
         RUN_DISK_FULL},
        {"a rewrite on a full disk", {WriteFailed(fullDisk), JobEnded(JOB_END_COMPLETED, "")},
         RUN_DISK_FULL},
        {"a rewrite failing otherwise", {WriteFailed("MoveFile x"), JobEnded(JOB_END_COMPLETED, start)},
         RUN_COPIED},
        {"no start page named", {DownloadEnded(errc::InternetCannotConnect), JobEnded(JOB_END_COMPLETED, "")},
         RUN_NO_START_PAGE},
        {"the start page gone since", {JobEnded(JOB_END_COMPLETED, tmp / "gone.html")}, RUN_NO_START_PAGE},
        {"the start page is a folder", {JobEnded(JOB_END_COMPLETED, tmp.Path())}, RUN_NO_START_PAGE},
        {"no end", {DownloadEnded(0)}, RUN_NO_START_PAGE},
        {"the index not written", {{OUTMSG_JOB_ENDED, JOB_END_COMPLETED, start, false}}, RUN_INDEX_NOT_SAVED},
        {"the index not written, disk full", {DownloadEnded(errc::DiskFull), {OUTMSG_JOB_ENDED, JOB_END_COMPLETED, start, false}},
         RUN_DISK_FULL},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(StatusOf(c.reports), c.status);
    }
}

}  // namespace
