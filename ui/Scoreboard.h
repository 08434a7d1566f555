#pragma once

#include "core/ResultsSnapshot.h"

#include <QStringList>
#include <QWidget>

#include <cstddef>
#include <memory>

class QPainter;
class RaceSession;

// "Anzeigetafel": the standings in large type for a second screen, for the spectators and
// the teams in the pit lane. It shows only the session's results snapshot and paints it
// itself, so it costs nothing between changes and never touches the race.
class Scoreboard final : public QWidget
{
    Q_OBJECT

public:
    // The board fills its window with this many rows at least: a small field does not get
    // type too large to take in at one glance.
    static constexpr int MinLines = 10;

    // The session must outlive the board.
    explicit Scoreboard(RaceSession &session, QWidget *parent = nullptr);

    // The results on the board now.
    const ResultsSnapshot &shown() const { return *mShown; }
    // Each row as the board writes it, the cells separated by tabs: place, number, name,
    // laps, last lap, gap to the leader, best lap.
    QStringList rowTexts() const;
    // The small mark beside each row's name as the board paints it: "korrigiert" where a
    // correction changed the participant's laps, else empty.
    QStringList rowMarks() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    // F11 toggles full screen, Esc closes the board; the race keys never get here (the main
    // window's dispatcher takes them first).
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Takes the session's latest results and repaints: a change reaches the screen with the
    // next paint, without any timer.
    void follow();
    // The text of one board column for a row.
    QString cellText(const ResultsSnapshot::Row &row, std::size_t column) const;
    // The mark of one row, see rowMarks().
    static QString markOf(const ResultsSnapshot::Row &row);
    // Title and session type at the left, the countdown at the right, the gong beside it.
    void paintHeader(QPainter &painter, double height) const;

    RaceSession &mSession;
    std::shared_ptr<const ResultsSnapshot> mShown;
    // No starter list gave numbers: the board numbers the participants as their keys do.
    bool mNumbersFromKeys = true;
    // Some participant has a name: the name column takes the width the others leave.
    bool mHasNames = false;
};
