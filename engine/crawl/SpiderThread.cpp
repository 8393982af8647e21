#include "engine/crawl/SpiderThread.h"

#include "engine/services/AppTraceLog.h"
#include "engine/crawl/DownloadThreadDispacher.h"
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/job/LocalNames.h"
#include "engine/job/SpiderDestObject.h"
#include "engine/services/FileStatusCache.h"
#include "engine/messages/SpiderInputMsg.h"
#include "engine/job/SpiderObject.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "engine/messages/SpiderOutputMsgQueue.h"

#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/parse/LinkParser.h"
#include "engine/parse/ParseAhead.h"
#include "engine/post/PostProcess.h"
#include "engine/parse/RewriteAhead.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "engine/services/WorkingFiles.h"
#include "platform/InternetLibrary.h"

#include <algorithm>
#include <exception>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char* const kUnit = "SpiderThread";
constexpr int64_t kCommandPollMs = 100;

// Pages from the network never make the crawl read or write outside the job's folder, by name
// or through a symbolic link planted in it. Both sides are compared in their normal forms.
bool IsInsideDestination(const std::string& fileName, const TCopyJob& job)
{
    std::string folder = NormalFolderPath(job.GetDestinationPath(), {});
    const std::string name = NormalFolderPath(fileName, {});
    if (folder.empty() || name.empty())
        return false;
    if (folder.back() != '/')
        folder += '/';
    return name.size() > folder.size() && name.compare(0, folder.size(), folder) == 0 &&
           !LinkBelowFolderCached(FileStatusOfJob(), folder, name);
}

// The start page named by a file address: read where it is, the one file outside the destination
// the crawl reads. It is never written, rewritten, post-processed or moved.
bool IsLocalStartPage(const TSpiderObject& object)
{
    return object.FDepth == -1 && object.FURL.GetScheme() == usFile;
}

std::string CurrentFolder()
{
    std::vector<char> buffer(4096);
    return ::getcwd(buffer.data(), buffer.size()) ? std::string(buffer.data()) : std::string();
}

// Helper threads that read pages ahead, and later prepare rewritten ones.
int32_t HelperCount()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int32_t>(std::clamp<unsigned>(cores > 1 ? cores - 1 : 1, 1, 4));
}

std::string NoURLFor(const TSpiderDestObject& dest)
{
    return "No URL for " + std::to_string(dest.FID) + " " + dest.FFileName;
}

}  // namespace

TSpiderThread::TSpiderThread() = default;

TSpiderThread::~TSpiderThread()
{
    TerminateAndJoin();
}

void TSpiderThread::Execute()
{
    TSpiderInputMsg message;
    while (!Terminated()) {
        try {
            TSpiderInputMessageQueue* input = TSpiderInputMessageQueue::Instance();
            if (!input || !input->PopMessage(message)) {
                WaitForTermination(kCommandPollMs);
                continue;
            }
            if (message.FMsgType == INMSG_START_JOB)
                RunJob(message.FJobID, message.FJob, message.FHTTPProxy, message.FFTPProxy);
            else
                LogEvent(etWarning, "Ignored spider input msg " + std::to_string(message.FMsgType), "Execute",
                         kUnit);
        } catch (const std::exception& e) {
            LogEvent(etException, e.what(), "Execute", kUnit);
        } catch (...) {
            LogEvent(etException, "Unknown exception", "Execute", kUnit);
        }
    }
    FFinished = true;
}

void TSpiderThread::WaitForCommand()
{
    WaitForTermination(kCommandPollMs);
}

void TSpiderThread::CheckStopRequests()
{
    TSpiderInputMessageQueue* input = TSpiderInputMessageQueue::Instance();
    if (!input)
        return;
    if (input->TakeMessage({INMSG_ABORT_JOB}, FJobID, nullptr))
        FCancelRequested = true;
    if (input->TakeMessage({INMSG_STOP_JOB}, FJobID, nullptr))
        FStopRequested = true;
}

void TSpiderThread::CheckPauseRequests()
{
    TSpiderInputMessageQueue* input = TSpiderInputMessageQueue::Instance();
    if (!input)
        return;
    // In the order they were posted: a resume followed by a pause leaves the job paused.
    while (input->TakeMessage({INMSG_PAUSE_JOB, INMSG_RESUME_JOB}, FJobID, &pauseCommand_)) {
        const bool pause = pauseCommand_.FMsgType == INMSG_PAUSE_JOB;
        FPaused = pause;
        PostJobReport(pause ? OUTMSG_JOB_PAUSED : OUTMSG_JOB_RESUMED);
    }
}

