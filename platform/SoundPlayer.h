#pragma once

#include <QString>

// Plays a short sound file without waiting for it. Silent when the file or the audio device is missing.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString &fileName) = 0;
};
