#pragma once
// The job results report: one HTML file of up to five lines (header, job details, results
// list, site map, footer) and the small BMP images it shows, written into one folder.
#include "engine/job/JobTypes.h"

#include <QDateTime>
#include <QIcon>
#include <QList>

#include <cstdint>
#include <functional>
#include <string>

class TCompletedFilesModel;
class TSiteMapModel;

class TJobResultsReportData {
public:
    bool IncludeJobDetails = true;
    bool IncludeResultsList = true;
    bool IncludeSiteMap = true;
    TCopyJob Job;                 // the job as started
    std::string StatusText;       // set at job end
    int64_t FilesDownloaded = 0;
    int64_t BytesDownloaded = 0;  // resume offsets excluded
    QDateTime StartTime;
    QDateTime EndTime;
    const TCompletedFilesModel* ResultsListView = nullptr;  // not owned
    const TSiteMapModel* SiteMapTreeView = nullptr;         // not owned
    QList<QIcon> Images;          // the image list of both views

    // Writes the report and its images into folder; path is the report's full path, also on
    // failure.
    bool CreateJobResultsReport(const std::string& folder, std::string& path) const;

    std::string BuildReportHeader() const;
    std::string BuildJobDetails() const;
    std::string BuildResultsList(const std::string& folder) const;
    std::string BuildSiteMap(const std::string& folder) const;
    std::string BuildReportFooter() const;
    // folder + "/" + the job name made safe + " - yyyy-mm-dd hh.mm.ss.htm" (the end time).
    std::string GetReportFileName(const std::string& folder) const;
};

std::string GetReportStyleSheet();
// Every byte that may not stand in a file name, and "/" and "\", becomes replacement; the
// bytes of multi-byte characters stay.
std::string MakeSafeFileName(const std::string& text, char replacement);
// "&", "<", ">" and '"' as character references.
std::string HTMLEscapeReportText(const std::string& text);

// A 24-bit BMP file of a 16 x 16 image; pixel(x, y) gives 0xRRGGBB.
std::string Encode16x16BMP(const std::function<uint32_t(int x, int y)>& pixel);
// Each image drawn over white as folder/<prefix><index>.bmp.
bool SaveImageListAsBMPs(const QList<QIcon>& images, const std::string& folder, const std::string& prefix);
// White with a small black plus at its centre.
bool Create16x16SpacerBMP(const std::string& path);
