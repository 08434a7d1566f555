#pragma once

#include <QString>
#include <QStringList>

// Captured pass times that wait to be assigned, oldest first, as race-time texts.
// Whenever the list holds entries, exactly one is selected.
class PendingList
{
public:
    int count() const { return int(mEntries.size()); }
    bool isEmpty() const { return mEntries.isEmpty(); }
    const QString &at(int i) const { return mEntries.at(i); }
    const QStringList &entries() const { return mEntries; }

    // -1 when the list is empty.
    int selectedIndex() const { return mSelected; }
    const QString &selectedText() const { return mEntries.at(mSelected); }

    // Appends; the first entry of an empty list becomes selected, otherwise the selection stays.
    void append(const QString &text);
    // Removes the selected entry and selects the one that followed it, or the new last one.
    void removeSelected();
    void select(int index);
    void clear();

private:
    QStringList mEntries;
    int mSelected = -1;
};
