#include "core/PendingList.h"

#include <QString>
#include <QStringList>
#include <QTest>

// A step applied to the list: append a text (its pass gets the next id, from 1), remove the
// selected entry, remove a pass by id, select an index or clear.
struct Step
{
    enum Kind { Append, Remove, RemoveId, Select, Clear };
    Kind kind;
    int index = 0;
    QString text;
};
Q_DECLARE_METATYPE(QList<Step>)

namespace {

Step append(const char *text)
{
    return Step{Step::Append, 0, QString::fromLatin1(text)};
}
Step removeSelected()
{
    return Step{Step::Remove, 0, QString()};
}
Step removeId(int id)
{
    return Step{Step::RemoveId, id, QString()};
}
Step select(int index)
{
    return Step{Step::Select, index, QString()};
}
Step clear()
{
    return Step{Step::Clear, 0, QString()};
}

void apply(PendingList &list, const QList<Step> &steps)
{
    std::uint32_t nextId = 1;
    for (const Step &step : steps) {
        switch (step.kind) {
        case Step::Append: list.append({.id = nextId, .tick = std::int32_t(nextId) * 1000}, step.text); ++nextId; break;
        case Step::Remove:
            if (const auto selected = list.selected())
                QVERIFY(list.remove(selected->id));
            break;
        case Step::RemoveId: list.remove(std::uint32_t(step.index)); break;
        case Step::Select:
            if (step.index >= 0 && step.index < list.count())
                QVERIFY(list.select(list.pass(step.index).id));
            else
                QVERIFY(!list.select(std::uint32_t(step.index + 100)));
            break;
        case Step::Clear: list.clear(); break;
        }
    }
}

} // namespace

class TestPendingList : public QObject
{
    Q_OBJECT

private slots:
    void emptyList();
    void selection_data();
    void selection();
    void assigningOldestFirst();
};

void TestPendingList::emptyList()
{
    const PendingList list;
    QVERIFY(list.isEmpty());
    QCOMPARE(list.count(), 0);
    QCOMPARE(list.selectedIndex(), -1);
}

void TestPendingList::selection_data()
{
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("selected");

    // Capturing
    QTest::newRow("first capture is selected")
        << QList<Step>{append("0:05,43")} << QStringList{"0:05,43"} << 0;
    QTest::newRow("second capture keeps the first selected")
        << QList<Step>{append("0:05,43"), append("0:07,10")} << QStringList{"0:05,43", "0:07,10"} << 0;
    QTest::newRow("later captures keep a moved selection")
        << QList<Step>{append("a"), append("b"), select(1), append("c")} << QStringList{"a", "b", "c"} << 1;
    QTest::newRow("capture after emptying selects the new entry")
        << QList<Step>{append("a"), removeSelected(), append("b")} << QStringList{"b"} << 0;

    // Deleting
    QTest::newRow("deleting the selected last entry selects the new last")
        << QList<Step>{append("a"), append("b"), append("c"), select(2), removeSelected()}
        << QStringList{"a", "b"} << 1;
    QTest::newRow("deleting the only entry leaves no selection")
        << QList<Step>{append("a"), removeSelected()} << QStringList{} << -1;
    QTest::newRow("deleting the first of three selects the former second")
        << QList<Step>{append("a"), append("b"), append("c"), removeSelected()} << QStringList{"b", "c"} << 0;
    QTest::newRow("deleting a middle entry selects the one that followed")
        << QList<Step>{append("a"), append("b"), append("c"), select(1), removeSelected()}
        << QStringList{"a", "c"} << 1;
    QTest::newRow("deleting everything one by one")
        << QList<Step>{append("a"), append("b"), append("c"), removeSelected(), removeSelected(), removeSelected()}
        << QStringList{} << -1;
    QTest::newRow("deleting from an empty list does nothing")
        << QList<Step>{removeSelected()} << QStringList{} << -1;
    QTest::newRow("deleting again after emptying does nothing")
        << QList<Step>{append("a"), removeSelected(), removeSelected()} << QStringList{} << -1;

    // Deleting by id: the selection stays on its pass
    QTest::newRow("deleting a pass before the selected one keeps that one selected")
        << QList<Step>{append("a"), append("b"), append("c"), select(2), removeId(1)} << QStringList{"b", "c"} << 1;
    QTest::newRow("deleting a pass after the selected one keeps the selection")
        << QList<Step>{append("a"), append("b"), append("c"), select(1), removeId(3)} << QStringList{"a", "b"} << 1;
    QTest::newRow("deleting the selected pass by id selects the one that followed")
        << QList<Step>{append("a"), append("b"), append("c"), select(1), removeId(2)} << QStringList{"a", "c"} << 1;
    QTest::newRow("deleting a pass that does not wait does nothing")
        << QList<Step>{append("a"), append("b"), select(1), removeId(7)} << QStringList{"a", "b"} << 1;

    // Selecting
    QTest::newRow("select moves the selection")
        << QList<Step>{append("a"), append("b"), append("c"), select(2)} << QStringList{"a", "b", "c"} << 2;
    QTest::newRow("select past the end is ignored")
        << QList<Step>{append("a"), append("b"), select(1), select(2)} << QStringList{"a", "b"} << 1;
    QTest::newRow("select far past the end is ignored")
        << QList<Step>{append("a"), append("b"), select(100)} << QStringList{"a", "b"} << 0;
    QTest::newRow("select negative is ignored")
        << QList<Step>{append("a"), append("b"), select(1), select(-1)} << QStringList{"a", "b"} << 1;
    QTest::newRow("select on an empty list is ignored")
        << QList<Step>{select(0)} << QStringList{} << -1;

    // Clearing
    QTest::newRow("clear empties and unselects")
        << QList<Step>{append("a"), append("b"), select(1), clear()} << QStringList{} << -1;
    QTest::newRow("capture after clear selects the new entry")
        << QList<Step>{append("a"), append("b"), select(1), clear(), append("c")} << QStringList{"c"} << 0;
}

void TestPendingList::selection()
{
    QFETCH(QList<Step>, steps);
    QFETCH(QStringList, entries);
    QFETCH(int, selected);

    PendingList list;
    apply(list, steps);

    QCOMPARE(list.entries(), entries);
    QCOMPARE(list.count(), int(entries.size()));
    QCOMPARE(list.isEmpty(), entries.isEmpty());
    QCOMPARE(list.selectedIndex(), selected);
    if (selected >= 0)
        QCOMPARE(list.selectedText(), entries.at(selected));
}

void TestPendingList::assigningOldestFirst()
{
    // Each booking removes the selected entry; the selection moves on to the next newer pass.
    PendingList list;
    const QStringList passes = {"0:58,10", "1:01,20", "1:03,90", "2:00,00"};
    std::uint32_t id = 0;
    for (const QString &pass : passes)
        list.append({.id = ++id, .tick = 0}, pass);

    for (const QString &pass : passes) {
        QCOMPARE(list.selectedIndex(), 0);
        QCOMPARE(list.selectedText(), pass);
        list.remove(list.selected()->id);
    }
    QVERIFY(list.isEmpty());
    QCOMPARE(list.selectedIndex(), -1);
}

QTEST_GUILESS_MAIN(TestPendingList)
#include "testpendinglist.moc"
