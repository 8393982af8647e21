// Runs one job file as gleanery-crawl does, but hands every report to the Progress and Log pages
// on screen (offscreen platform) the way the program does: announced to the output splitter as
// events of the running event loop. Prints the wall time; compare with gleanery-crawl on the same
// job to see what the pages cost.
//
//   progress_crawl_run JOBFILE
#include "engine/crawl/DownloadThreadDispacher.h"
#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/services/LanguageStrings.h"
#include "engine/parse/LinkParser.h"
#include "engine/job/PasswordMgr.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/crawl/SpiderThread.h"
#include "engine/crawl/EngineServices.h"
#include "platform/InternetLibrary.h"
#include "platform/Thread.h"
#include "ui/progress/CopyProgress.h"
#include "ui/log/JobLog.h"
#include "ui/main/SpiderOutputSplitter.h"

#include <QApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: progress_crawl_run JOBFILE\n");
        return 64;
    }
    LimitMemoryArenas();  // as the program does
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QTemporaryDir dataFolder;
    TLocalLanguages languages;
    TPasswordManager passwords;
    TSpiderInputMessageQueue input;
    TSpiderOutputMessageQueue output;
    TEngineServices engine;

    TSpiderInputMsg start;
    start.FMsgType = INMSG_START_JOB;
    start.FJobID = 1;
    if (!start.FJob.ReadJobFile(argv[1])) {
        std::fprintf(stderr, "progress_crawl_run: cannot read %s\n", argv[1]);
        return 66;
    }
    TCopyProgressFrame progress;
    progress.resize(800, 600);
    progress.show();
    TJobLogFrame log;
    log.Initialize(nullptr, (dataFolder.path() + "/JobLog.csv").toStdString());

    int32_t endCode = 0;
    TSpiderOutputSplitterForm splitter;
    splitter.RegisterForSpiderOutput(kProgressOutputMask, [&progress](const TSpiderOutputMsg& msg, int32_t label) {
        progress.OnSpiderOutput(msg, label);
    });
    splitter.RegisterForSpiderOutput(kJobLogOutputMask, [&log](const TSpiderOutputMsg& msg, int32_t label) {
        log.OnSpiderOutput(msg, label);
    });
    splitter.RegisterForSpiderOutput(1u << OUTMSG_JOB_ENDED, [&endCode](const TSpiderOutputMsg& msg, int32_t) {
        endCode = msg.FResultCode;
        QCoreApplication::quit();
    });
    splitter.SetAsOutputDestination();
    TSpiderThread crawler;
    output.SetTerminatingCheck([&crawler] { return crawler.Terminated(); });
    const auto began = std::chrono::steady_clock::now();
    input.PushMessage(start);
    crawler.Resume();
    QApplication::exec();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("job ended with code %d after %.2f s; %d completed rows\n", endCode, seconds,
                progress.CompletedFiles().Count());
    crawler.Terminate();
    crawler.WaitFor();
    splitter.Close();
    return endCode == JOB_END_COMPLETED ? 0 : endCode;
}
