#include "engine/crawl/DownloadThreadDispacher.h"

#include "engine/services/AppTraceLog.h"
#include "engine/crawl/DownloadThread.h"
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/job/JobTypes.h"
#include "engine/job/SpiderDestObject.h"
#include "engine/job/SpiderObject.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/crawl/CrawlControl.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/IniFile.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace {

const char* const kUnit = "DownloadThreadDispacher";

// The Internet library's time-out error, given to a download whose thread was given up.
constexpr uint32_t kTimeoutError = 12002;

// How long a turn waits for a thread to change state before it looks at the input queue, the
// pauses and the progress reports again.
constexpr int64_t kTurnWaitMs = 100;
constexpr int64_t kProgressEveryMs = 1000;

// The options as comparable text: the job's download options as the job file holds them, and
// both proxies.
std::string OptionsText(const TDownloadOptions& options)
{
    TIniFile ini;
    options.JobOptions.WriteToIni(ini);
    std::string text = ini.ToText();
    for (const TProxyServerInfo* proxy : {&options.HTTPProxy, &options.FTPProxy}) {
        text += '\n';
        text += proxy->UseProxyServer ? '1' : '0';
        for (const std::string* field : {&proxy->Address, &proxy->Username, &proxy->Password, &proxy->BypassList}) {
            text += '\n';
            text += std::to_string(field->size());
            text += ':';
            text += *field;
        }
        text += '\n';
        text += std::to_string(proxy->Port);
    }
    return text;
}

// An address as reports carry it: never with its user name and password.
void CopyWithoutUserInfo(TURL& target, const TURL& source)
{
    target.Assign(source);
    target.ClearUserInfo();
}

}  // namespace

TDownloadThreadDispacher::TDownloadThreadDispacher(TWorkers workers, TConnectionLimiter limiter)
    : workers_(std::move(workers)), limiter_(std::move(limiter))
{
}

TDownloadThreadDispacher::~TDownloadThreadDispacher()
{
    ReleaseInstance();
    for (auto& worker : workers_)
        if (worker)
            worker->TerminateDownloadThread();
    for (int32_t i = 0; i < ThreadCount; ++i) {
        if (!workers_[i])
            continue;
        if (slots_[i].hung) {
            // It may never come back: it is left to end on its own and is not freed.
            (void)workers_[i].release();
            continue;
        }
        workers_[i]->WaitForEnd(-1);
    }
}

int64_t TDownloadThreadDispacher::Now()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now().time_since_epoch()).count();
}

int32_t TDownloadThreadDispacher::UsableThreadCount(int32_t maxSimultaneousDownloads)
{
    return maxSimultaneousDownloads >= 1 && maxSimultaneousDownloads <= ThreadCount ? maxSimultaneousDownloads
                                                                                     : ThreadCount;
}

void TDownloadThreadDispacher::ClearStartPageName()
{
    // Called once when a job starts: downloads still running from earlier jobs keep theirs.
    startPageName_.clear();
    redirectChain_.clear();
    nextStart_ = 0;
    ++jobSerial_;
}

int32_t TDownloadThreadDispacher::FindFirstUndispatched(TSpiderObjectList& spiders)
{
    return spiders.FindFirstUndispatched();
}

bool TDownloadThreadDispacher::HasUndispatchedObjects(TSpiderObjectList& spiders)
{
    return FindFirstUndispatched(spiders) != -1;
}

bool TDownloadThreadDispacher::IsBusy(int32_t slot) const
{
    const uint8_t state = workers_[slot]->GetState();
    return state != DL_IDLE && state != DL_FINISHED;
}

bool TDownloadThreadDispacher::AllThreadsIdle() const
{
    for (int32_t i = 0; i < ThreadCount; ++i)
        if (workers_[i] && !slots_[i].hung && workers_[i]->GetState() != DL_IDLE)
            return false;
    return true;
}

