#include "core/RaceTable.h"

void RaceTable::setIdentityRowMaps(int n)
{
    for (int r = 1; r <= n; ++r) {
        RowOfParticipant[r] = r;
        ParticipantAtRow[r] = r;
    }
}

QString KeyLabel(int participant)
{
    if (participant > 10)
        return QLatin1Char('F') + QString::number(participant - 10);
    return QString::number(participant);
}

int ParticipantOfLabel(QStringView label)
{
    bool ok = false;
    int p = 0;
    if (label.startsWith(QLatin1Char('F'))) {
        p = label.mid(1, 2).toInt(&ok);
        if (ok)
            p += 10;
    } else {
        p = label.toInt(&ok);
    }
    if (!ok || p < 1 || p > RaceTable::MaxParticipants)
        return 0;
    return p;
}
