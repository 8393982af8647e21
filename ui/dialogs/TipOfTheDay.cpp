#include "ui/dialogs/TipOfTheDay.h"

#include "engine/services/AppTraceLog.h"
#include "ui/common/Speech.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char* const kUnit = "TipOfTheDay";
constexpr int kBlinkTickMs = 500;
constexpr qint64 kBlinkPauseMs = 6000;

// A simple face, eyes open or shut.
QPixmap MakeFace(bool eyesOpen)
{
    QPixmap pixmap(48, 48);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0xff, 0xd5, 0x4f));
    painter.setPen(QPen(QColor(0x8d, 0x6e, 0x00), 2));
    painter.drawEllipse(3, 3, 42, 42);
    painter.setPen(QPen(Qt::black, 2));
    if (eyesOpen) {
        painter.setBrush(Qt::black);
        painter.drawEllipse(QPoint(17, 19), 3, 4);
        painter.drawEllipse(QPoint(31, 19), 3, 4);
    } else {
        painter.drawLine(14, 19, 20, 19);
        painter.drawLine(28, 19, 34, 19);
    }
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(14, 22, 20, 14, 200 * 16, 140 * 16);
    return pixmap;
}

}  // namespace

bool GetShowTipsOnStartup()
{
    return ReadSettingBool("Tips", "ShowOnStartup", true);
}

void SetShowTipsOnStartup(bool on)
{
    WriteSettingBool("Tips", "ShowOnStartup", on);
}

