#include "ui/progress/CopyProgressRpt.h"

#include "engine/services/AppTraceLog.h"
#include "engine/job/URLType.h"
#include "engine/parse/CharacterReferences.h"
#include "platform/IniFile.h"
#include "ui/progress/CopyProgressModels.h"
#include "ui/common/DateTimeText.h"
#include "ui/common/AppName.h"
#include "ui/common/UIStrings.h"

#include <QImage>
#include <QLocale>
#include <QPainter>

#include <functional>
#include <stdexcept>

namespace {

const char* const kUnit = "CopyProgressRpt";
const char* const kMakerHomePage = "https://www.brindlesoft.com/";

std::string Escaped(const QString& text)
{
    return HTMLEscapeReportText(text.toStdString());
}

// A language text as the report writes it.
std::string Text(int id)
{
    return HTMLEscapeReportText(UIString(id));
}

std::string NumberText(int64_t value)
{
    return QLocale().toString(static_cast<qlonglong>(value)).toStdString();
}

std::string NameCell(const std::string& name)
{
    return "<TD><SPAN CLASS=\"JobDetailsName\">" + name + "</SPAN></TD>";
}

std::string ValueCell(const std::string& value)
{
    return "<TD><SPAN CLASS=\"JobDetailsValue\"> " + value + "</SPAN></TD>";
}

std::string ImageTag(const std::string& source)
{
    return "<IMG SRC=\"" + source + "\" ALIGN=\"LEFT\">";
}

void PutLE16(std::string& out, uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void PutLE32(std::string& out, uint32_t v)
{
    PutLE16(out, v & 0xFFFF);
    PutLE16(out, v >> 16);
}

// The version without a trailing ".0.0".
std::string ReportVersion()
{
    std::string version = AppVersion();
    if (version.size() > 4 && version.compare(version.size() - 4, 4, ".0.0") == 0)
        version.erase(version.size() - 4);
    return version;
}

}  // namespace

std::string HTMLEscapeReportText(const std::string& text)
{
    return EscapeHTMLText(text, false);
}

std::string GetReportStyleSheet()
{
    return "<STYLE TYPE=\"text/css\">body { font-family: tahoma, arial, serif; font-size: 0.8em } H1 { font-size: "
           "140%; color: #002878 } H2 { font-size: 120%; color: #002878 } DIV.JobDetails {} TABLE.JobDetails { "
           "font-size: 0.8em; border: 0px; padding: 4px } SPAN.JobDetailsName { font-weight: bold; color: #002878 } "
           "SPAN.JobDetailsValue{} DIV.ResultsList{} TABLE.ResultsList {font-size: 0.8em; border:1px solid black; "
           "border-collapse: collapse; border-spacing: 0px;} TABLE.ResultsList TD {border:1px dotted #002878; "
           "padding: 4px} TD.ResultsListColName { font-weight: bold; color: #002878; background-color: #D1E0FF; } "
           "DIV.SiteMap {} TABLE.SiteMap {font-size: 0.8em; border: 0px } DIV.Footer { font-style: italic } "
           "</STYLE>";
}

std::string TJobResultsReportData::BuildReportHeader() const
{
    const std::string heading = Text(363);
    return "<HTML><HEAD><TITLE>" + heading + " - " + HTMLEscapeReportText(Job.JobName) + "</TITLE>" +
           GetReportStyleSheet() + "<META HTTP-EQUIV=\"content-type\" CONTENT=\"" + Text(364) + "\">" +
           "</HEAD>" + "<BODY>" + "<H1>" + heading + "</H1>";
}

std::string TJobResultsReportData::BuildJobDetails() const
{
    // The password of the starting address stays out of the report.
    TURL start;
    start.Assign(Job.StartingWebAddress);
    if (!start.GetPassword().empty())
        start.SetUserAndPassword(start.GetUserName(), "");
    const std::pair<int, std::string> rows[] = {
        {62, HTMLEscapeReportText(Job.JobName)},
        {64, HTMLEscapeReportText(start.GetFullURL())},
        {65, HTMLEscapeReportText(Job.GetDestinationPath())},
        {365, HTMLEscapeReportText(StatusText)},
        {366, Escaped(FormatDateAndTime(StartTime))},
        {367, Escaped(FormatDateAndTime(EndTime))},
        {368, HTMLEscapeReportText(NumberText(FilesDownloaded))},
        {369, HTMLEscapeReportText(NumberText(BytesDownloaded))},
    };
    std::string line = "<DIV CLASS=\"JobDetails\"><TABLE CLASS=\"JobDetails\">";
    for (const auto& [id, value] : rows)
        line += "<TR>" + NameCell(Text(id)) + ValueCell(value) + "</TR>";
    return line + "</TABLE></DIV>";
}

std::string TJobResultsReportData::BuildResultsList(const std::string& folder) const
{
    SaveImageListAsBMPs(Images, folder, "list");
    std::string line = "<DIV CLASS=\"ResultsList\"><H2>" + Text(239) + "</H2>" + "<TABLE CLASS=\"" +
                       "ResultsList" + "\">" + "<TR>";
    const TCompletedFilesModel* list = ResultsListView;
    const int columns = list ? list->columnCount() : 0;
    for (int c = 0; c < columns; ++c)
        line += std::string("<TD CLASS=\"") + "ResultsListColName" + "\">" + Escaped(list->ColumnCaption(c)) + "</TD>";
    line += "</TR>";
    const int32_t count = list ? list->Count() : 0;
    for (int32_t i = 0; i < count; ++i) {
        const TCompletedRow& row = list->Row(i);
        line += std::string("<TR CLASS=\"") + (i % 2 == 0 ? "ResultsListEvenRow" : "ResultsListOddRow") + "\">";
        line += "<TD>" + ImageTag("list" + std::to_string(row.Image) + ".bmp") + Escaped(row.Text(ccResult)) + "</TD>";
        for (int c = ccResult + 1; c < columns; ++c)
            line += "<TD>" + Escaped(row.Text(c)) + "</TD>";
        line += "</TR>";
    }
    return line + "</TABLE></DIV>";
}

std::string TJobResultsReportData::BuildSiteMap(const std::string& folder) const
{
    SaveImageListAsBMPs(Images, folder, "tree");
    Create16x16SpacerBMP(folder + "/" + "indent.bmp");
    std::string line = "<DIV CLASS=\"SiteMap\"><H2>" + Text(240) + "</H2>" + "<TABLE BORDER=\"0\" CLASS=\"" +
                       "SiteMap" + "\">";
    const std::string spacer = ImageTag("indent.bmp");
    // Depth first, children in tree order; an explicit stack keeps deep paths off the call stack.
    std::vector<std::pair<const TSiteMapNode*, size_t>> pending;
    if (SiteMapTreeView && SiteMapTreeView->Root())
        pending.emplace_back(SiteMapTreeView->Root(), 0);
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        line += "<TR><TD>";
        for (size_t d = 0; d < depth; ++d)
            line += spacer;
        line += ImageTag("tree" + std::to_string(node->Image) + ".bmp") + Escaped(node->Text()) + "</TD></TR>";
        for (auto it = node->Children.rbegin(); it != node->Children.rend(); ++it)
            pending.emplace_back(it->get(), depth + 1);
    }
    return line + "</TABLE></DIV>";
}