int32_t TDownloadThreadDispacher::FindIdleThread(int32_t maxSimultaneousDownloads) const
{
    const int32_t usable = UsableThreadCount(maxSimultaneousDownloads);
    for (int32_t i = 0; i < usable; ++i)
        if (workers_[i] && !slots_[i].pausing && workers_[i]->GetState() == DL_IDLE)
            return i;
    return -1;
}

bool TDownloadThreadDispacher::IsFileBeingWritten(const std::string& name) const
{
    for (int32_t i = 0; i < ThreadCount; ++i)
        if (workers_[i] && workers_[i]->GetState() == DL_RUNNING && slots_[i].localFileName == name)
            return true;
    return false;
}

bool TDownloadThreadDispacher::WaitForRunningDownload(TSpiderObject& object)
{
    for (int32_t i = 0; i < ThreadCount; ++i) {
        TSlot& s = slots_[i];
        if (!workers_[i] || s.hung || s.jobSerial != jobSerial_ || s.objectID != object.FID ||
            workers_[i]->GetState() == DL_IDLE)
            continue;
        s.metAgain = true;
        object.FDispatched = true;
        return true;
    }
    return false;
}

void TDownloadThreadDispacher::ApplyDownloadOptions(const TDownloadOptions& options)
{
    std::string text = OptionsText(options);
    if (!haveOptions_ || text != optionsText_) {
        haveOptions_ = true;
        optionsText_ = std::move(text);
        options_.Assign(options);
        ++optionsSerial_;
        if (limiter_)
            limiter_(UsableThreadCount(options.JobOptions.MaxSimultaneousDownloads));
    }
    ApplyOptionsToIdleThreads();
}

void TDownloadThreadDispacher::ApplyOptionsToIdleThreads()
{
    if (!haveOptions_)
        return;
    for (int32_t i = 0; i < ThreadCount; ++i) {
        if (!workers_[i] || slots_[i].optionsSerial == optionsSerial_ ||
            workers_[i]->GetState() != DL_IDLE)
            continue;
        workers_[i]->SetNewOptions(options_);
        slots_[i].optionsSerial = optionsSerial_;
    }
}

void TDownloadThreadDispacher::EndDownloadPauses(int64_t now)
{
    for (TSlot& slot : slots_)
        if (slot.pausing && slot.pauseUntil < now)
            slot.pausing = false;
}

void TDownloadThreadDispacher::NumberDownload(TSlot& s, const TSpiderObject& object)
{
    ++downloadCounter_;
    s.objectID = object.FID;
    s.downloadNumber = downloadCounter_;
    s.lastProgressTick = 0;
    s.url.Assign(object.FURL);
    s.referrer.Assign(object.Referrer());
    s.depth = object.FDepth;
    s.metAgain = false;
    s.localFileName.clear();
    s.jobID = jobID_;
    s.jobSerial = jobSerial_;
}

void TDownloadThreadDispacher::StartDownload(TSpiderObject& object, int32_t slot)
{
    TSlot& s = slots_[slot];
    NumberDownload(s, object);
    PostDownloadStartedMessage(s);
    workers_[slot]->AssignDownload(object.FURL, object.Referrer(), object.FDepth);
}

bool TDownloadThreadDispacher::RefuseAtDispatch(const TSpiderObject& object)
{
    if (object.FURL.GetScheme() == usFile)
        return false;
    TDownloadFilter* filter = TDownloadFilter::Instance();
    uint8_t verdict = filter ? filter->CheckAddressRules(object.FURL, object.FDepth) : uint8_t{FILTER_ACCEPTED};
    // A page on another server that the location rule refuses is never asked for: only the
    // starting server may redirect back inside the location.
    if (verdict == FILTER_ACCEPTED && filter)
        verdict = filter->CheckLocationBeforeRequest(object.FURL, object.FDepth,
                                                     object.FMetAsPageLink && !object.FMetAsRequisite);
    if (verdict == FILTER_ACCEPTED)
        return false;
    TFileDownloadCompleteData outcome;
    outcome.FURL.Assign(object.FURL);
    outcome.FReferrer.Assign(object.Referrer());
    outcome.FFilterCode = verdict;
    ReportWithoutThread(object, outcome);
    return true;
}

