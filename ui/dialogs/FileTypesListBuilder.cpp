#include "ui/dialogs/FileTypesListBuilder.h"

#include "engine/services/AppTraceLog.h"
#include "ui/common/ProgramFiles.h"
#include "ui/common/UIStrings.h"
#include "platform/TextUtils.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QIcon>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPushButton>
#include <QStyle>
#include <QTextStream>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kUnit = "FileTypesListBuilder";

struct TBuiltInCategory {
    int nameId;
    const char* extensions;
    const char* mimeTypes;
};

const TBuiltInCategory kBuiltInCategories[] = {
    {384, " (.jpg, .jpeg, .gif, .png, .bmp)", " (image/jpeg, image/gif, image/png, image/x-ms-bmp)"},
    {385, " (.wav, .mp3, .au, .aiff, .midi, .ra, .wma)",
     " (audio/x-wav, audio/mp3, audio/basic, audio/x-aiff, audio/midi, audio/x-realaudio, audio/x-ms-wma)"},
    {386, " (.avi, .mpg, .mpeg, .mov, .qt, .rm, .ram, .wmv)",
     " (video/x-msvideo, video/mpeg, video/quicktime, application/vnd.rn-realmedia, video/x-ms-wmv)"},
    {387, " (.exe, .com, .bat, .scr, .vbs, .pif)", " (application/octet-stream, application/bat, text/vbscript)"},
    {388, " (.zip, .rar, .iso)", " (application/zip)"},
    {389, " (.txt, .rtf, .doc, .pdf)", " (text/plain, text/rtf, application/msword, application/pdf)"},
    {390, " (.htm, .html, .shtml, .phtml, .jhtml, .php, .asp, .cgi)", " (text/html*)"},
};

// The items of a list separated by commas and/or blanks, lower-cased.
std::vector<std::string> SplitTypes(const std::string& text)
{
    std::vector<std::string> out;
    std::string item;
    for (char c : text) {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!item.empty())
                out.push_back(AsciiLowerCase(item));
            item.clear();
        } else {
            item += c;
        }
    }
    if (!item.empty())
        out.push_back(AsciiLowerCase(item));
    return out;
}

struct TCategoryLine {
    bool valid = false;
    std::string name;
    std::string types;  // as written between the parentheses
};

TCategoryLine ParseCategoryLine(const std::string& line)
{
    TCategoryLine parsed;
    size_t open = line.find('(');
    size_t close = line.find(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return parsed;
    parsed.valid = true;
    parsed.name = TrimSpaceAndTab(line.substr(0, open));
    parsed.types = line.substr(open + 1, close - open - 1);
    return parsed;
}

}  // namespace

TFileTypesListBuilderForm::TFileTypesListBuilderForm(QWidget* parent)
    : QDialog(parent),
      categoriesListView_(new QTreeWidget(this)),
      typesListEdit_(new QLineEdit(this)),
      okButton_(new QPushButton(this)),
      cancelButton_(new QPushButton(this))
{
    setSizeGripEnabled(true);
    categoriesListView_->setColumnCount(2);
    categoriesListView_->setRootIsDecorated(false);
    categoriesListView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    categoriesListView_->setIconSize(QSize(16, 16));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(categoriesListView_, 1);
    layout->addWidget(typesListEdit_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(okButton_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancelButton_, QDialogButtonBox::RejectRole);
    okButton_->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(categoriesListView_, &QTreeWidget::itemChanged, this, [this] {
        if (!populating_)
            ApplyCategoryChecks();
    });
    categoriesListView_->setColumnWidth(0, 160);
    resize(520, 380);
    SetCategoryFilesFolder(GetProgramFilesFolder());
    UpdateLanguageLabels();
}

void TFileTypesListBuilderForm::SetCategoryFilesFolder(const std::string& folder)
{
    folder_ = folder;
    if (!folder_.empty() && folder_.back() != '/')
        folder_ += '/';
    BuildList(kFileExtensions, nullptr);
    LoadCategoryImages();
}

int TFileTypesListBuilderForm::BuildList(int kind, QLineEdit* edit)
{
    try {
        kind_ = kind == kMimeTypes ? kMimeTypes : kFileExtensions;
        if (edit)
            typesListEdit_->setText(edit->text());
        PopulateCategoriesList();
        CheckCategoriesFromEditBox();
        if (!edit)
            return kCancel;
        UpdateLanguageLabels();
        if (exec() != QDialog::Accepted)
            return kCancel;
        edit->setText(typesListEdit_->text());
        return kOK;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "BuildList", kUnit);
        return kCancel;
    }
}

