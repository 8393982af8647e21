// The cost of the Progress and Log pages for a job's reports: a whole job of N files replayed
// into both listeners, with the window on screen (offscreen platform) and painting between
// batches as the event loop would.
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "ui/progress/CopyProgress.h"
#include "ui/log/JobLog.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

void Replay(TCopyProgressFrame& progress, TJobLogFrame& log, int files)
{
    TSpiderOutputMsg msg;
    auto send = [&] {
        progress.OnSpiderOutput(msg, 1);
        if (msg.FMsgType == OUTMSG_JOB_STARTED || msg.FMsgType == OUTMSG_JOB_ENDED ||
            msg.FMsgType == OUTMSG_DOWNLOAD_ENDED || msg.FMsgType == OUTMSG_READ_ENDED)
            log.OnSpiderOutput(msg, 1);
    };
    msg.FMsgType = OUTMSG_JOB_STARTED;
    msg.FJobID = 1;
    msg.FJob.JobName = "Bench";
    msg.FJob.RewriteLinks = true;
    send();
    for (int i = 0; i < files; ++i) {
        const std::string path = "section" + std::to_string(i % 50) + "/page" + std::to_string(i) + ".html";
        msg.FMsgType = OUTMSG_LINK_FOUND;
        msg.FLinkInfo.FNewAddress = true;
        send();
        msg.FMsgType = OUTMSG_DOWNLOAD_STARTED;
        msg.FDownload.FDownloadNumber = i + 1;
        msg.FDownload.FURL.SetFullURL("http://127.0.0.1:8080/" + path);
        msg.FDownload.FReferrer.SetFullURL("http://127.0.0.1:8080/");
        msg.FDownload.FLocalFile = "/nonexistent/bench/" + path;
        send();
        msg.FMsgType = OUTMSG_DOWNLOAD_PROGRESS;
        msg.FDownload.FProgress.FExpectedSize = 6000;
        msg.FDownload.FProgress.FBytesReceived = 3000;
        msg.FDownload.FProgress.FElapsedMs = 10;
        msg.FDownload.FProgress.FMimeType = "text/html";
        send();
        msg.FMsgType = OUTMSG_DOWNLOAD_ENDED;
        msg.FDownload.FResults.FResult = DL_RESULT_FINISHED;
        msg.FDownload.FResults.FStatusCode = 200;
        msg.FDownload.FResults.FStatusText = "OK";
        msg.FDownload.FResults.FFileWritten = 1;
        send();
        if (i % 3 == 0) {
            msg.FMsgType = OUTMSG_READ_STARTED;
            msg.FReadWrite.FNumber = i;
            msg.FReadWrite.FURL.Assign(msg.FDownload.FURL);
            msg.FReadWrite.FLocalFile = msg.FDownload.FLocalFile;
            send();
            msg.FMsgType = OUTMSG_READ_ENDED;
            msg.FReadWrite.FStatus = RW_STATUS_FINISHED;
            msg.FReadWrite.FPageTitle = "Page " + std::to_string(i);
            send();
        }
        if (i % 200 == 0)
            QCoreApplication::processEvents();
    }
    msg.FMsgType = OUTMSG_JOB_ENDED;
    msg.FResultCode = JOB_END_COMPLETED;
    send();
    QCoreApplication::processEvents();
}

void BM_ProgressPagesJob(benchmark::State& state)
{
    QTemporaryDir folder;
    TCopyProgressFrame progress;
    TJobLogFrame log;
    log.Initialize(nullptr, (folder.path() + "/JobLog.csv").toStdString());
    progress.resize(800, 600);
    progress.show();
    for (auto _ : state)
        Replay(progress, log, static_cast<int>(state.range(0)));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ProgressPagesJob)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
