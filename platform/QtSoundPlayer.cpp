#include "platform/QtSoundPlayer.h"

#include "platform/DataFiles.h"

#include <QSoundEffect>
#include <QUrl>

QtSoundPlayer::QtSoundPlayer(const QStringList &preload, QObject *parent)
    : QObject(parent)
{
    for (const QString &name : preload)
        effectFor(name);
}

QSoundEffect *QtSoundPlayer::effectFor(const QString &fileName)
{
    if (auto it = mEffects.constFind(fileName); it != mEffects.constEnd())
        return it.value();
    QSoundEffect *effect = nullptr;
    const QString path = DataFiles::find(fileName);
    if (!path.isEmpty()) {
        effect = new QSoundEffect(this);
        effect->setSource(QUrl::fromLocalFile(path));
    }
    mEffects.insert(fileName, effect);
    return effect;
}

void QtSoundPlayer::play(const QString &fileName)
{
    // A missing file or a missing audio device leaves the effect silent; the race goes on.
    if (QSoundEffect *effect = effectFor(fileName)) {
        effect->stop();
        effect->play();
    }
}
