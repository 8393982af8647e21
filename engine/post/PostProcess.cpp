#include "engine/post/PostProcess.h"

#include "engine/services/AppTraceLog.h"
#include "engine/post/FileFindReplace.h"
#include "engine/job/JobControl.h"
#include "engine/job/JobTypes.h"
#include "engine/parse/LinkParser.h"
#include "engine/job/SpiderDestObject.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/TextUtils.h"

#include <exception>

namespace {

void Post(TSpiderOutputMsg& msg, uint8_t type)
{
    msg.FMsgType = type;
    if (auto* queue = TSpiderOutputMessageQueue::Instance())
        queue->TryToPostMessage(msg);
}

// The folder with exactly one trailing "/", as local file names are built under it.
std::string WithSlash(std::string path)
{
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path + "/";
}

}  // namespace

void PostProcessFile(const TSpiderDestObject& dest, const TCopyJob& job, TSpiderOutputMsg& msg)
{
    if (dest.FLocalSource || dest.FParseKind == PARSE_KIND_CSS || !dest.FParseNeeded)
        return;
    const TCopyJobDownloadOptions& options = job.DownloadOptions;
    const bool tasks = options.FindReplaceTasks.Count > 0;
    const bool header = !options.CustomHTMLHeader.empty();
    const bool footer = !options.CustomHTMLFooter.empty();
    if (!tasks && !header && !footer)
        return;
    const std::string& file = dest.FFileName;
    // A page removed after it was read (ROBOTS NOINDEX) has nothing to edit.
    if (!SafeFileExists(file))
        return;
    PostStarted(msg, OUTMSG_WRITE_STARTED, RW_KIND_POSTPROCESS, file, nullptr);

    // Each edit replaces the file only when it succeeds (keeping its time, the server's); a failed
    // one leaves it as it was.
    bool failed = false;
    std::string error;
    auto apply = [&](bool ok) { failed = failed || !ok; };
    if (tasks)
        apply(FindReplaceInFile(file, options.FindReplaceTasks, &error));
    if (header)
        apply(InsertTextIntoFile(file, itTop, options.CustomHTMLHeader, 0, failed ? nullptr : &error));
    if (footer)
        apply(InsertTextIntoFile(file, itEnd, options.CustomHTMLFooter, 0, failed ? nullptr : &error));

    msg.FReadWrite.FStatus = failed ? RW_STATUS_ERROR : RW_STATUS_FINISHED;
    msg.FReadWrite.FErrorText = failed ? error : std::string();
    Post(msg, OUTMSG_WRITE_ENDED);
}

void GetDestSubfoldersWithJobFiles(TJobControl& control, const std::string& destinationPath,
                                   const TSpiderDestObjectList& destList, TFolderList& folders)
{
    folders.clear();
    const std::string root = WithSlash(destinationPath);
    for (int32_t i = 0; i < destList.Count(); ++i) {
        control.CheckStopRequests();
        if (control.CancelRequested()) {
            LogEvent(etWarning, "Aborted", "GetDestSubfoldersWithJobFiles", "SpiderThread");
            return;
        }
        const TSpiderDestObject* dest = destList.Get(i);
        // Only files this job wrote mark a folder as the job's.
        if (dest == nullptr || dest->FLocalSource)
            continue;
        const std::string& name = dest->FFileName;
        if (name.size() <= root.size() || !SameTextIgnoringCase(name.substr(0, root.size()), root))
            continue;
        size_t slash = name.find('/', root.size());
        if (slash != std::string::npos && slash > root.size())
            folders.insert(root + name.substr(root.size(), slash + 1 - root.size()));
    }
}

void PostProcessFolders(TJobControl& control, int32_t jobID, const TCopyJob& job,
                        const TSpiderDestObjectList& destList, TSpiderOutputMsg& msg)
{
    if (!job.FlattenDestinationFolders && !job.PruneFolders)
        return;
    const std::string root = WithSlash(job.GetDestinationPath());
    TFolderList folders;
    if (!control.CancelRequested())
        GetDestSubfoldersWithJobFiles(control, root, destList, folders);

    msg.FJobID = jobID;
    TFolderSteps steps;
    steps.Control = &control;
    steps.FileMovedUp = [&msg](const std::string& from, const std::string& to) {
        msg.FFlattening.FOldPath = from;
        msg.FFlattening.FNewPath = to;
        Post(msg, OUTMSG_FILE_MOVED_UP);
    };
    steps.PruningFolder = [&msg](const std::string& folder) {
        msg.FFolder = folder;
        Post(msg, OUTMSG_PRUNING_FOLDER);
    };

    if (job.FlattenDestinationFolders && !control.CancelRequested()) {
        Post(msg, OUTMSG_FLATTEN_STARTED);
        try {
            FlattenChildFolders(steps, root, &folders, msg.FStartPageFile);
        } catch (...) {
            Post(msg, OUTMSG_FLATTEN_ENDED);
            throw;
        }
        Post(msg, OUTMSG_FLATTEN_ENDED);
    }
    if (job.PruneFolders && !control.CancelRequested()) {
        Post(msg, OUTMSG_PRUNE_STARTED);
        try {
            PruneEmptyChildFolders(steps, root, &folders, false);
        } catch (...) {
            Post(msg, OUTMSG_PRUNE_ENDED);
            throw;
        }
        Post(msg, OUTMSG_PRUNE_ENDED);
    }
}
