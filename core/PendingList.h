#pragma once

#include "core/Correction.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

// Captured passes that wait to be assigned, oldest first. Each pass keeps its identity and
// its tick; the text beside it is written once for the list's display and never read back.
// Whenever the list holds entries, exactly one is selected.
class PendingList
{
public:
    // One waiting pass: its id in the session and the race clock tick it happened at.
    struct Pass
    {
        std::uint32_t id = 0;
        std::int32_t tick = 0;
        PassSource source = PassSource::Key;
        friend bool operator==(const Pass &, const Pass &) = default;
    };

    int count() const { return int(mPasses.size()); }
    bool isEmpty() const { return mPasses.empty(); }
    const Pass &pass(int i) const { return mPasses[std::size_t(i)]; }
    const std::vector<Pass> &passes() const { return mPasses; }
    // Display texts, one per pass.
    const QString &at(int i) const { return mTexts.at(i); }
    const QStringList &entries() const { return mTexts; }
    // The position of the pass with this id, -1 if it does not wait.
    int indexOf(std::uint32_t id) const;

    // -1 when the list is empty.
    int selectedIndex() const { return mSelected; }
    const QString &selectedText() const { return mTexts.at(mSelected); }
    std::optional<Pass> selected() const;

    // Appends; the first entry of an empty list becomes selected, otherwise the selection stays.
    void append(const Pass &pass, const QString &text);
    // Removes the pass; when it was the selected one, the one that followed it is selected,
    // or the new last one. False when no such pass waits.
    bool remove(std::uint32_t id);
    // Selects the pass with this id; false (and no change) when it does not wait.
    bool select(std::uint32_t id);
    void clear();

    friend bool operator==(const PendingList &, const PendingList &) = default;

private:
    std::vector<Pass> mPasses;
    QStringList mTexts;
    int mSelected = -1;
};