void TFileTypesListBuilderForm::PopulateCategoriesList()
{
    populating_ = true;
    categoriesListView_->clear();
    std::vector<std::string> lines;
    QFile file(QStr(folder_ + (kind_ == kMimeTypes ? "MimeTypes.txt" : "FileExtensions.txt")));
    if (file.exists()) {
        if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            QTextStream in(&file);
            while (!in.atEnd() && lines.size() < static_cast<size_t>(kMaxCategories))
                lines.push_back(StdStr(in.readLine()));
        }
    } else {
        for (const TBuiltInCategory& c : kBuiltInCategories)
            lines.push_back(UIString(c.nameId) + (kind_ == kMimeTypes ? c.mimeTypes : c.extensions));
    }
    categoryCount_ = static_cast<int>(lines.size());
    for (int i = 0; i < categoryCount_; ++i) {
        TCategoryLine parsed = ParseCategoryLine(lines[static_cast<size_t>(i)]);
        if (!parsed.valid) {
            LogEvent(etWarning, "Invalid category " + lines[static_cast<size_t>(i)], "PopulateCategoriesList", kUnit);
            parsed.name.assign(1, '?');  // not = "?": GCC 12 warns wrongly of overlap
        }
        typeLists_[static_cast<size_t>(i)] = SplitTypes(parsed.types);
        auto* item = new QTreeWidgetItem(categoriesListView_, QStringList{QStr(parsed.name), QStr(parsed.types)});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        if (static_cast<int>(categoryImages_.size()) > i)
            item->setIcon(0, categoryImages_[static_cast<size_t>(i)]);
    }
    populating_ = false;
}

std::vector<std::string> TFileTypesListBuilderForm::GetEditBoxTypes() const
{
    return SplitTypes(StdStr(typesListEdit_->text()));
}

void TFileTypesListBuilderForm::SetEditBoxTypes(const std::vector<std::string>& types)
{
    std::string text;
    for (const std::string& type : types) {
        if (!text.empty())
            text += ", ";
        text += type;
    }
    typesListEdit_->setText(QStr(text));
}

bool TFileTypesListBuilderForm::IsCategoryInEditBox(int i) const
{
    const std::vector<std::string>& category = typeLists_[static_cast<size_t>(i)];
    for (const std::string& type : GetEditBoxTypes())
        if (std::find(category.begin(), category.end(), type) != category.end())
            return true;
    return false;
}

void TFileTypesListBuilderForm::CheckCategoriesFromEditBox()
{
    populating_ = true;
    for (int i = 0; i < categoryCount_; ++i) {
        bool in = IsCategoryInEditBox(i);
        categoriesListView_->topLevelItem(i)->setCheckState(0, in ? Qt::Checked : Qt::Unchecked);
        checkMarks_[static_cast<size_t>(i)] = in;
    }
    populating_ = false;
}

void TFileTypesListBuilderForm::ApplyCategoryChecks()
{
    for (int i = 0; i < categoryCount_; ++i) {
        bool checked = categoriesListView_->topLevelItem(i)->checkState(0) == Qt::Checked;
        if (checked == checkMarks_[static_cast<size_t>(i)])
            continue;
        if (checked)
            AddAllCategoryTypesToEditBox(i);
        else
            RemoveAllCategoryTypesFromEditBox(i);
        checkMarks_[static_cast<size_t>(i)] = checked;
    }
}

void TFileTypesListBuilderForm::AddAllCategoryTypesToEditBox(int i)
{
    std::vector<std::string> types = GetEditBoxTypes();
    for (const std::string& type : typeLists_[static_cast<size_t>(i)])
        if (std::find(types.begin(), types.end(), type) == types.end())
            types.push_back(type);
    SetEditBoxTypes(types);
}

void TFileTypesListBuilderForm::RemoveAllCategoryTypesFromEditBox(int i)
{
    std::vector<std::string> types = GetEditBoxTypes();
    for (const std::string& type : typeLists_[static_cast<size_t>(i)]) {
        auto it = std::find(types.begin(), types.end(), type);
        if (it != types.end())
            types.erase(it);
    }
    SetEditBoxTypes(types);
}

// One icon per extension category: the desktop theme's icon for the type of its first
// extension, else the unknown-file icon. The MIME rows reuse them by index.
void TFileTypesListBuilderForm::LoadCategoryImages()
{
    categoryImages_.clear();
    const QIcon unknown = style()->standardIcon(QStyle::SP_FileIcon);
    QMimeDatabase mimes;
    for (int i = 0; i < categoryCount_; ++i) {
        QIcon icon;
        const std::vector<std::string>& types = typeLists_[static_cast<size_t>(i)];
        if (!types.empty()) {
            QMimeType type = mimes.mimeTypeForFile("file" + QStr(types.front()), QMimeDatabase::MatchExtension);
            if (type.isValid() && !type.isDefault())
                icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
        }
        categoryImages_.push_back(icon.isNull() ? unknown : icon);
    }
    populating_ = true;
    for (int i = 0; i < categoryCount_; ++i)
        categoriesListView_->topLevelItem(i)->setIcon(0, categoryImages_[static_cast<size_t>(i)]);
    populating_ = false;
}

void TFileTypesListBuilderForm::UpdateLanguageLabels()
{
    setWindowTitle(QUIString(kind_ == kMimeTypes ? 100 : 99));
    categoriesListView_->setHeaderLabels({QUIString(101), QUIString(kind_ == kMimeTypes ? 42 : 41)});
    okButton_->setText(QUIString(102));
    cancelButton_->setText(QUIString(103));
    ApplyLanguageFont(this);
}