bool TDownloadThreadDispacher::TakeFromCopy(TSpiderObject& object, TSpiderObjectList& spiders,
                                            TSpiderDestObjectList& dests, TCrawlControl& crawler)
{
    const TSpiderDestObject* dest = dests.Get(dests.IndexOfID(object.FDestID));
    if (!object.FFetched || !dest || object.FURL.GetScheme() == usFile ||
        !TDownloadFilter::Instance()->IsFileOfCopy(dest->FFileName))
        return false;
    TFileDownloadCompleteData outcome;
    outcome.FURL.Assign(object.FURL);
    outcome.FReferrer.Assign(object.Referrer());
    outcome.FLocalFileName = dest->FFileName;
    outcome.FFilterCode = FILTER_PREVIOUSLY_DOWNLOADED;
    // Mapped again to its own file, the page is read again.
    crawler.MapSpiderObjectToDest(object, dests, spiders);
    ReportWithoutThread(object, outcome);
    return true;
}

void TDownloadThreadDispacher::ReportWithoutThread(const TSpiderObject& object,
                                                   const TFileDownloadCompleteData& outcome)
{
    TSlot s;
    NumberDownload(s, object);
    LogMessage(StartDownloadLogText(object.FURL, IsSentReferrer(object.Referrer()) ? object.Referrer() : TURL()));
    PostDownloadStartedMessage(s);
    LogMessage(StopDownloadLogText(object.FURL, outcome.FStatusCode));
    PostDownloadStoppedMsg(s, outcome, TFileDownloadProgress{}, false, false);
}

void TDownloadThreadDispacher::FillDownloadReport(uint8_t type, const TSlot& s)
{
    report_.FMsgType = type;
    report_.FJobID = s.jobID;
    report_.FResultCode = 1;
    report_.FDownload.FDownloadNumber = s.downloadNumber;
    CopyWithoutUserInfo(report_.FDownload.FURL, s.url);
    CopyWithoutUserInfo(report_.FDownload.FReferrer, s.referrer);
}

void TDownloadThreadDispacher::PostDownloadStartedMessage(const TSlot& s)
{
    try {
        FillDownloadReport(OUTMSG_DOWNLOAD_STARTED, s);
        report_.FDownload.FLocalFile.clear();
        report_.FDownload.FProgress.FValid = 0;
        TSpiderOutputMessageQueue::Instance()->TryToPostMessage(report_);
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "PostDownloadStartedMessage", kUnit);
    }
}

bool TDownloadThreadDispacher::AssignWaitingFilenames(TSpiderObjectList& spiders, TSpiderDestObjectList& dests,
                                                      TCrawlControl& crawler)
{
    bool answered = false;
    for (int32_t i = 0; i < ThreadCount; ++i) {
        TSlot& s = slots_[i];
        // A thread asked to stop leaves the wait by itself: an answer now could overwrite its
        // finished state.
        if (!workers_[i] || s.jobSerial != jobSerial_ || s.cancelRequested ||
            workers_[i]->GetState() != DL_WAITING_FOR_NAME)
            continue;
        TSpiderObject* object = spiders.Get(spiders.IndexOfID(s.objectID));
        if (!object)
            continue;
        TFileDownloadProgress progress;
        workers_[i]->GetProgress(progress);
        object->FMimeType = progress.FMimeType;
        crawler.MapSpiderObjectToDest(*object, dests, spiders);
        std::string name;
        dests.GetFileName(object->FDestID, name);
        // An address without a safe local name is never written.
        const bool skip = name.empty() || IsFileBeingWritten(name);
        s.localFileName = name;
        workers_[i]->SetDownloadFilename(name, skip);
        answered = true;
    }
    return answered;
}

