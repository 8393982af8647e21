#include "ui/common/SpeechWait.h"

#include <QObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

// An engine that reads Ready right after say() and changes its state later, from the event loop,
// through the states it was given.
class TFakeSpeechEngine : public QObject {
    Q_OBJECT
public:
    explicit TFakeSpeechEngine(std::vector<QTextToSpeech::State> script) : script_(std::move(script)) {}

    QTextToSpeech::State state() const { return state_; }
    void say(const QString& text)
    {
        said.push_back(text);
        QTimer::singleShot(0, this, &TFakeSpeechEngine::Step);
    }

    size_t Steps() const { return next_; }

    std::vector<QString> said;

signals:
    void stateChanged(QTextToSpeech::State state);

private:
    void Step()
    {
        if (next_ >= script_.size())
            return;
        state_ = script_[next_++];
        emit stateChanged(state_);
        QTimer::singleShot(0, this, &TFakeSpeechEngine::Step);
    }

    std::vector<QTextToSpeech::State> script_;
    size_t next_ = 0;
    QTextToSpeech::State state_ = QTextToSpeech::Ready;
};

TEST(SpeechWait, WaitsForSpeakingToStartAndEnd)
{
    TFakeSpeechEngine engine({QTextToSpeech::Ready, QTextToSpeech::Speaking, QTextToSpeech::Speaking,
                              QTextToSpeech::Ready});
    EXPECT_EQ(SayAndWait(engine, "Goodbye", 10000), TSpeechWaitResult::Spoken);
    EXPECT_EQ(engine.said, std::vector<QString>{"Goodbye"});
    EXPECT_EQ(engine.Steps(), 4u);  // returned with the last change, not at the first Ready
}

TEST(SpeechWait, AnErrorEndsTheWait)
{
    TFakeSpeechEngine engine({QTextToSpeech::Error});
    EXPECT_EQ(SayAndWait(engine, "x", 10000), TSpeechWaitResult::Failed);
    TFakeSpeechEngine interrupted({QTextToSpeech::Speaking, QTextToSpeech::Error});
    EXPECT_EQ(SayAndWait(interrupted, "x", 10000), TSpeechWaitResult::Failed);
}

TEST(SpeechWait, AnEngineThatNeverSpeaksTimesOut)
{
    TFakeSpeechEngine silent({QTextToSpeech::Ready});
    EXPECT_EQ(SayAndWait(silent, "x", 20), TSpeechWaitResult::TimedOut);
    TFakeSpeechEngine stuck({QTextToSpeech::Speaking});
    EXPECT_EQ(SayAndWait(stuck, "x", 20), TSpeechWaitResult::TimedOut);
}

}  // namespace

#include "SpeechWaitTest.moc"