void TSpiderThread::PostJobReport(uint8_t type)
{
    pauseReport_.FMsgType = type;
    pauseReport_.FJobID = FJobID;
    TSpiderOutputMessageQueue::Instance()->TryToPostMessage(pauseReport_);
}

void TSpiderThread::SetJobCookies(const TCookies& cookies)
{
    const int32_t count = std::min<int32_t>(cookies.Count, static_cast<int32_t>(cookies.Cookies.size()));
    for (int32_t i = 0; i < count; ++i) {
        const TCookie& cookie = cookies.Cookies[i];
        TInternetLibrary* library = TInternetLibrary::Instance();
        if (library && library->SetCookie(cookie.URL, cookie.Name, cookie.Data))
            continue;
        LogAPIError("InternetSetCookie " + cookie.URL, "SetJobCookies", kUnit);
    }
}

int32_t TSpiderThread::AddSpiderObjectToList(TSpiderObjectList& spiders, const TURL& address, bool& isNew,
                                             const TURL* referrer, int32_t depth)
{
    TSpiderObject* listObject = nullptr;
    bool requeued = false;
    const bool added = spiders.AddAddressIfNotPresent(address, referrer, depth, listObject, requeued);
    isNew = added || requeued;
    return listObject ? listObject->FID : 0;
}

void TSpiderThread::NoteParseCandidate(int32_t destIndex)
{
    localParseCandidates_.erase(destIndex);
    parseCandidates_.insert(destIndex);
    OfferParse(destIndex);
}

TParseTask TSpiderThread::ParseTaskOf(const TSpiderDestObject& dest, const TSpiderObject& owner)
{
    const TLinkParser* parser = TLinkParser::Instance();
    const int32_t removed = dest.FLocalSource && parser ? parser->FilesRemoved() : 0;
    const bool follow = dest.FLocalSource && owner.FURL.IsUserInfoEmpty();
    return {dest.FFileName, owner.FURL.GetURLWithoutUserInfo(), dest.FLocalSource, dest.FParseKind, removed, follow};
}

void TSpiderThread::OfferParse(int32_t destIndex)
{
    if (!parseAhead_ || !jobSpiders_ || !jobDests_)
        return;
    const TSpiderDestObject* dest = jobDests_->Get(destIndex);
    if (!dest || !dest->FParseNeeded || dest->FParsed)
        return;
    const TSpiderObject* owner = jobSpiders_->Get(jobSpiders_->IndexOfDestOwner(dest->FID));
    if (owner && IsInsideDestination(dest->FFileName, FJob))
        parseAhead_->Offer(destIndex, ParseTaskOf(*dest, *owner));
}

void TSpiderThread::EndParsingAhead()
{
    parseAhead_.reset();
    jobSpiders_ = nullptr;
    jobDests_ = nullptr;
}

void TSpiderThread::AddStartingAddress(TSpiderObjectList& spiders, const TCopyJob& job)
{
    bool isNew = false;
    // The job's referrer goes with the starting address only.
    TURL referrer;
    const bool hasReferrer = !job.StartingReferrer.empty() && referrer.SetFullURL(job.StartingReferrer);
    const int32_t id =
        AddSpiderObjectToList(spiders, job.StartingWebAddress, isNew, hasReferrer ? &referrer : nullptr, -1);
    if (id == 0 || !isNew)
        LogEvent(etWarning, "", "AddSpiderObjectToList", kUnit);
}

bool TSpiderThread::MapSpiderObjectToDest(TSpiderObject& object, TSpiderDestObjectList& dests,
                                          TSpiderObjectList& spiders)
{
    std::string name;
    if (IsLocalStartPage(object))
        name = object.FURL.URLToLocalFileName("/", true, false);
    else
        TDownloadFilter::Instance()->MapURLToLocalFile(object.FURL, object.FMimeType, name);
    if (name.empty())
        return false;  // no safe local name: the address gets no destination
    // Where names differing in case are one file, the second address keeps a name of its own.
    if (dests.HasCaseVariant(name) && DestinationFoldsCase())
        name = CaseDistinctLocalName(name);
    TSpiderDestObject candidate;
    candidate.FFileName = name;
    TSpiderDestObject* dest = nullptr;
    const bool added = dests.AddIfNotPresent(candidate, dest);
    const bool owns = spiders.SetDestination(object, *dest, added);
    // A page fetched again at a smaller depth is parsed again by its owner.
    if (dest->FParseNeeded && !dest->FParsed)
        NoteParseCandidate(dests.IndexOfID(dest->FID));
    return owns;
}

