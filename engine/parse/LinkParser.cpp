#include "engine/parse/LinkParser.h"

#include "engine/services/AppTraceLog.h"
#include "engine/services/FileStatusCache.h"
#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/job/JobControl.h"
#include "engine/job/JobTypes.h"
#include "engine/job/LocalNames.h"
#include "engine/parse/LinkRewrite.h"
#include "engine/parse/LocalLinks.h"
#include "engine/job/LinkType.h"
#include "engine/parse/ParseAhead.h"
#include "engine/parse/RewriteAhead.h"
#include "engine/job/SpiderDestObject.h"
#include "engine/messages/SpiderOutputMsgQueue.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "engine/job/URLType.h"

#include <algorithm>
#include <array>
#include <exception>
#include <stdexcept>
#include <utility>

namespace {

int32_t WholePercent(int64_t position, int64_t size)
{
    if (size <= 0)
        return 0;
    return static_cast<int32_t>(position * 100 / size);
}

uint8_t EndStatus(bool failed, const TJobControl& control)
{
    return failed ? RW_STATUS_ERROR : control.CancelRequested() ? RW_STATUS_CANCELLED : RW_STATUS_FINISHED;
}

THTMLParser& HTMLParser()
{
    THTMLParser* parser = THTMLParser::Instance();
    if (parser == nullptr)
        throw std::runtime_error("No HTML parser");
    return *parser;
}

TCSSParser& CSSParser()
{
    TCSSParser* parser = TCSSParser::Instance();
    if (parser == nullptr)
        throw std::runtime_error("No CSS parser");
    return *parser;
}

// Reads the file's links into list with the parser of its kind.
void ReadLinks(int kind, const std::string& fileName, const std::string& base, TWebLinkList& list, bool localMode,
               TPageFacts* facts)
{
    ReadPageLinks(kind, fileName, base, localMode, HTMLParser(), CSSParser(), list, facts);
}

// The job changed the file under this name.
void ForgetFileStatus(const std::string& fileName)
{
    if (TFileStatusCache* files = FileStatusOfJob())
        files->Forget(fileName);
}

}  // namespace

bool TReadWriteOutputMessenger::PostNumbered(TSpiderOutputMsg& msg, bool numberIt)
{
    if (numberIt && msg.FMsgType == OUTMSG_READ_STARTED)
        msg.FReadWrite.FNumber = ++reads_;
    else if (numberIt && msg.FMsgType == OUTMSG_WRITE_STARTED)
        msg.FReadWrite.FNumber = ++writes_;
    TSpiderOutputMessageQueue* queue = TSpiderOutputMessageQueue::Instance();
    return queue != nullptr && queue->TryToPostMessage(msg);
}

void PostStarted(TSpiderOutputMsg& msg, uint8_t type, uint8_t kind, const std::string& fileName, const TURL* pageURL)
{
    msg.FJobID = 0;
    msg.FMsgType = type;
    msg.FReadWrite.FKind = kind;
    msg.FReadWrite.FStatus = RW_STATUS_STARTED;
    msg.FReadWrite.FErrorText.clear();
    msg.FReadWrite.FNumber = 0;
    // Reports never carry credentials.
    if (pageURL != nullptr)
        msg.FReadWrite.FURL.Assign(*pageURL);
    else
        msg.FReadWrite.FURL.Clear();
    msg.FReadWrite.FURL.ClearUserInfo();
    msg.FReadWrite.FLocalFile = fileName;
    msg.FReadWrite.FLinkCount = 0;
    if (auto* messenger = TReadWriteOutputMessenger::Instance())
        messenger->PostNumbered(msg, true);
}

void TURLToFilenameMapper::SetLists(TSpiderObjectList* spiderList, TSpiderDestObjectList* destList)
{
    spiderList_ = spiderList;
    destList_ = destList;
    int32_t count = destList != nullptr ? destList->Count() : 0;
    if (spiderList != presentSpiderList_ || destList != presentDestList_ || count != presentDestCount_) {
        ForgetFiles();
        presentSpiderList_ = spiderList;
        presentDestList_ = destList;
        presentDestCount_ = count;
    }
}

