// Adds N addresses to the job queue at once, as a dropped text file of addresses or the address
// range generator's Create Jobs does, with the main window on screen (offscreen platform), and
// prints the wall time. Every tenth line is not an address when --invalid is given.
//
//   queue_intake_run [N] [--invalid]
#include "engine/services/LanguageStrings.h"
#include "engine/services/SavedOptions.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "ui/queue/JobQueue.h"
#include "ui/main/Main.h"
#include "ui/common/MessageBoxes.h"
#include "ui/start/Start.h"
#include "ui/start/StartingAddress.h"
#include "ui/common/UISettings.h"

#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    bool invalid = argc > 2 && std::strcmp(argv[2], "--invalid") == 0;
    QTemporaryDir home;
    ::setenv("HOME", home.path().toUtf8().constData(), 1);
    ::setenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8().constData(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    TLocalLanguages languages;
    TSavedOptions options;
    options.SetINIFolder(GetDataFolder());
    TSpiderInputMessageQueue input;
    TSpiderOutputMessageQueue output;
    int boxes = 0;
    SetMessageBoxHandler([&boxes](const TBoxRequest&) {
        ++boxes;
        return false;
    });
    WriteSettingBool("Automation", "ShowJobQueue", true);
    WriteSettingBool("Automation", "StartJobsAutomatically", false);

    TMainForm form;
    InitAfterFormsCreated(form, nullptr);
    const QString destination = home.path() + "/out";
    QDir().mkpath(destination);
    form.StartPage()->StartingAddressPage()->DestinationFolderHistory()->setEditText(destination);
    form.show();
    form.MoveFocusToPage(pgJobQueue);
    QCoreApplication::processEvents();

    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back(invalid && i % 10 == 9 ? "not an address " + std::to_string(i)
                                               : "http://127.0.0.1:9/page" + std::to_string(i) + "/");
    const auto began = std::chrono::steady_clock::now();
    form.OpenURLList(lines, 2);
    QCoreApplication::processEvents();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count();
    std::printf("%d lines: %d jobs queued, %d boxes, %lld ms\n", count, form.JobQueue()->JobCount(), boxes,
                static_cast<long long>(ms));
    return 0;
}