bool TSpiderThread::DestinationFoldsCase()
{
    if (destinationFoldsCase_ == 0)
        destinationFoldsCase_ = FolderFoldsCase(FJob.GetDestinationPath()) ? 1 : 2;
    return destinationFoldsCase_ == 1;
}

void TSpiderThread::MapAllSpiderObjectsToDest(TSpiderObjectList& spiders, TSpiderDestObjectList& dests)
{
    for (int32_t i = 0; i < spiders.Count(); ++i) {
        TSpiderObject* object = spiders.Get(i);
        if (object->FDestID == 0)
            MapSpiderObjectToDest(*object, dests, spiders);
    }
}

void TSpiderThread::ClearParseCandidates()
{
    parseCandidates_.clear();
    localParseCandidates_.clear();
    rewriteKeeps_.clear();
}

int32_t TSpiderThread::TakeParseCandidate(bool withLocal)
{
    std::set<int32_t>* from = &parseCandidates_;
    if (withLocal && !localParseCandidates_.empty() &&
        (parseCandidates_.empty() || *localParseCandidates_.begin() < *parseCandidates_.begin()))
        from = &localParseCandidates_;
    if (from->empty())
        return -1;
    const int32_t index = *from->begin();
    from->erase(from->begin());
    return index;
}

void TSpiderThread::ParseFileListItems(TSpiderObjectList& spiders, TSpiderDestObjectList& dests, const TCopyJob& job,
                                       const TDownloadThreadDispacher* downloads)
{
    // The pages are taken lowest index first, as repeated passes from index 0 would take them.
    while (HasPagesToRead()) {
        const bool running = downloads && !downloads->AllThreadsIdle();
        if (running) {
            // A pause is waited out where the running downloads are still looked after.
            CheckPauseRequests();
            CheckStopRequests();
            if (Paused() && !CancelRequested())
                return;
        }
        ::WaitWhilePaused(*this);
        if (CancelRequested()) {
            LogMessage("Cancelled parsing");
            ClearParseCandidates();
            return;
        }
        if (StopRequested())
            return;  // the page being parsed when the stop came has been finished
        const int32_t index = TakeParseCandidate(!running);
        if (index < 0)
            return;  // only pages on disk wait, for the downloads to end
        TSpiderDestObject* dest = dests.Get(index);
        if (!dest || !dest->FParseNeeded || dest->FParsed) {
            if (parseAhead_)
                parseAhead_->Drop(index);
            continue;
        }
        dest->FParsed = true;
        TSpiderObject* owner = spiders.Get(spiders.IndexOfDestOwner(dest->FID));
        if (!owner) {
            LogEvent(etWarning, NoURLFor(*dest), "ParseFileListItems", kUnit);
            continue;
        }
        if (!IsInsideDestination(dest->FFileName, job) && !IsLocalStartPage(*owner)) {
            LogEvent(etWarning, "Not parsed outside the destination: " + dest->FFileName, "ParseFileListItems", kUnit);
            continue;
        }
        TLinkParser* parser = TLinkParser::Instance();
        if (!parser)
            continue;
        const TParseTask task = ParseTaskOf(*dest, *owner);
        TPreparedParse prepared;
        bool ready = parseAhead_ && parseAhead_->Take(index, task, prepared);
        THTMLParser* html = THTMLParser::Instance();
        TCSSParser* css = TCSSParser::Instance();
        if (dest->FLocalSource && running && !ready && html && css) {
            // Not read ahead: read here as a helper would, to learn what the reading depends on.
            prepared = TPreparedParse{};
            PrepareParse(task, *html, *css, prepared);
            ready = prepared.usable;
        }
        // A page on disk read while downloads run holds when every local path it named was a
        // file: downloads add and replace files, each in one step, and remove none (a file
        // removed by reading a page changes the task). Otherwise it is read when no download
        // runs, as the files are then.
        if (dest->FLocalSource && (prepared.failed || prepared.facts.localFilesMissing > 0))
            ready = false;
        if (dest->FLocalSource && !ready && running) {
            dest->FParsed = false;
            localParseCandidates_.insert(index);
            continue;
        }
        std::vector<int32_t> absoluteIds;
        if (ready)
            parser->CommitPreparedParse(*this, prepared, dest->FFileName, dest->FLocalSource,
                                        job.HonorRobotNoIndexTags, job.HonorRobotNoFollowTags, owner->FDepth, spiders,
                                        dest->FParseKind, owner->FURL, owner->FMimeType);
        else
            parser->ParseLinksIntoList(*this, dest->FFileName, dest->FLocalSource, job.HonorRobotNoIndexTags,
                                       job.HonorRobotNoFollowTags, owner->FDepth, dests, spiders, dest->FParseKind,
                                       owner->FURL, owner->FMimeType);
        if (dest->FLocalSource && parser->TakeRewriteKeeps(absoluteIds))
            rewriteKeeps_[index] = std::move(absoluteIds);
        else
            rewriteKeeps_.erase(index);
        if (downloads && (!downloads->AllThreadsIdle() || spiders.HasUndispatchedObjects()))
            return;
    }
}

