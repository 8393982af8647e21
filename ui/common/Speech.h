#pragma once
// The program's one voice: made by main() before any window exists, or missing when the
// system has no speech engine, in which case speaking does nothing.
#include "platform/Singleton.h"

#include <memory>
#include <string>

class QTextToSpeech;

class TSpeechVoice : public TSingleton<TSpeechVoice> {
public:
    // Without an engine (or when it fails to start) there is no voice.
    TSpeechVoice();
    ~TSpeechVoice();

    // Nullptr when there is no voice.
    QTextToSpeech* Engine() const { return engine_.get(); }

private:
    std::unique_ptr<QTextToSpeech> engine_;
};

bool IsSpeechAvailable();
// Silences what is being spoken and speaks text without blocking; with wait, returns once it
// is spoken or after 10 seconds at most.
void Speak(const std::string& text, bool wait);
void StopSpeaking();