std::string TJobResultsReportData::BuildReportFooter() const
{
    std::string product = AppProductName();
    if (product.empty())
        product = "Gleanery";
    std::string link = std::string("<A HREF=\"") + kMakerHomePage + "\">" + HTMLEscapeReportText(product) + " " +
                       HTMLEscapeReportText(ReplaceFirst(UIString(345), "XXX", ReportVersion())) + "</A>";
    // The text around the link is escaped; the link goes in whole.
    const std::string text = UIString(370);
    const size_t at = text.find("XXX");
    const std::string footer = at == std::string::npos
                                   ? HTMLEscapeReportText(text)
                                   : HTMLEscapeReportText(text.substr(0, at)) + link +
                                         HTMLEscapeReportText(text.substr(at + 3));
    return "<BR /><DIV CLASS=\"Footer\">" + footer + "</DIV></BODY></HTML>";
}

std::string MakeSafeFileName(const std::string& text, char replacement)
{
    std::string out = text;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) >= 0x80)
            continue;
        if (IsInvalidFileNameChar(c) || c == '/' || c == '\\')
            c = replacement;
    }
    return out;
}

std::string TJobResultsReportData::GetReportFileName(const std::string& folder) const
{
    std::string suffix = " - " + EndTime.toString("yyyy-MM-dd hh.mm.ss").toStdString() + ".htm";
    // Room within 259 bytes for the whole path, and within 255 bytes for the file name.
    int64_t room = std::min<int64_t>(259 - static_cast<int64_t>(folder.size()) - static_cast<int64_t>(suffix.size()),
                                     255 - static_cast<int64_t>(suffix.size()));
    std::string name = Job.JobName;
    if (room <= 0) {
        name.clear();
    } else if (name.size() > static_cast<size_t>(room)) {
        size_t cut = static_cast<size_t>(room);
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;  // never inside a character
        name.resize(cut);
    }
    return folder + "/" + MakeSafeFileName(name, '_') + suffix;
}