bool TSpiderThread::RewriteKeepsPage(int32_t destIndex, const TSpiderObjectList& spiders,
                                     const TSpiderDestObjectList& dests, const TCopyJob& job) const
{
    const TSpiderDestObject* dest = dests.Get(destIndex);
    const auto kept = rewriteKeeps_.find(destIndex);
    // A mark asked for now may be missing from the page.
    if (job.AddMarkOfWebOnRewrite || dest == nullptr || !dest->FLocalSource || kept == rewriteKeeps_.end())
        return false;
    std::string name;
    for (int32_t id : kept->second) {
        dests.GetFileName(DestIDOfObject(spiders, id), name);
        if (!name.empty() && IsFileOfJobCopy(name))
            return false;
    }
    return true;
}

void TSpiderThread::RewriteLinksInListItems(TSpiderObjectList& spiders, TSpiderDestObjectList& dests,
                                            const TCopyJob& job)
{
    TSpiderOutputMsg report;
    report.FJobID = 0;
    TLinkParser* parser = TLinkParser::Instance();
    const int32_t count = dests.Count();
    // The pages to rewrite, with their owners, found before helpers start on them; a helper
    // makes a page's task when it takes it.
    std::vector<int32_t> taskDest;
    std::vector<int32_t> taskOf(static_cast<size_t>(count), -1);
    std::vector<int32_t> ownerOf(static_cast<size_t>(count), -1);
    for (int32_t i = 0; i < count && job.RewriteLinks && parser; ++i) {
        const TSpiderDestObject* dest = dests.Get(i);
        if (!dest->FParseNeeded || !IsInsideDestination(dest->FFileName, job))
            continue;
        ownerOf[i] = spiders.IndexOfDestOwner(dest->FID);
        // A page on disk whose rewrite changes nothing is left as it is, unread.
        if (RewriteKeepsPage(i, spiders, dests, job))
            continue;
        if (spiders.Get(ownerOf[i]) != nullptr) {
            taskOf[i] = static_cast<int32_t>(taskDest.size());
            taskDest.push_back(i);
        }
    }
    const auto taskAt = [&](size_t task) {
        const int32_t i = taskDest[task];
        const TSpiderDestObject* dest = dests.Get(i);
        return TRewriteTask{dest->FFileName, spiders.Get(ownerOf[i])->FURL.GetURLWithoutUserInfo(),
                            dest->FLocalSource, dest->FParseKind};
    };
    TRewriteAhead ahead({taskDest.size(), taskAt}, spiders, dests, RewriteOptionsOf(job), HelperCount());
    for (int32_t i = 0; i < count; ++i) {
        ::WaitWhilePaused(*this);
        if (CancelRequested()) {
            LogMessage("Cancelled rewriting");
            return;
        }
        TSpiderDestObject* dest = dests.Get(i);
        if (!IsInsideDestination(dest->FFileName, job))
            continue;
        if (job.RewriteLinks && dest->FParseNeeded) {
            if (taskOf[i] >= 0) {
                TPreparedRewrite prepared = ahead.Take(static_cast<size_t>(taskOf[i]));
                parser->CommitPreparedRewrite(*this, prepared, dest->FFileName, job, spiders.Get(ownerOf[i])->FURL);
            } else if (ownerOf[i] < 0) {
                LogEvent(etWarning, NoURLFor(*dest), "RewriteLinksInListItems", kUnit);
            }
        }
        PostProcessFile(*dest, job, report);
    }
}

bool TSpiderThread::SaveCopyIndex()
{
    try {
        return TDownloadFilter::Instance()->SaveCopyIndex();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "SaveCopyIndex", kUnit);
        return false;
    }
}