void TURLToFilenameMapper::ClearLists()
{
    spiderList_ = nullptr;
    destList_ = nullptr;
}

void TURLToFilenameMapper::ForgetFiles()
{
    present_.clear();
    presentSpiderList_ = nullptr;
    presentDestList_ = nullptr;
    presentDestCount_ = 0;
}

TLinkReplaceOptions RewriteOptionsOf(const TCopyJob& job)
{
    TLinkReplaceOptions options;
    options.FKeepInputFile = job.KeepRewriteInputFiles;
    options.FAddMark = job.AddMarkOfWebOnRewrite;
    return options;
}

namespace {

int32_t DestIDOf(const TSpiderObjectList& spiders, const TSpiderObject* object)
{
    if (object != nullptr && object->FRedirectedToID != 0)
        object = spiders.Get(spiders.IndexOfID(object->FRedirectedToID));
    return object != nullptr ? object->FDestID : 0;
}

}  // namespace

int32_t DestIDOfAddress(const TSpiderObjectList& spiders, const TURL& address)
{
    return DestIDOf(spiders, spiders.Get(spiders.IndexOfURL(address)));
}

int32_t DestIDOfObject(const TSpiderObjectList& spiders, int32_t objectID)
{
    return DestIDOf(spiders, spiders.Get(spiders.IndexOfID(objectID)));
}

int32_t TURLToFilenameMapper::DestIDOf(const TURL& address)
{
    if (spiderList_ == nullptr || destList_ == nullptr)
        return 0;
    return DestIDOfAddress(*spiderList_, address);
}

std::string TURLToFilenameMapper::MapURLToFilename(const TURL& address)
{
    std::string name;
    if (int32_t id = DestIDOf(address); id > 0)
        destList_->GetFileName(id, name);
    return name;
}

std::string TURLToFilenameMapper::MapURLToAvailableFile(const TURL& address)
{
    int32_t id = DestIDOf(address);
    if (id <= 0)
        return std::string();
    std::string name;
    destList_->GetFileName(id, name);
    if (name.empty())
        return name;
    if (present_.size() <= static_cast<size_t>(id))
        present_.resize(static_cast<size_t>(id) + 1, 0);
    uint8_t& known = present_[static_cast<size_t>(id)];
    if (known == 0)
        known = IsFileOfJobCopy(name) ? 1 : 2;
    return known == 1 ? name : std::string();
}

void TLinkParser::Post(uint8_t type)
{
    msg_.FMsgType = type;
    if (auto* queue = TSpiderOutputMessageQueue::Instance())
        queue->TryToPostMessage(msg_);
}

void TLinkParser::PostLinkReports()
{
    const size_t count = batchedLinks_;
    batchedLinks_ = 0;
    if (count == 0)
        return;
    if (auto* queue = TSpiderOutputMessageQueue::Instance())
        queue->TryToHandOverMessages(linkReports_.data(), static_cast<int32_t>(count));
}

void TLinkParser::PostProgress(uint8_t type, int64_t size, int32_t percent)
{
    // The parsers call back for every block or link; most calls move the percentage by nothing.
    if (type == lastProgressType_ && size == lastProgressSize_ && percent == lastProgressPercent_)
        return;
    lastProgressType_ = type;
    lastProgressSize_ = size;
    lastProgressPercent_ = percent;
    msg_.FReadWrite.FSize = size;
    msg_.FReadWrite.FStatus = RW_STATUS_RUNNING;
    msg_.FReadWrite.FPercent = percent;
    Post(type);
}

