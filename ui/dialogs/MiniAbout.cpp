#include "ui/dialogs/MiniAbout.h"

#include "engine/services/AppInfo.h"
#include "ui/common/AppName.h"
#include "ui/common/Speech.h"
#include "ui/common/UIStrings.h"

#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QRandomGenerator>
#include <QVBoxLayout>

namespace {

constexpr int64_t kQuietAfterReactionMs = 1199;
constexpr int64_t kTooFastMs = 700;

QPixmap MakeLogo()
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x2e, 0x7d, 0x32));
    painter.setPen(QPen(QColor(0x1b, 0x5e, 0x20), 3));
    painter.drawEllipse(4, 4, 56, 56);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(36);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, "G");
    return pixmap;
}

std::string CopyrightText()
{
    const TAppInfo* info = TAppInfo::Instance();
    return info ? info->LegalCopyright : std::string();
}

}  // namespace

TLogoReactions::TLogoReactions(TRandom random) : random_(std::move(random)) {}

TLogoReactions::TReaction TLogoReactions::DoubleClick(int64_t nowMs)
{
    if (nowMs - lastReaction_ <= kQuietAfterReactionMs)
        return {};
    if (count_ > 3) {
        if (nowMs - lastDoubleClick_ < kTooFastMs) {
            static const char* const kTooFast[] = {"Hold onn", "Computing", "Slow down"};
            lastReaction_ = nowMs;
            return {kTooFast[random_(3)], true};
        }
        lastDoubleClick_ = nowMs;
        if (count_ > 6 && random_(10) == 0) {
            if (random_(3) < 2)
                return {"This  is  fun.", true};
            count_ = 3;
            return {"Let's  start  over.", true};
        }
    }
    ++count_;
    const int said = count_ - 3;
    if (said >= 1 && said <= 100)
        return {QString::number(said), false};
    return {};
}

TMiniAboutFrame::TMiniAboutFrame(QWidget* parent)
    : QFrame(parent),
      reactions_([](int n) { return int(QRandomGenerator::global()->bounded(n)); }),
      gyImage_(new QLabel(this)),
      programName_(new QLabel(this)),
      versionDescription_(new QLabel(this)),
      copyrightDescription_(new QLabel(this))
{
    gyImage_->setPixmap(MakeLogo());
    gyImage_->installEventFilter(this);
    QFont big = programName_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.6);
    programName_->setFont(big);
    auto* texts = new QVBoxLayout;
    texts->addWidget(programName_);
    texts->addWidget(versionDescription_);
    texts->addWidget(copyrightDescription_);
    texts->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(gyImage_, 0, Qt::AlignTop);
    layout->addLayout(texts, 1);
    UpdateLanguageLabels();
}

void TMiniAboutFrame::UpdateLanguageLabels()
{
    programName_->setText(QStr(AppProductName()));
    versionDescription_->setText(QReplaceFirst(QUIString(345), "XXX", QStr(AppVersion())));
    copyrightDescription_->setText(QStr(CopyrightText()));
}

bool TMiniAboutFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == gyImage_ && event->type() == QEvent::MouseButtonDblClick) {
        GYImageDblClick();
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

void TMiniAboutFrame::GYImageDblClick()
{
    const TLogoReactions::TReaction reaction = reactions_.DoubleClick(QDateTime::currentMSecsSinceEpoch());
    if (!reaction.text.isEmpty())
        Speak(StdStr(reaction.text), reaction.wait);
}
