#include "ui/common/Speech.h"

#include "engine/services/AppTraceLog.h"
#include "ui/common/SpeechWait.h"
#include "ui/common/UIStrings.h"

#include <QTextToSpeech>

namespace {

const char* const kUnit = "PreferencesSpeech";
constexpr int kMaxWaitMs = 10000;

}  // namespace

TSpeechVoice::TSpeechVoice()
{
    if (QTextToSpeech::availableEngines().isEmpty())
        return;
    auto engine = std::make_unique<QTextToSpeech>();
    if (engine->state() == QTextToSpeech::Error)
        return;
    QObject::connect(engine.get(), &QTextToSpeech::errorOccurred, engine.get(),
                     [](QTextToSpeech::ErrorReason, const QString& text) {
                         LogEvent(etException, StdStr(text), "Speak", kUnit);
                     });
    engine_ = std::move(engine);
}

TSpeechVoice::~TSpeechVoice()
{
    ReleaseInstance();
}

bool IsSpeechAvailable()
{
    const TSpeechVoice* voice = TSpeechVoice::Instance();
    return voice && voice->Engine();
}

void Speak(const std::string& text, bool wait)
{
    const TSpeechVoice* voice = TSpeechVoice::Instance();
    QTextToSpeech* engine = voice ? voice->Engine() : nullptr;
    if (!engine)
        return;
    try {
        engine->stop(QTextToSpeech::BoundaryHint::Immediate);
        if (text.empty())
            return;
        if (wait)
            SayAndWait(*engine, QStr(text), kMaxWaitMs);
        else
            engine->say(QStr(text));
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "Speak", kUnit);
    }
}

void StopSpeaking()
{
    Speak(std::string(), false);
}