bool TJobResultsReportData::CreateJobResultsReport(const std::string& folder, std::string& path) const
{
    path = GetReportFileName(folder);
    try {
        std::string text = BuildReportHeader() + "\r\n";
        if (IncludeJobDetails)
            text += BuildJobDetails() + "\r\n";
        if (IncludeResultsList)
            text += BuildResultsList(folder) + "\r\n";
        if (IncludeSiteMap)
            text += BuildSiteMap(folder) + "\r\n";
        text += BuildReportFooter() + "\r\n";
        if (!AtomicWriteFile(path, text))
            throw std::runtime_error("Cannot write " + path);
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "CreateJobResultsReport", kUnit);
        return false;
    }
}

std::string Encode16x16BMP(const std::function<uint32_t(int x, int y)>& pixel)
{
    constexpr uint32_t kSide = 16;
    constexpr uint32_t kRowBytes = kSide * 3;  // already a multiple of 4
    constexpr uint32_t kImageBytes = kRowBytes * kSide;
    constexpr uint32_t kOffset = 14 + 40;
    std::string out;
    out.reserve(kOffset + kImageBytes);
    out += "BM";
    PutLE32(out, kOffset + kImageBytes);
    PutLE32(out, 0);
    PutLE32(out, kOffset);
    PutLE32(out, 40);
    PutLE32(out, kSide);
    PutLE32(out, kSide);
    PutLE16(out, 1);
    PutLE16(out, 24);
    PutLE32(out, 0);  // no compression
    PutLE32(out, kImageBytes);
    PutLE32(out, 2835);  // 72 dpi
    PutLE32(out, 2835);
    PutLE32(out, 0);
    PutLE32(out, 0);
    for (int y = static_cast<int>(kSide) - 1; y >= 0; --y) {  // bottom row first
        for (int x = 0; x < static_cast<int>(kSide); ++x) {
            uint32_t rgb = pixel(x, y);
            out += static_cast<char>(rgb & 0xFF);
            out += static_cast<char>((rgb >> 8) & 0xFF);
            out += static_cast<char>((rgb >> 16) & 0xFF);
        }
    }
    return out;
}

bool SaveImageListAsBMPs(const QList<QIcon>& images, const std::string& folder, const std::string& prefix)
{
    try {
        bool ok = true;
        for (qsizetype i = 0; i < images.size(); ++i) {
            QImage image(16, 16, QImage::Format_RGB32);
            image.fill(Qt::white);
            {
                QPainter painter(&image);
                images[i].paint(&painter, QRect(0, 0, 16, 16));
            }
            std::string bytes = Encode16x16BMP([&](int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; });
            if (!AtomicWriteFile(folder + "/" + prefix + std::to_string(i) + ".bmp", bytes))
                ok = false;
        }
        return ok;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "SaveImageListAsBMPs", kUnit);
        return false;
    }
}

bool Create16x16SpacerBMP(const std::string& path)
{
    try {
        auto pixel = [](int x, int y) -> uint32_t {
            bool plus = (x == 7 && (y == 6 || y == 7 || y == 8)) || (y == 7 && (x == 6 || x == 8));
            return plus ? 0x000000u : 0xFFFFFFu;
        };
        return AtomicWriteFile(path, Encode16x16BMP(pixel));
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "Create16x16SpacerBMP", kUnit);
        return false;
    }
}
