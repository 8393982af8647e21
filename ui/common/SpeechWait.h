#pragma once
// Waiting for one utterance. Right after say() an engine may still read Ready (it starts
// speaking a little later), so the wait is for the state to go to Speaking and back.
#include <QEventLoop>
#include <QString>
#include <QTextToSpeech>
#include <QTimer>

#include <optional>

enum class TSpeechWaitResult { Spoken, Failed, TimedOut };

// Says text and returns once the engine has started and ended speaking it, has reported an
// error, or after timeoutMs. Engine: QTextToSpeech, or anything with its say(), state() and
// stateChanged(QTextToSpeech::State).
template <class Engine>
TSpeechWaitResult SayAndWait(Engine& engine, const QString& text, int timeoutMs)
{
    QEventLoop loop;
    bool started = false;
    std::optional<TSpeechWaitResult> result;
    auto onState = [&](QTextToSpeech::State state) {
        if (result)
            return;
        if (state == QTextToSpeech::Speaking) {
            started = true;
        } else if (state == QTextToSpeech::Error) {
            result = TSpeechWaitResult::Failed;
        } else if (started && state == QTextToSpeech::Ready) {
            result = TSpeechWaitResult::Spoken;
        }
        if (result)
            loop.quit();
    };
    // Connected before say(): an engine may change its state within the call.
    QObject::connect(&engine, &Engine::stateChanged, &loop, onState);
    engine.say(text);
    onState(engine.state());
    if (result)
        return *result;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return result.value_or(TSpeechWaitResult::TimedOut);
}
