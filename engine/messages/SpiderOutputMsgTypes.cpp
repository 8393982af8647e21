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
    FFolder = source.FFolder;
    FFlattening = source.FFlattening;
}

void TSpiderOutputMsg::AssignUsedFields(const TSpiderOutputMsg& source)
{
    FMsgType = source.FMsgType;
    FJobID = source.FJobID;
    FResultCode = source.FResultCode;
    switch (source.FMsgType) {
    case OUTMSG_JOB_STARTED:
        FJob.Assign(source.FJob);
        break;
    case OUTMSG_JOB_ENDED:
        FJob.Assign(source.FJob);
        FStartPageFile = source.FStartPageFile;
        break;
    case OUTMSG_DOWNLOAD_STARTED:
    case OUTMSG_DOWNLOAD_PROGRESS:
    case OUTMSG_DOWNLOAD_ENDED:
        FDownload.Assign(source.FDownload);
        break;
    case OUTMSG_LINK_FOUND:
        FLinkInfo.Assign(source.FLinkInfo);
        break;
    case OUTMSG_READ_STARTED:
    case OUTMSG_READ_PROGRESS:
    case OUTMSG_READ_ENDED:
    case OUTMSG_WRITE_STARTED:
    case OUTMSG_WRITE_PROGRESS:
    case OUTMSG_WRITE_ENDED:
        FReadWrite.Assign(source.FReadWrite);
        break;
    case OUTMSG_PRUNING_FOLDER:
        FFolder = source.FFolder;
        break;
    case OUTMSG_FILE_MOVED_UP:
        FFlattening = source.FFlattening;
        break;
    default:
        break;
    }
}

void TSpiderOutputMsg::SwapUsedFields(TSpiderOutputMsg& source)
{
    using std::swap;
    FMsgType = source.FMsgType;
    FJobID = source.FJobID;
    FResultCode = source.FResultCode;
    switch (source.FMsgType) {
    case OUTMSG_JOB_STARTED:
        swap(FJob, source.FJob);
        break;
    case OUTMSG_JOB_ENDED:
        swap(FJob, source.FJob);
        swap(FStartPageFile, source.FStartPageFile);
        break;
    case OUTMSG_DOWNLOAD_STARTED:
    case OUTMSG_DOWNLOAD_PROGRESS:
    case OUTMSG_DOWNLOAD_ENDED:
        swap(FDownload, source.FDownload);
        break;
    case OUTMSG_LINK_FOUND:
        swap(FLinkInfo, source.FLinkInfo);
        break;
    case OUTMSG_READ_STARTED:
    case OUTMSG_READ_PROGRESS:
    case OUTMSG_READ_ENDED:
    case OUTMSG_WRITE_STARTED:
    case OUTMSG_WRITE_PROGRESS:
    case OUTMSG_WRITE_ENDED:
        swap(FReadWrite, source.FReadWrite);
        break;
    case OUTMSG_PRUNING_FOLDER:
        swap(FFolder, source.FFolder);
        break;
    case OUTMSG_FILE_MOVED_UP:
        swap(FFlattening, source.FFlattening);
        break;
    default:
        break;
    }
}
