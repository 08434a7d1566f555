#pragma once

#include "platform/SoundPlayer.h"

#include <QHash>
#include <QObject>
#include <QStringList>

class QSoundEffect;

// Sounds through Qt Multimedia. Files are looked up beside the program and preloaded.
class QtSoundPlayer final : public QObject, public SoundPlayer
{
    Q_OBJECT

public:
    explicit QtSoundPlayer(const QStringList &preload, QObject *parent = nullptr);
    void play(const QString &fileName) override;

private:
    QSoundEffect *effectFor(const QString &fileName);

    QHash<QString, QSoundEffect *> mEffects;
};