QStringList ReadTipsFile(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        LogEvent(etWarning, "Cannot read " + StdStr(path), "ReadTipsFile", kUnit);
        return {};
    }
    const QString text = QString::fromUtf8(file.readAll());
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(QRegularExpression("\r\n|\r|\n"));
    // A line break at the very end closes the last line; it starts no new one.
    if (lines.size() > 1 && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

QString ExpandTipText(QString tip)
{
    return tip.replace("\\r\\n", "\n", Qt::CaseInsensitive);
}

int WrapTipIndex(int64_t index, int count)
{
    if (count <= 0)
        return -1;
    if (index < 0)
        return count - 1;
    if (index >= count)
        return 0;
    return static_cast<int>(index);
}

bool IsEnglishLanguageName(const QString& name)
{
    return name.startsWith("English", Qt::CaseInsensitive);
}

TTipOfTheDayForm::TTipOfTheDayForm(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      tipMemo_(new QPlainTextEdit(this)),
      closeBtn_(new QPushButton(this)),
      nextTipBtn_(new QPushButton(this)),
      prevTipBtn_(new QPushButton(this)),
      speakBtn_(new QPushButton(this)),
      showOnStartup_(new QCheckBox(this)),
      eyes_(new QStackedWidget(this)),
      blinkTimer_(new QTimer(this))
{
    tipMemo_->setReadOnly(true);
    tipMemo_->setFocusPolicy(Qt::NoFocus);
    tipMemo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    for (bool open : {true, false}) {
        auto* face = new QLabel(eyes_);
        face->setPixmap(MakeFace(open));
        face->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
        eyes_->addWidget(face);
    }
    eyes_->setFixedWidth(56);
    auto* top = new QHBoxLayout;
    top->addWidget(eyes_);
    top->addWidget(tipMemo_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(showOnStartup_);
    buttons->addStretch(1);
    buttons->addWidget(speakBtn_);
    buttons->addWidget(prevTipBtn_);
    buttons->addWidget(nextTipBtn_);
    buttons->addWidget(closeBtn_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    closeBtn_->setDefault(true);
    for (QPushButton* button : {nextTipBtn_, prevTipBtn_, speakBtn_})
        button->setAutoDefault(false);
    resize(460, 190);

    blinkTimer_->setInterval(kBlinkTickMs);
    connect(blinkTimer_, &QTimer::timeout, this, &TTipOfTheDayForm::OnBlinkTimer);
    connect(closeBtn_, &QPushButton::clicked, this, &QDialog::hide);
    connect(nextTipBtn_, &QPushButton::clicked, this, &TTipOfTheDayForm::NextTipBtnClick);
    connect(prevTipBtn_, &QPushButton::clicked, this, &TTipOfTheDayForm::PrevTipBtnClick);
    connect(speakBtn_, &QPushButton::clicked, this, &TTipOfTheDayForm::SpeakBtnClick);
    connect(showOnStartup_, &QCheckBox::clicked, this, [](bool on) { SetShowTipsOnStartup(on); });
    sinceBlink_.start();
    UpdateLanguageLabels();
}

TTipOfTheDayForm::~TTipOfTheDayForm()
{
    // Only a run that showed tips moves the next run on.
    if (wasShown_)
        WriteSettingInteger("Tips", "NextTipIndex", tipIndex_);
}

void TTipOfTheDayForm::SetTipsFolder(const QString& folder)
{
    tipsFile_ = folder + "tips-" + QUIString(5) + ".txt";
}

void TTipOfTheDayForm::UpdateLanguageLabels()
{
    setWindowTitle(QUIString(378));
    closeBtn_->setText(QUIString(379));
    nextTipBtn_->setText(QUIString(380));
    prevTipBtn_->setText(QUIString(381));
    speakBtn_->setText(QUIString(382));
    showOnStartup_->setText(QUIString(383));
    UpdateSpeakButton();
    ApplyLanguageFont(this);
}

void TTipOfTheDayForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TTipOfTheDayForm::FormShow()
{
    PlaceBesideParent();
    raise();
    wasShown_ = true;
    showOnStartup_->setChecked(GetShowTipsOnStartup());
    UpdateSpeakButton();
    blinkTimer_->start();
    try {
        tipIndex_ = ReadSettingInteger("Tips", "NextTipIndex", -1);
        tips_ = ReadTipsFile(tipsFile_);
        if (!tips_.isEmpty())
            NextTipBtnClick();
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "FormShow", kUnit);
    }
}

void TTipOfTheDayForm::PlaceBesideParent()
{
    const QWidget* main = parentWidget();
    if (!main || main->isMaximized() || !main->isVisible())
        return;
    QScreen* screen = main->screen();
    if (!screen)
        return;
    const QRect mainFrame = main->frameGeometry();
    const int height = frameGeometry().height();
    const int screenBottom = screen->availableGeometry().bottom();
    if (screenBottom - mainFrame.bottom() >= height)
        move(mainFrame.left(), mainFrame.bottom() + 1);
    else if (height < mainFrame.top())
        move(mainFrame.left(), mainFrame.top() - height);
}

void TTipOfTheDayForm::ShowTip(int64_t index)
{
    if (tips_.isEmpty())
        return;
    tipIndex_ = WrapTipIndex(index, int(tips_.size()));
    tipMemo_->setPlainText(ExpandTipText(tips_[tipIndex_]));
}

void TTipOfTheDayForm::NextTipBtnClick()
{
    StopSpeaking();
    ShowTip(int64_t{tipIndex_} + 1);  // a stored index may be the largest number
}

void TTipOfTheDayForm::PrevTipBtnClick()
{
    StopSpeaking();
    ShowTip(int64_t{tipIndex_} - 1);
}

void TTipOfTheDayForm::SpeakBtnClick()
{
    Speak(StdStr(tipMemo_->toPlainText()), false);
}

void TTipOfTheDayForm::UpdateSpeakButton()
{
    speakBtn_->setVisible(IsSpeechAvailable() && IsEnglishLanguageName(QUIString(4)));
}

void TTipOfTheDayForm::hideEvent(QHideEvent* event)
{
    blinkTimer_->stop();
    StopSpeaking();
    QDialog::hideEvent(event);
}

void TTipOfTheDayForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        emit HelpRequested();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TTipOfTheDayForm::OnBlinkTimer()
{
    if (eyes_->currentIndex() == 1) {
        eyes_->setCurrentIndex(0);
        return;
    }
    if (sinceBlink_.elapsed() > kBlinkPauseMs && QRandomGenerator::global()->bounded(5) == 0) {
        eyes_->setCurrentIndex(1);
        sinceBlink_.restart();
    }
}