void TDownloadThreadDispacher::PostDownloadInProgressMsgs()
{
    try {
        for (int32_t i = 0; i < ThreadCount; ++i) {
            TSlot& s = slots_[i];
            if (!workers_[i] || s.hung || workers_[i]->GetState() != DL_RUNNING)
                continue;
            const int64_t now = Now();
            if (now - s.lastProgressTick < kProgressEveryMs)
                continue;
            TFileDownloadProgress& progress = report_.FDownload.FProgress;
            workers_[i]->GetProgress(progress);
            if (!progress.FValid)
                continue;
            FillDownloadReport(OUTMSG_DOWNLOAD_PROGRESS, s);
            report_.FDownload.FLocalFile = s.localFileName;
            progress.FValid = 1;
            TSpiderOutputMessageQueue::Instance()->TryToPostMessage(report_);
            s.lastProgressTick = now;
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "PostDownloadInProgressMsgs", kUnit);
    }
}

bool TDownloadThreadDispacher::ResetCompletedDownloadThreads(TSpiderObjectList& spiders, TSpiderDestObjectList& dests,
                                                             TCopyJob& job, TCrawlControl& crawler,
                                                             bool& newObjectAdded)
{
    bool collected = false;
    newObjectAdded = false;
    for (int32_t i = 0; i < ThreadCount; ++i) {
        if (!workers_[i] || workers_[i]->GetState() != DL_FINISHED)
            continue;
        TSlot& s = slots_[i];
        const TFileDownloadCompleteData& outcome = workers_[i]->GetResults();
        TFileDownloadProgress progress;
        workers_[i]->GetProgress(progress);
        // The download may have written, replaced or removed its file.
        if (TFileStatusCache* files = TDownloadFilter::Instance()->FileStatus(); files && !outcome.FLocalFileName.empty())
            files->Forget(outcome.FLocalFileName);

        // A download of an earlier job (its thread was given up then) only reports its end.
        const bool thisJob = s.jobSerial == jobSerial_;
        const bool added = thisJob && TakeFinishedDownload(i, spiders, dests, job, crawler, outcome);
        newObjectAdded = newObjectAdded || added;
        PostDownloadStoppedMsg(s, outcome, progress, added, crawler.CancelRequested());

        workers_[i]->SetIdle();
        s.cancelRequested = false;
        s.cancelTick = 0;
        s.hung = false;
        if (thisJob && job.PauseBetweenDownloads > 0) {
            s.pauseUntil = Now() + int64_t{job.PauseBetweenDownloads} * 1000;
            s.pausing = true;
        }
        collected = true;
    }
    if (collected)
        ApplyOptionsToIdleThreads();
    return collected;
}