bool TLinkParser::OnReadProgress(int64_t position, int64_t size)
{
    const int32_t percent = WholePercent(position, size);
    if (mode_ == 0)
        PostProgress(OUTMSG_READ_PROGRESS, size, percent);
    else
        PostProgress(OUTMSG_WRITE_PROGRESS, size, percent / 2);
    // A pause only takes effect between files; a stop lets this file finish.
    control_->CheckPauseRequests();
    control_->CheckStopRequests();
    return control_->CancelRequested();
}

bool TLinkParser::OnRewriteProgress(int64_t position, int64_t size)
{
    PostProgress(OUTMSG_WRITE_PROGRESS, size, WholePercent(position, size) / 2 + 50);
    control_->CheckStopRequests();
    return control_->CancelRequested();
}

void TLinkParser::SetReadCallbacks()
{
    auto read = [this](int64_t position, int64_t size) { return OnReadProgress(position, size); };
    HTMLParser().OnReadProgress = read;
    CSSParser().OnReadProgress = read;
}

void TLinkParser::ClearCallbacks()
{
    for (TCommonParser* parser : {static_cast<TCommonParser*>(THTMLParser::Instance()),
                                  static_cast<TCommonParser*>(TCSSParser::Instance())}) {
        if (parser != nullptr)
            parser->ClearCallbacks();
    }
    control_ = nullptr;
}

void TLinkParser::ParseLinksIntoList(TJobControl& control, const std::string& fileName, bool localMode,
                                     bool honorNoIndex, bool honorNoFollow, int32_t pageDepth,
                                     TSpiderDestObjectList& destList, TSpiderObjectList& spiderList, int kind,
                                     const TURL& pageURL, const std::string& contentType)
{
    (void)destList;
    ReadLinksIntoList(control, nullptr, fileName, localMode, honorNoIndex, honorNoFollow, pageDepth, spiderList, kind,
                      pageURL, contentType);
}

void TLinkParser::CommitPreparedParse(TJobControl& control, TPreparedParse& prepared, const std::string& fileName,
                                      bool localMode, bool honorNoIndex, bool honorNoFollow, int32_t pageDepth,
                                      TSpiderObjectList& spiderList, int kind, const TURL& pageURL,
                                      const std::string& contentType)
{
    ReadLinksIntoList(control, &prepared, fileName, localMode, honorNoIndex, honorNoFollow, pageDepth, spiderList,
                      kind, pageURL, contentType);
}

void TLinkParser::ReplayPreparedRead(TPreparedParse& prepared, int kind, const std::string& fileName,
                                     const std::string& address, bool localMode, TWebLinkList& list,
                                     TLocalLinks& local)
{
    for (size_t call = 0; call < prepared.progress.size(); ++call) {
        const TRecordedProgress& recorded = prepared.progress[call];
        if (!OnReadProgress(recorded.position, recorded.size))
            continue;
        // A cancel taken here ended the reading at this call: read the page again up to it,
        // silently, for the links found before it.
        size_t calls = 0;
        auto upToCancel = [&calls, call](int64_t, int64_t) { return calls++ == call; };
        HTMLParser().OnReadProgress = upToCancel;
        CSSParser().OnReadProgress = upToCancel;
        ReadLinks(kind, fileName, address, list, localMode, &prepared.facts);
        return;
    }
    if (prepared.failed)
        throw std::runtime_error(prepared.errorText);
    list = std::move(prepared.list);
    local = std::move(prepared.local);
}