void TSpiderThread::RunJob(int32_t jobID, const TCopyJob& job, const TProxyServerInfo& httpProxy,
                           const TProxyServerInfo& ftpProxy)
{
    TSpiderOutputMsg report;
    TDownloadOptions options;
    FJob.Assign(job);
    // However the job arrived, it runs normalised (a flattened copy is never rewritten).
    FJob.Normalize();
    FJobID = jobID;
    report.FJobID = jobID;
    // The destination in its one normal form, for the file names and the checks against them.
    // A folder that cannot be made one ends the job with an error before anything is fetched.
    if (!FJob.NormalizeDestinationFolder(CurrentFolder())) {
        FJobID = 0;
        LogEvent(etWarning, "Unusable destination folder \"" + job.DestinationFolder + "\"", "RunJob", kUnit);
        report.FJob.Assign(FJob);
        report.FMsgType = OUTMSG_JOB_STARTED;
        TSpiderOutputMessageQueue::Instance()->TryToPostMessage(report);
        report.FMsgType = OUTMSG_JOB_ENDED;
        report.FResultCode = JOB_END_ERROR;
        TSpiderOutputMessageQueue::Instance()->TryToPostMessage(report);
        return;
    }
    int32_t endCode = JOB_END_COMPLETED;
    TTemporariesMark temporariesMark;
    struct TIdleAtEnd {
        TSpiderThread& thread;
        ~TIdleAtEnd()
        {
            thread.FJobID = 0;
            TDownloadFilter::Instance()->EndFileStatus();
            thread.ClearParseCandidates();
            thread.EndParsingAhead();
        }
    } idleAtEnd{*this};

    try {
        report.FJob.Assign(FJob);
        report.FMsgType = OUTMSG_JOB_STARTED;
        TSpiderOutputMessageQueue::Instance()->TryToPostMessage(report);
        FStopRequested = false;
        FCancelRequested = false;
        FPaused = false;
        ClearParseCandidates();
        destinationFoldsCase_ = 0;
        if (FJob.DownloadOptions.AllowCookies)
            SetJobCookies(FJob.DownloadOptions.Cookies);
        TDownloadFilter::Instance()->LoadJob(FJob, true, true);
        RemoveLeftTemporaries(TDownloadFilter::Instance()->DestinationPath());
        TDownloadFilter::Instance()->LoadCopyIndex();

        TSpiderObjectList spiders;
        TSpiderDestObjectList dests;
        jobSpiders_ = &spiders;
        jobDests_ = &dests;
        parseAhead_ = std::make_unique<TParseAhead>(HelperCount());
        AddStartingAddress(spiders, FJob);
        TDownloadThreadDispacher& dispatcher = *TDownloadThreadDispacher::Instance();
        dispatcher.ClearStartPageName();
        options.HTTPProxy = httpProxy;
        options.FTPProxy = ftpProxy;
        options.JobOptions.Assign(FJob.DownloadOptions);

        // Pages are read while other downloads run: the dispatcher hands back the thread whenever
        // a page waits and no download needs it, and the reading hands it back after each page
        // while a download runs or an address waits.
        for (;;) {
            dispatcher.ApplyDownloadOptions(options);
            dispatcher.RunDownloads(spiders, dests, FJob, jobID, *this, true);
            ParseFileListItems(spiders, dests, FJob, &dispatcher);
            if (!dispatcher.AllThreadsIdle())
                continue;
            if (StopRequested() || CancelRequested())
                break;
            if (!HasPagesToRead() && !dispatcher.HasUndispatchedObjects(spiders))
                break;
        }
        // Every page has been read: the rewrite's helpers take the cores.
        EndParsingAhead();
        temporariesMark.Begin(TDownloadFilter::Instance()->DestinationPath());
        if (FJob.RewriteLinks)
            MapAllSpiderObjectsToDest(spiders, dests);
        RewriteLinksInListItems(spiders, dests, FJob);
        // Folders are flattened and pruned next: what was known of the files goes.
        TDownloadFilter::Instance()->EndFileStatus();
        report.FStartPageFile = dispatcher.GetStartPageName();
        PostProcessFolders(*this, jobID, FJob, dests, report);
        endCode = CancelRequested() ? JOB_END_CANCELLED : StopRequested() ? JOB_END_STOPPED : JOB_END_COMPLETED;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "RunJob", kUnit);
        TSpiderOutputMessageQueue::Instance()->ClearMessageQueue();
        endCode = JOB_END_ERROR;
    }
    // Whatever way the job ended, the index holds what its files are now.
    report.FIndexSaved = SaveCopyIndex();
    temporariesMark.End();
    report.FMsgType = OUTMSG_JOB_ENDED;
    report.FResultCode = endCode;
    TSpiderOutputMessageQueue::Instance()->TryToPostMessage(report);
}