bool TDownloadThreadDispacher::TakeFinishedDownload(int32_t slot, TSpiderObjectList& spiders,
                                                    TSpiderDestObjectList& dests, TCopyJob& job,
                                                    TCrawlControl& crawler, const TFileDownloadCompleteData& outcome)
{
    const TSlot& s = slots_[slot];
    TSpiderObject* object = spiders.Get(spiders.IndexOfID(s.objectID));
    if (!object)
        return false;
    bool added = false;
    try {
        // The start page is named only when its file is there to be opened; a local one only
        // when it is read for links, since nothing else comes of it.
        const bool current = outcome.LocalFileIsCurrent();
        if (s.depth == -1 && current && (object->FURL.GetScheme() != usFile || outcome.FParseable))
            startPageName_ = outcome.FLocalFileName;
        if (current && object->FURL.IsDownloadableScheme())
            TDownloadFilter::Instance()->RecordInCopy(object->FURL, outcome.FLocalFileName, outcome.FMimeType,
                                                      outcome.FLastModified, outcome.FETag, outcome.FFileWritten);
        if (object->FDestID == 0 && object->FURL.GetScheme() == usFile)
            crawler.MapSpiderObjectToDest(*object, dests, spiders);
        const int32_t destIndex = dests.IndexOfID(object->FDestID);
        if (TSpiderDestObject* dest = dests.Get(destIndex)) {
            object->FFetched = current;
            // Met again at a smaller depth while it was fetched: the reading to come takes that depth.
            if (object->FFetched && object->FURL.GetScheme() != usFile)
                object->FDispatched = true;
            if (outcome.FFileWritten)
                dest->FLocalSource = false;
            // Only a file the filter accepted (fetched now or already on disk) is parsed.
            const bool accepted =
                outcome.FFilterCode == FILTER_ACCEPTED || outcome.FFilterCode == FILTER_PREVIOUSLY_DOWNLOADED;
            if (outcome.FParseable && accepted) {
                dest->FParseNeeded = true;
                dest->FParseKind = outcome.FParseKind;
                crawler.NoteParseCandidate(destIndex);
            }
        }
        // Refused for its depth, and met since at a smaller one: asked for at that depth.
        if (s.metAgain && !current && outcome.FFilterCode == FILTER_DEPTH && object->FDepth < s.depth)
            spiders.Undispatch(spiders.IndexOfID(object->FID));
        if (outcome.FRedirectURL.IsValid()) {
            const auto chain = redirectChain_.find(object->FID);
            const int32_t length = chain == redirectChain_.end() ? 1 : chain->second + 1;
            if (length > MaxRedirectChain) {
                LogEvent(etWarning,
                         "Too many redirects: " + object->FURL.GetURLWithoutUserInfo() + " to " +
                             outcome.FRedirectURL.GetURLWithoutUserInfo(),
                         "ResetCompletedDownloadThreads", kUnit);
                return false;
            }
            const int32_t targetID =
                crawler.AddSpiderObjectToList(spiders, outcome.FRedirectURL, added, object->SharedReferrer().get(),
                                              object->FDepth);
            object->FRedirectedToID = targetID;
            // The target is linked to as the address that redirected to it was.
            spiders.NoteLinkRoles(targetID, *object);
            if (targetID > 0 && added)
                redirectChain_[targetID] = length;
            if (s.depth == -1) {
                // Kept in the running job too: a later reload of the filter's lists keeps it.
                job.StartingWebAddress.Assign(outcome.FRedirectURL);
                TDownloadFilter::Instance()->SetStartURL(outcome.FRedirectURL);
            }
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "ResetCompletedDownloadThreads", kUnit);
    }
    return added;
}

void TDownloadThreadDispacher::PostDownloadStoppedMsg(const TSlot& s, const TFileDownloadCompleteData& outcome,
                                                      const TFileDownloadProgress& progress, bool redirectAdded,
                                                      bool jobCancelled)
{
    try {
        TFileDownloadMsg& download = report_.FDownload;
        TFileDownloadResults& results = download.FResults;
        FillDownloadReport(OUTMSG_DOWNLOAD_ENDED, s);
        download.FLocalFile = outcome.FLocalFileName;
        download.FProgress.FBytesReceived = progress.FBytesReceived;
        download.FProgress.FResumeOffset = progress.FResumeOffset;
        results.FFileWritten = outcome.FFileWritten;
        results.FExceptionText.clear();
        if (outcome.FExceptionRaised) {
            results.FResult = DL_RESULT_EXCEPTION;
            results.FExceptionText = outcome.FExceptionText;
        } else if (outcome.FCancelled) {
            // A download that ended on its own while the job stopped is reported as it ended.
            results.FResult = jobCancelled ? DL_RESULT_JOB_CANCELLED : DL_RESULT_CANCELLED;
        } else {
            results.FResult = DL_RESULT_FINISHED;
        }
        CopyWithoutUserInfo(results.FRedirectURL, outcome.FRedirectURL);
        results.FRedirectAdded = redirectAdded ? 1 : 0;
        results.FStatusCode = outcome.FStatusCode;
        results.FStatusText = outcome.FStatusText;
        results.FErrorCode = static_cast<int32_t>(outcome.FErrorCode);
        results.FErrorCodeValid = outcome.FErrorCodeValid;
        const bool filtered = outcome.FFilterCode != FILTER_ACCEPTED;
        results.FFiltered = filtered ? 1 : 0;
        results.FFilterCode = filtered ? outcome.FFilterCode : 0;
        TSpiderOutputMessageQueue::Instance()->TryToPostMessage(report_);
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "PostDownloadStoppedMsg", kUnit);
    }
}

