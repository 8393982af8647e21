#include "ui/preferences/PreferencesSlideshow.h"

#include "platform/IniFile.h"
#include "ui/preferences/PreferenceGetters.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <limits>

namespace {

int32_t WholeNumberOrZero(const QString& text)
{
    int64_t value = 0;
    if (!TIniFile::ParseInteger(StdStr(text), value) || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        return 0;
    return static_cast<int32_t>(value);
}

}  // namespace

TPreferencesSlideshowFrame::TPreferencesSlideshowFrame(QWidget* parent)
    : QFrame(parent),
      minWidthLabel_(new QLabel(this)),
      minWidth_(new QLineEdit(this)),
      minHeightLabel_(new QLabel(this)),
      minHeight_(new QLineEdit(this)),
      shrinkLarge_(new QCheckBox(this))
{
    minWidth_->setMaximumWidth(80);
    minHeight_->setMaximumWidth(80);
    auto* grid = new QGridLayout;
    grid->addWidget(minWidthLabel_, 0, 0);
    grid->addWidget(minWidth_, 0, 1);
    grid->addWidget(minHeightLabel_, 1, 0);
    grid->addWidget(minHeight_, 1, 1);
    grid->setColumnStretch(2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(shrinkLarge_);
    layout->addStretch(1);
    // Each change stores its own key alone: another instance may have changed the others.
    // A minimum that is not a whole number is stored as 0 (no minimum).
    connect(minWidth_, &QLineEdit::textChanged, this, [this] {
        if (!loading_)
            WriteSettingInteger("Slideshow", "MinSlideWidth", WholeNumberOrZero(minWidth_->text()));
    });
    connect(minHeight_, &QLineEdit::textChanged, this, [this] {
        if (!loading_)
            WriteSettingInteger("Slideshow", "MinSlideHeight", WholeNumberOrZero(minHeight_->text()));
    });
    connect(shrinkLarge_, &QCheckBox::toggled, this, [this] {
        if (!loading_)
            WriteSettingBool("Slideshow", "ShrinkLarge", shrinkLarge_->isChecked());
    });
}

void TPreferencesSlideshowFrame::LoadSlideshowPreferences()
{
    loading_ = true;
    minWidth_->setText(QString::number(GetMinSlideWidth()));
    minHeight_->setText(QString::number(GetMinSlideHeight()));
    shrinkLarge_->setChecked(GetShrinkLarge());
    loading_ = false;
}

void TPreferencesSlideshowFrame::UpdateLanguageLabels()
{
    minWidthLabel_->setText(QUIString(342));
    minHeightLabel_->setText(QUIString(343));
    shrinkLarge_->setText(QUIString(344));
    ApplyLanguageFont(this);
}
