#include "ui/options/ListRestrictions.h"

#include "engine/job/JobTypes.h"
#include "ui/dialogs/FileTypesListBuilder.h"
#include "ui/common/UIStrings.h"
#include "platform/TextUtils.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>

namespace {

const size_t kLongestItem = 64;
const size_t kMostItems = 64;

}  // namespace

TListRestrictionsFrame::TListRestrictionsFrame(TCopyJob& job, int builderKind, int firstCaptionId, QWidget* parent)
    : TJobOptionPage(job, parent),
      builderKind_(builderKind),
      firstCaptionId_(firstCaptionId),
      allRadio_(new QRadioButton(this)),
      onlyRadio_(new QRadioButton(this)),
      notRadio_(new QRadioButton(this)),
      onlyEdit_(new QLineEdit(this)),
      notEdit_(new QLineEdit(this))
{
    allRadio_->setChecked(true);
    auto* layout = new QGridLayout(this);
    layout->addWidget(allRadio_, 0, 0, 1, 2);
    layout->setRowMinimumHeight(1, 8);
    layout->addWidget(onlyRadio_, 2, 0, 1, 2);
    layout->addWidget(onlyEdit_, 3, 0);
    layout->setRowMinimumHeight(4, 8);
    layout->addWidget(notRadio_, 5, 0, 1, 2);
    layout->addWidget(notEdit_, 6, 0);
    layout->setRowStretch(7, 1);
    layout->setColumnStretch(0, 1);
    if (builderKind_ != 0) {
        listBuilder_ = new TFileTypesListBuilderForm(this);
        onlyBuildButton_ = new QToolButton(this);
        notBuildButton_ = new QToolButton(this);
        layout->addWidget(onlyBuildButton_, 3, 1);
        layout->addWidget(notBuildButton_, 6, 1);
        connect(onlyBuildButton_, &QToolButton::clicked, this, [this] { BuildButtonClick(onlyRadio_, onlyEdit_); });
        connect(notBuildButton_, &QToolButton::clicked, this, [this] { BuildButtonClick(notRadio_, notEdit_); });
    }
}

void TListRestrictionsFrame::BuildButtonClick(QRadioButton* radio, QLineEdit* edit)
{
    radio->setChecked(true);
    listBuilder_->BuildList(builderKind_, edit);
}

void TListRestrictionsFrame::LoadFromCopyJob()
{
    switch (Purpose()) {
    case lpOnlyThese:
        onlyRadio_->setChecked(true);
        onlyEdit_->setText(QStr(ShownText(List())));
        break;
    case lpNotThese:
        notRadio_->setChecked(true);
        notEdit_->setText(QStr(ShownText(List())));
        break;
    case lpUnused:
        allRadio_->setChecked(true);
        break;
    default:
        break;
    }
}

void TListRestrictionsFrame::SaveToCopyJob()
{
    if (allRadio_->isChecked()) {
        Purpose() = lpUnused;
        if (ClearListWhenAll())
            List().clear();
    } else if (onlyRadio_->isChecked()) {
        Purpose() = lpOnlyThese;
        List() = StoredText(onlyEdit_->text());
    } else if (notRadio_->isChecked()) {
        Purpose() = lpNotThese;
        List() = StoredText(notEdit_->text());
    } else if (StorePurposeWhenNoneChecked()) {
        Purpose() = lpUnused;
    }
    if (ReloadAfterSave())
        LoadFromCopyJob();
}

void TListRestrictionsFrame::UpdateLanguageLabels()
{
    ApplyLanguageFont(this);
    allRadio_->setText(QUIString(firstCaptionId_));
    onlyRadio_->setText(QUIString(firstCaptionId_ + 1));
    notRadio_->setText(QUIString(firstCaptionId_ + 2));
    for (QToolButton* b : {onlyBuildButton_, notBuildButton_})
        if (b)
            b->setText("...");
}

TAddressRestrictionsFrame::TAddressRestrictionsFrame(TCopyJob& job, QWidget* parent)
    : TListRestrictionsFrame(job, 0, 87, parent)
{
    UpdateLanguageLabels();
}

std::string& TAddressRestrictionsFrame::List() { return job_.AddressStrings; }
int32_t& TAddressRestrictionsFrame::Purpose() { return job_.AddressStringsPurpose; }

std::string TAddressRestrictionsFrame::ShownText(const std::string& list) const
{
    return NormalizeList(std::string(TrimSpaceAndTab(list)), kLongestItem, kMostItems);
}

std::string TAddressRestrictionsFrame::StoredText(const QString& text) const
{
    return NormalizeList(std::string(TrimSpaceAndTab(StdStr(text))), kLongestItem, kMostItems);
}

TFileExtensionsFrame::TFileExtensionsFrame(TCopyJob& job, QWidget* parent)
    : TListRestrictionsFrame(job, TFileTypesListBuilderForm::kFileExtensions, 96, parent)
{
    UpdateLanguageLabels();
}

std::string& TFileExtensionsFrame::List() { return job_.Extensions; }
int32_t& TFileExtensionsFrame::Purpose() { return job_.ExtensionsPurpose; }

std::string TFileExtensionsFrame::ShownText(const std::string& list) const
{
    return NormalizeList(list, kLongestItem, kMostItems);
}

std::string TFileExtensionsFrame::StoredText(const QString& text) const
{
    return NormalizeList(StdStr(text), kLongestItem, kMostItems);
}

TMimeTypesFrame::TMimeTypesFrame(TCopyJob& job, QWidget* parent)
    : TListRestrictionsFrame(job, TFileTypesListBuilderForm::kMimeTypes, 104, parent)
{
    UpdateLanguageLabels();
}

std::string& TMimeTypesFrame::List() { return job_.Types; }
int32_t& TMimeTypesFrame::Purpose() { return job_.TypesPurpose; }

std::string TMimeTypesFrame::ShownText(const std::string& list) const
{
    return list;
}

std::string TMimeTypesFrame::StoredText(const QString& text) const
{
    return StdStr(text);
}