void TDownloadThreadDispacher::CancelDownload(int32_t slot)
{
    // Also a download still connecting or waiting for its name: it makes no further attempt.
    if (!workers_[slot] || !IsBusy(slot))
        return;
    workers_[slot]->RequestDownloadCancellation();
    TSlot& s = slots_[slot];
    if (!s.cancelRequested) {
        s.cancelTick = Now();
        s.cancelRequested = true;
    }
}

void TDownloadThreadDispacher::CancelAllDownloads()
{
    for (int32_t i = 0; i < ThreadCount; ++i)
        CancelDownload(i);
}

void TDownloadThreadDispacher::ProcessDownloadCancelRequests(TCopyJob& job)
{
    try {
        const TSpiderInputMsgTypes types{INMSG_STOP_FILE_DOWNLOAD, INMSG_STOP_HOST_DOWNLOADS,
                                         INMSG_STOP_EXTENSION_DOWNLOADS, INMSG_STOP_MIME_TYPE_DOWNLOADS};
        TSpiderInputMessageQueue* input = TSpiderInputMessageQueue::Instance();
        while (input && input->TakeMessage(types, jobID_, &cancelMsg_)) {
            bool changed = false;
            for (int32_t i = 0; i < ThreadCount; ++i) {
                const TSlot& s = slots_[i];
                if (!workers_[i] || s.jobSerial != jobSerial_ || s.downloadNumber != cancelMsg_.FDownloadNumber)
                    continue;
                CancelDownload(i);
                TFileDownloadProgress progress;
                workers_[i]->GetProgress(progress);
                if (!progress.FValid)
                    continue;
                switch (cancelMsg_.FMsgType) {
                case INMSG_STOP_HOST_DOWNLOADS: {
                    const std::string before = job.Hosts;
                    job.ExcludeHost(s.url.GetHostName());
                    changed = changed || job.Hosts != before;
                    break;
                }
                case INMSG_STOP_EXTENSION_DOWNLOADS: {
                    const std::string extension = s.url.GetPathExtension();
                    if (extension.empty())
                        break;
                    const std::string before = job.Extensions;
                    job.ExcludeExtension(extension);
                    changed = changed || job.Extensions != before;
                    break;
                }
                case INMSG_STOP_MIME_TYPE_DOWNLOADS: {
                    const std::string before = job.Types;
                    job.ExcludeMimeType(progress.FMimeType);
                    changed = changed || job.Types != before;
                    break;
                }
                default:
                    break;
                }
            }
            if (changed)
                TDownloadFilter::Instance()->LoadJob(job, false, false);
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "ProcessDownloadCancelRequests", kUnit);
    }
}

void TDownloadThreadDispacher::CheckForHungDownloadThreads(int32_t timeoutMs, bool jobCancelled)
{
    const int64_t now = Now();
    for (int32_t i = 0; i < ThreadCount; ++i) {
        TSlot& s = slots_[i];
        if (!s.cancelRequested || s.hung)
            continue;
        const int64_t waited = now - s.cancelTick;
        if (waited <= timeoutMs && waited >= 0)
            continue;
        s.hung = true;
        LogEvent(etWarning, "Download thread hung (Object " + std::to_string(s.objectID) + ")",
                 "ProcessDownloadCancelRequests", "DownloadThreadDispatcher");
        // The thread may still write its own result: the report is made from what was given.
        TFileDownloadCompleteData outcome;
        outcome.FURL.Assign(s.url);
        outcome.FReferrer.Assign(s.referrer);
        outcome.FLocalFileName = s.localFileName;
        outcome.FErrorCode = kTimeoutError;
        outcome.FErrorCodeValid = 1;
        outcome.FCancelled = 1;
        outcome.FFilterCode = FILTER_ACCEPTED;
        TFileDownloadProgress progress;
        if (workers_[i])
            workers_[i]->GetProgress(progress);
        PostDownloadStoppedMsg(s, outcome, progress, false, jobCancelled);
    }
}