void TLinkParser::ReadLinksIntoList(TJobControl& control, TPreparedParse* prepared, const std::string& fileName,
                                    bool localMode, bool honorNoIndex, bool honorNoFollow, int32_t pageDepth,
                                    TSpiderObjectList& spiderList, int kind, const TURL& pageURL,
                                    const std::string& contentType)
{
    if (auto* mapper = TURLToFilenameMapper::Instance())
        mapper->ForgetFiles();
    lastReadKeeps_ = false;
    lastAbsoluteIds_.clear();
    // Only a plain file is read: a missing one, a folder or a symbolic link (which could lead out
    // of the destination folder) is passed over.
    if (!IsPlainFileCached(FileStatusOfJob(), fileName))
        return;
    control_ = &control;
    mode_ = 0;
    const std::string address = pageURL.GetURLWithoutUserInfo();
    ForgetProgress();
    PostStarted(msg_, OUTMSG_READ_STARTED, RW_KIND_PARSE, fileName, &pageURL);

    bool failed = false;
    TPageFacts read;  // what reading the page told besides its links
    TPageFacts& facts = prepared != nullptr ? prepared->facts : read;
    std::string charset = CharsetOfContentType(contentType);
    try {
        SetReadCallbacks();
        TWebLinkList list;
        TLocalLinks local;
        if (prepared != nullptr) {
            ReplayPreparedRead(*prepared, kind, fileName, address, localMode, list, local);
        } else {
            ReadLinks(kind, fileName, address, list, localMode, &read);
        }
        if (kind != 2) {
            if (charset.empty())
                charset = facts.charset;
            if (honorNoFollow && facts.noFollow) {
                LogMessage("Honored NOFOLLOW tag at " + address);
                list.Clear();
            }
            if (honorNoIndex && facts.noIndex) {
                LogMessage("Honored NOINDEX tag at " + address);
                // Only a file this job wrote is removed.
                if (!localMode) {
                    ++filesRemoved_;
                    if (!SafeDeleteFile(fileName))
                        LogAPIError("DeleteFile " + fileName, "ParseLinksIntoList", "LinkParser");
                }
                ForgetFileStatus(fileName);
            }
        }
        msg_.FReadWrite.FLinkCount = static_cast<int32_t>(list.Count());
        const int32_t depth = pageDepth < 0 ? 0 : pageDepth;
        // A page on disk names its files as local paths; those left absolute named no copy.
        bool keeps = localMode && facts.rewriteKeeps;
        if (localMode)
            KeepLocalLinksCurrent(list, fileName, pageURL, local);
        // By file: the address's id once added from this page at the page's depth ([0], a
        // requisite) or one deeper ([1]); 0 not yet. Adding it again from the page changes nothing.
        std::vector<std::array<int32_t, 2>> idsOfFile(local.files.size(), {0, 0});
        size_t index = 0;
        for (TWebLinkInfo& link : list) {
            const int32_t file = localMode ? local.fileOf[index++] : -1;
            if (!link.FURL.IsValid())
                continue;
            // A page from the network never leads to a local file.
            const bool absolute = file < 0;
            if (absolute && link.FURL.GetScheme() == usFile)
                continue;
            // A file that stands for no address: its link stays a local file.
            int32_t* knownID = nullptr;
            const bool requisite = kind == 2 || THTMLParser::IsPageRequisite(link);
            if (!absolute && local.files[static_cast<size_t>(file)].address)
                knownID = &idsOfFile[static_cast<size_t>(file)][requisite ? 0 : 1];
            bool isNew = false;
            int32_t id = knownID != nullptr ? *knownID : 0;
            if (id == 0) {
                id = control.AddSpiderObjectToList(spiderList, link.FURL, isNew, &pageURL,
                                                   requisite ? depth : depth + 1);
                if (knownID != nullptr)
                    *knownID = id;
            }
            if (keeps && absolute && link.FURL.IsDownloadableScheme()) {
                keeps = id != 0;
                lastAbsoluteIds_.push_back(id);
            }
            spiderList.NoteLinkRole(id, kind != 2 && THTMLParser::IsNavigationLink(link));
            link.FNewAddress = isNew;
            // The link goes into the queue as it is, without a copy: the list is not used again.
            TSpiderOutputMsg& report = linkReports_[batchedLinks_++];
            report.FMsgType = OUTMSG_LINK_FOUND;
            report.FJobID = msg_.FJobID;
            report.FResultCode = msg_.FResultCode;
            report.FLinkInfo = std::move(link);
            if (batchedLinks_ == linkReports_.size())
                PostLinkReports();
        }
        PostLinkReports();
        lastReadKeeps_ = keeps && !control.CancelRequested();
    } catch (const std::exception& e) {
        PostLinkReports();
        LogEvent(etException, e.what(), "ParseLinksIntoList " + address, "LinkParser");
        msg_.FReadWrite.FErrorText = e.what();
        failed = true;
    }
    ClearCallbacks();
    msg_.FReadWrite.FPageTitle = kind == 1 ? facts.title : std::string();
    msg_.FReadWrite.FPageCharset = kind == 1 ? charset : std::string();
    msg_.FReadWrite.FStatus = EndStatus(failed, control);
    Post(OUTMSG_READ_ENDED);
}

