#include "ui/preferences/PreferencesSounds.h"

#include "engine/services/AppTraceLog.h"
#include "engine/messages/SpiderOutputMsgTypes.h"
#include "ui/main/SpiderOutputSplitter.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSoundEffect>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const char* const kUnit = "PreferencesSounds";
const char* const kSection = "Sounds";
const char* const kKeys[TPreferencesSoundsFrame::seCount] = {"JobStart", "JobEnd", "FileDownload"};
const char* const kNeverChosen = "(None)";
constexpr int kLabelIds[TPreferencesSoundsFrame::seCount] = {203, 204, 205};

}  // namespace

TPreferencesSoundsFrame::TPreferencesSoundsFrame(QWidget* parent)
    : QFrame(parent), enableSounds_(new QCheckBox(this))
{
    auto* grid = new QGridLayout;
    for (int i = 0; i < seCount; ++i) {
        labels_[i] = new QLabel(this);
        files_[i] = new QLineEdit(this);
        browse_[i] = new QToolButton(this);
        browse_[i]->setText("...");
        play_[i] = new QToolButton(this);
        play_[i]->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
        grid->addWidget(labels_[i], i * 2, 0, 1, 3);
        grid->addWidget(files_[i], i * 2 + 1, 0);
        grid->addWidget(browse_[i], i * 2 + 1, 1);
        grid->addWidget(play_[i], i * 2 + 1, 2);
        files_[i]->installEventFilter(this);
        connect(files_[i], &QLineEdit::textChanged, this, [this, i] { OnFileNameChange(i); });
        connect(browse_[i], &QToolButton::clicked, this, [this, i] { BrowseForSoundFile(files_[i]); });
        connect(play_[i], &QToolButton::clicked, this, [this, i] { PlayEditFile(files_[i]); });
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(enableSounds_);
    layout->addLayout(grid);
    layout->addStretch(1);
    connect(enableSounds_, &QCheckBox::toggled, this, &TPreferencesSoundsFrame::EnableSoundsClick);
    EnableSoundControls(false);
}

TPreferencesSoundsFrame::~TPreferencesSoundsFrame() = default;

void TPreferencesSoundsFrame::LoadSoundPreferences()
{
    saveEnabled_ = false;
    try {
        enableSounds_->setChecked(ReadSettingBool(kSection, "SoundsEnabled", false));
        for (int i = 0; i < seCount; ++i) {
            std::string path = ReadSettingString(kSection, kKeys[i], i == seJobStart ? "" : kNeverChosen);
            // A sound never chosen: this system has no default sound files to offer.
            if (i != seJobStart && path == kNeverChosen)
                path.clear();
            files_[i]->setText(QStr(path));
        }
        EnableSoundControls(enableSounds_->isChecked());
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "LoadSoundPreferences", kUnit);
    }
    saveEnabled_ = true;
}

void TPreferencesSoundsFrame::EnableSoundControls(bool enabled)
{
    for (int i = 0; i < seCount; ++i) {
        files_[i]->setEnabled(enabled);
        browse_[i]->setEnabled(enabled);
        play_[i]->setEnabled(enabled);
    }
}

void TPreferencesSoundsFrame::EnableSoundsClick()
{
    if (!saveEnabled_)
        return;
    WriteSettingBool(kSection, "SoundsEnabled", enableSounds_->isChecked());
    EnableSoundControls(enableSounds_->isChecked());
}

void TPreferencesSoundsFrame::OnFileNameChange(int event)
{
    // Only the changed key: another instance may have changed the others.
    if (saveEnabled_)
        WriteSettingString(kSection, kKeys[event], StdStr(files_[event]->text()));
}

void TPreferencesSoundsFrame::BrowseForSoundFile(QLineEdit* edit)
{
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("wav");
    dialog.setNameFilter("Sound file (*.wav *.WAV)");
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        edit->setText(dialog.selectedFiles().first());
}

void TPreferencesSoundsFrame::PlaySoundFile(const std::string& path)
{
    if (path.empty() || !QFileInfo(QStr(path)).isFile())
        return;
    if (player_) {
        player_(path);
        return;
    }
    // One sound at a time: a new one cuts off the last.
    if (!effect_)
        effect_ = new QSoundEffect(this);
    effect_->stop();
    effect_->setSource(QUrl::fromLocalFile(QStr(path)));
    effect_->play();
}

void TPreferencesSoundsFrame::PlayEditFile(const QLineEdit* edit)
{
    PlaySoundFile(StdStr(edit->text()));
}

void TPreferencesSoundsFrame::RegisterForSpiderOutput(TSpiderOutputSplitterForm* splitter)
{
    if (splitter)
        splitter->RegisterForSpiderOutput(
            kSoundsOutputMask, [this](const TSpiderOutputMsg& msg, int32_t label) { OnSpiderOutput(msg, label); });
}

void TPreferencesSoundsFrame::OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t)
{
    try {
        if (!enableSounds_->isChecked())
            return;
        if (msg.FMsgType == OUTMSG_JOB_STARTED)
            PlayEditFile(files_[seJobStart]);
        else if (msg.FMsgType == OUTMSG_JOB_ENDED)
            PlayEditFile(files_[seJobEnd]);
        else if (msg.FMsgType == OUTMSG_DOWNLOAD_ENDED)
            PlayEditFile(files_[seFileDownload]);
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "OnSpiderOutput", kUnit);
    }
}

bool TPreferencesSoundsFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            for (QLineEdit* edit : files_)
                if (watched == edit) {
                    PlayEditFile(edit);
                    return true;
                }
        }
    }
    return QFrame::eventFilter(watched, event);
}

void TPreferencesSoundsFrame::UpdateLanguageLabels()
{
    enableSounds_->setText(QUIString(202));
    for (int i = 0; i < seCount; ++i)
        labels_[i]->setText(QUIString(kLabelIds[i]));
    ApplyLanguageFont(this);
}
