#include "core/PendingList.h"

void PendingList::append(const QString &text)
{
    mEntries.append(text);
    if (mEntries.size() == 1)
        mSelected = 0;
}

void PendingList::removeSelected()
{
    if (mEntries.isEmpty() || mSelected < 0)
        return;
    mEntries.removeAt(mSelected);
    if (mSelected >= mEntries.size())
        mSelected = int(mEntries.size()) - 1;
}

void PendingList::select(int index)
{
    if (index >= 0 && index < mEntries.size())
        mSelected = index;
}

void PendingList::clear()
{
    mEntries.clear();
    mSelected = -1;
}