bool TLinkParser::TakeRewriteKeeps(std::vector<int32_t>& absoluteIds)
{
    absoluteIds.clear();
    if (!lastReadKeeps_)
        return false;
    std::sort(lastAbsoluteIds_.begin(), lastAbsoluteIds_.end());
    lastAbsoluteIds_.erase(std::unique(lastAbsoluteIds_.begin(), lastAbsoluteIds_.end()), lastAbsoluteIds_.end());
    absoluteIds.swap(lastAbsoluteIds_);
    lastReadKeeps_ = false;
    return true;
}

void TLinkParser::RewriteLinksInFile(TJobControl& control, const std::string& fileName, bool localMode,
                                     const TCopyJob& job, TSpiderDestObjectList& destList,
                                     TSpiderObjectList& spiderList, int kind, const TURL& pageURL)
{
    TURLToFilenameMapper* mapper = TURLToFilenameMapper::Instance();
    if (mapper != nullptr)
        mapper->SetLists(&spiderList, &destList);
    TRewriteTask task{fileName, pageURL.GetURLWithoutUserInfo(), localMode, kind};
    TPreparedRewrite prepared;
    PrepareRewrite(task, RewriteOptionsOf(job), HTMLParser(), CSSParser(),
                   [mapper](const TURL& url) {
                       return mapper != nullptr ? mapper->MapURLToAvailableFile(url) : std::string();
                   },
                   prepared);
    if (mapper != nullptr)
        mapper->ClearLists();
    CommitPreparedRewrite(control, prepared, fileName, job, pageURL);
}

void TLinkParser::CommitPreparedRewrite(TJobControl& control, TPreparedRewrite& prepared, const std::string& fileName,
                                        const TCopyJob& job, const TURL& pageURL)
{
    if (prepared.missing)
        return;
    control_ = &control;
    mode_ = 1;
    ForgetProgress();
    PostStarted(msg_, OUTMSG_WRITE_STARTED, RW_KIND_REWRITE, fileName, &pageURL);
    // The parsers' progress calls, reported as they would have been while rewriting; a cancel
    // ends the page there and leaves it as it was.
    bool cancelled = false;
    for (const TRecordedProgress& call : prepared.progress) {
        cancelled = call.rewriting ? OnRewriteProgress(call.position, call.size)
                                   : OnReadProgress(call.position, call.size);
        if (cancelled)
            break;
    }
    bool failed = false;
    std::string error = prepared.errorText;
    if (!cancelled && !prepared.failed && prepared.copy) {
        const std::string keptName = job.KeepRewriteInputFiles ? KeptInputFileName(fileName) : std::string();
        try {
            prepared.copy->Commit(keptName);
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (!keptName.empty())
            ForgetFileStatus(keptName);
    }
    prepared.copy.reset();
    if (!cancelled && (prepared.failed || !error.empty())) {
        LogEvent(etException, error, "RewriteLinksInFile " + fileName, "LinkParser");
        msg_.FReadWrite.FErrorText = error;
        failed = true;
    }
    control_ = nullptr;
    msg_.FReadWrite.FStatus = EndStatus(failed, control);
    Post(OUTMSG_WRITE_ENDED);
}
