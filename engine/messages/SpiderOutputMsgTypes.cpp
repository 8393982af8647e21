#include "engine/messages/SpiderOutputMsgTypes.h"

#include <utility>

void TSpiderOutputMsg::Assign(const TSpiderOutputMsg& source)
{
    FMsgType = source.FMsgType;
    FJobID = source.FJobID;
    FJob.Assign(source.FJob);
    FResultCode = source.FResultCode;
    FDownload.Assign(source.FDownload);
    FReadWrite.Assign(source.FReadWrite);
    FLinkInfo.Assign(source.FLinkInfo);
    FStartPageFile = source.FStartPageFile;
    FIndexSaved = source.FIndexSaved;
    FFolder = source.FFolder;
    FFlattening = source.FFlattening;
}

namespace {

// Calls part(target's part, source's part) for each part the source's type fills, besides type,
// job id and result code.
template <typename Source, typename Part>
void ForEachUsedPart(TSpiderOutputMsg& target, Source& source, Part part)
{
    switch (source.FMsgType) {
    case OUTMSG_JOB_STARTED:
        part(target.FJob, source.FJob);
        break;
    case OUTMSG_JOB_ENDED:
        part(target.FJob, source.FJob);
        part(target.FStartPageFile, source.FStartPageFile);
        part(target.FIndexSaved, source.FIndexSaved);
        break;
    case OUTMSG_DOWNLOAD_STARTED:
    case OUTMSG_DOWNLOAD_PROGRESS:
    case OUTMSG_DOWNLOAD_ENDED:
        part(target.FDownload, source.FDownload);
        break;
    case OUTMSG_LINK_FOUND:
        part(target.FLinkInfo, source.FLinkInfo);
        break;
    case OUTMSG_READ_STARTED:
    case OUTMSG_READ_PROGRESS:
    case OUTMSG_READ_ENDED:
    case OUTMSG_WRITE_STARTED:
    case OUTMSG_WRITE_PROGRESS:
    case OUTMSG_WRITE_ENDED:
        part(target.FReadWrite, source.FReadWrite);
        break;
    case OUTMSG_PRUNING_FOLDER:
        part(target.FFolder, source.FFolder);
        break;
    case OUTMSG_FILE_MOVED_UP:
        part(target.FFlattening, source.FFlattening);
        break;
    default:
        break;
    }
}

}  // namespace

void TSpiderOutputMsg::AssignUsedFields(const TSpiderOutputMsg& source)
{
    FMsgType = source.FMsgType;
    FJobID = source.FJobID;
    FResultCode = source.FResultCode;
    ForEachUsedPart(*this, source, [](auto& to, const auto& from) {
        if constexpr (requires { to.Assign(from); })
            to.Assign(from);
        else
            to = from;
    });
}

void TSpiderOutputMsg::SwapUsedFields(TSpiderOutputMsg& source)
{
    FMsgType = source.FMsgType;
    FJobID = source.FJobID;
    FResultCode = source.FResultCode;
    ForEachUsedPart(*this, source, [](auto& to, auto& from) {
        using std::swap;
        swap(to, from);
    });
}
