#include "ui/UIStrings.h"

#include <QFont>
#include <QWidget>

#include <charconv>
#include <unordered_map>

namespace {

// English texts of the string numbers the windows use, until the language tables answer.
const std::unordered_map<int, const char*>& EnglishTexts()
{
    static const std::unordered_map<int, const char*> texts = {
        {7, "MS Shell Dlg"},
        {8, "8"},
        {19, "Start"},
        {20, "Job Queue"},
        {21, "Progress"},
        {22, "Preferences"},
        {23, "Log"},
        {24, "Browse"},
        {25, "About"},
        {26, "Send feedback"},
        {32, "Passwords"},
        {37, "Starting Address"},
        {38, "Location Restrictions"},
        {39, "Address Restrictions"},
        {40, "File Count and Size"},
        {41, "File Extensions"},
        {42, "MIME Types"},
        {43, "Protocols"},
        {44, "Timeouts"},
        {45, "Find and Replace"},
        {46, "HTML Header/Footer"},
        {47, "Cookies"},
        {48, "Additional Options"},
        {49, "Open Job..."},
        {50, "Save Job..."},
        {51, "Add Job to Queue"},
        {52, "Download Now"},
        {53, "Reset Job Defaults"},
        {54, "Choose a common job from the menu, or press the Show Details button to create a custom download job."},
        {55, "Common Jobs..."},
        {56, "Show details"},
        {57, "Hide details"},
        {61, "Open jobs folder"},
        {62, "Job name:"},
        {63, "Untitled Job XXX"},
        {64, "Starting address:"},
        {65, "Destination folder:"},
        {66, "..."},
        {67, "Browse for folder"},
        {68, "Explore"},
        {69, "Save files within flat folder"},
        {70, "Save files within original folder tree"},
        {71, "Fix links to point to downloaded files"},
        {72, "Select a destination folder:"},
        {73, "Folder Does Not Exist"},
        {74, "Create XXX?"},
        {75, "Error"},
        {76, "Unable to create folder."},
        {77, "A drive root folder cannot be used as a destination folder."},
        {120, "Update previously downloaded files"},
        {162, "Queued"},
        {163, "Busy"},
        {164, "Complete"},
        {165, "Complete"},
        {166, "Error"},
        {167, "Stopped"},
        {168, "Aborted"},
        {169, "Paused"},
        {170, "Loading job queue..."},
        {171, "Saving job queue..."},
        {176, "Cannot Add Job"},
        {177, "XXX is an invalid starting address."},
        {178, "Please enter a starting address."},
        {179, "The job queue is full."},
        {213, "Current Job: XXX"},
        {214, "XXX of YYY Jobs Completed"},
        {215, "Ready"},
        {216, "Status"},
        {217, "Job Name"},
        {225, "Move up"},
        {226, "Move down"},
        {227, "Start"},
        {228, "Stop"},
        {229, "Edit"},
        {232, "Remove"},
        {233, "Unable to read job file"},
        {234, "Unable to write job file"},
        {263, "Error XXX (YYY)"},
        {360, "Missing file XXX"},
        {361, "Help"},
    };
    return texts;
}

std::string ExpandLineBreaks(std::string text)
{
    static const std::string seq = "\\r\\n";
    for (size_t pos = text.find(seq); pos != std::string::npos; pos = text.find(seq, pos + 2))
        text.replace(pos, seq.size(), "\r\n");
    return text;
}

}  // namespace

std::string UIString(int id)
{
    auto it = EnglishTexts().find(id);
    return it == EnglishTexts().end() ? std::string("?") : ExpandLineBreaks(it->second);
}

QString QUIString(int id)
{
    return QString::fromStdString(UIString(id));
}

int UIInteger(int id, int def)
{
    std::string text = UIString(id);
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return def;
    return value;
}

std::string ReplaceFirst(std::string text, const std::string& placeholder, const std::string& value)
{
    size_t pos = text.find(placeholder);
    if (pos != std::string::npos)
        text.replace(pos, placeholder.size(), value);
    return text;
}

QString QReplaceFirst(QString text, const QString& placeholder, const QString& value)
{
    qsizetype pos = text.indexOf(placeholder);
    if (pos >= 0)
        text.replace(pos, placeholder.size(), value);
    return text;
}

void ApplyLanguageFont(QWidget* widget)
{
    QFont font = widget->font();
    font.setFamily(QUIString(7));
    int size = UIInteger(8, font.pointSize());
    if (size > 0)
        font.setPointSize(size);
    widget->setFont(font);
}