std::chrono::milliseconds TDownloadThreadDispacher::WaitBound(int64_t now, int64_t nextStart, bool startWaiting) const
{
    int64_t bound = kTurnWaitMs;
    if (startWaiting && nextStart > now)
        bound = std::min(bound, nextStart - now);
    for (const TSlot& s : slots_)
        if (s.pausing)
            bound = std::min(bound, s.pauseUntil - now + 1);
    return std::chrono::milliseconds(std::max<int64_t>(bound, 1));
}

void TDownloadThreadDispacher::RunDownloads(TSpiderObjectList& spiders, TSpiderDestObjectList& dests, TCopyJob& job,
                                           int32_t jobID, TCrawlControl& crawler, bool forPages)
{
    if (std::none_of(workers_.begin(), workers_.end(), [](const auto& worker) { return worker != nullptr; }))
        throw std::runtime_error("No download threads");
    jobID_ = jobID;
    stopping_ = false;
    int32_t next = FindFirstUndispatched(spiders);
    try {
        while (!AllThreadsIdle() || next != -1) {
            const uint64_t seen = signal_->Changes();
            bool progressed = false;
            int64_t now = Now();
            EndDownloadPauses(now);
            crawler.CheckStopRequests();
            CheckForHungDownloadThreads(job.DownloadOptions.Timeout, crawler.CancelRequested());
            if (!stopping_) {
                if (crawler.StopRequested() || crawler.CancelRequested()) {
                    CancelAllDownloads();
                    stopping_ = true;
                    next = -1;
                }
                ProcessDownloadCancelRequests(job);
                crawler.CheckPauseRequests();
                if (!stopping_)
                    next = FindFirstUndispatched(spiders);
                if (!stopping_ && !crawler.Paused() && next != -1 && WaitForRunningDownload(*spiders.Get(next))) {
                    next = FindFirstUndispatched(spiders);
                    progressed = true;
                } else if (!stopping_ && !crawler.Paused() && next != -1) {
                    now = Now();
                    TSpiderObject* object = spiders.Get(next);
                    const bool refused = now >= nextStart_ && (RefuseAtDispatch(*object) ||
                                                               TakeFromCopy(*object, spiders, dests, crawler));
                    const int32_t slot =
                        refused ? -1 : FindIdleThread(job.DownloadOptions.MaxSimultaneousDownloads);
                    if (refused || (slot != -1 && now >= nextStart_)) {
                        if (slot != -1)
                            StartDownload(*object, slot);
                        object->FDispatched = true;
                        nextStart_ = now + int64_t{job.PauseBetweenDownloads} * 1000;
                        next = FindFirstUndispatched(spiders);
                        progressed = true;
                    }
                }
            }
            progressed = AssignWaitingFilenames(spiders, dests, crawler) || progressed;
            PostDownloadInProgressMsgs();
            bool added = false;
            progressed = ResetCompletedDownloadThreads(spiders, dests, job, crawler, added) || progressed;
            if (added && !stopping_)
                next = FindFirstUndispatched(spiders);
            if (progressed)
                continue;
            if (forPages && !stopping_ && !crawler.Paused() && crawler.HasPagesToReadNow())
                return;
            signal_->WaitForChange(seen, WaitBound(Now(), nextStart_, next != -1 && !stopping_));
        }
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "RunDownloads", kUnit);
        CancelAllDownloads();
        WaitUntilThreadsRest(spiders, dests, job, crawler);
        throw;
    }
}

void TDownloadThreadDispacher::WaitUntilThreadsRest(TSpiderObjectList& spiders, TSpiderDestObjectList& dests,
                                                    TCopyJob& job, TCrawlControl& crawler)
{
    stopping_ = true;
    while (!AllThreadsIdle()) {
        const uint64_t seen = signal_->Changes();
        bool added = false;
        const bool collected = ResetCompletedDownloadThreads(spiders, dests, job, crawler, added);
        CheckForHungDownloadThreads(job.DownloadOptions.Timeout, crawler.CancelRequested());
        if (!collected)
            signal_->WaitForChange(seen, std::chrono::milliseconds(kTurnWaitMs));
    }
}
