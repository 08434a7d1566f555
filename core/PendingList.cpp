#include "core/PendingList.h"

#include <algorithm>

int PendingList::indexOf(std::uint32_t id) const
{
    const auto it = std::find_if(mPasses.begin(), mPasses.end(), [id](const Pass &p) { return p.id == id; });
    return it == mPasses.end() ? -1 : int(it - mPasses.begin());
}

std::optional<PendingList::Pass> PendingList::selected() const
{
    if (mSelected < 0)
        return std::nullopt;
    return mPasses[std::size_t(mSelected)];
}

void PendingList::append(const Pass &pass, const QString &text)
{
    mPasses.push_back(pass);
    mTexts.append(text);
    if (mPasses.size() == 1)
        mSelected = 0;
}

bool PendingList::remove(std::uint32_t id)
{
    const int i = indexOf(id);
    if (i < 0)
        return false;
    mPasses.erase(mPasses.begin() + i);
    mTexts.removeAt(i);
    if (i < mSelected || mSelected >= count())
        --mSelected;
    return true;
}

bool PendingList::select(std::uint32_t id)
{
    const int i = indexOf(id);
    if (i < 0)
        return false;
    mSelected = i;
    return true;
}

void PendingList::clear()
{
    mPasses.clear();
    mTexts.clear();
    mSelected = -1;
}
