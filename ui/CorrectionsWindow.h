#pragma once

#include "core/Correction.h"
#include "core/LapBook.h"
#include "core/RaceInput.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class RaceSession;

// "Korrekturen": the booked laps of one participant with their hints, the trail of every
// correction, and the four corrections of a lap. A window of its own beside the main window,
// never modal: the race keys go on booking in the main window while it is open. It decides
// nothing itself: it asks the core whether a correction would be refused, and submits it.
class CorrectionsWindow final : public QWidget
{
    Q_OBJECT

public:
    // The columns of the "Runden" table.
    enum LapColumn { LapNumber, PassTime, LapTime, Source, Hint, LapColumnCount };

    // The session must outlive the window; mainWindow keeps it above itself and owns it.
    CorrectionsWindow(RaceSession &session, QWidget *mainWindow);
    ~CorrectionsWindow() override;

    // Shows the window (raised, active) on this participant's laps.
    void open(int participant);
    // Who the corrections made here are signed by.
    void setOperatorName(const QString &name) { mOperatorName = name; }
    // The participant whose laps are listed.
    int participant() const { return mParticipant; }
    // The message line as it stands, for whoever needs to know what the operator was told.
    QString message() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildLayout();
    void wire();
    // Re-reads laps and trail, but rebuilds a table only when what it shows changed: the
    // session changes with every clock tick.
    void refresh();
    void showLaps(const std::vector<LapBook::Row> &rows);
    void showTrail(const std::vector<Correction> &trail);
    void updateButtons();
    // The "Teilnehmer:" field was left or confirmed: its participant's laps, if there is one.
    void switchParticipant();
    // The participant a field names, or nothing (and a message) when it names none.
    std::optional<int> participantIn(const QLineEdit *field);
    // The pass of the selected lap row, or nothing (and a message).
    std::optional<std::uint32_t> selectedPass();
    void strike();
    void restore();
    void move();
    void insert();
    // The reason as typed, without the blanks around it.
    QString reason() const;
    // Asks the core first and submits the input unless the core would refuse it; a refusal
    // is shown instead and changes nothing.
    void correct(const RaceInput &input, const QString &done);
    void showMessage(const QString &text, bool error);

    RaceSession &mSession;
    QString mOperatorName;
    int mParticipant = 1;
    // What the tables show now, to tell a real change from a clock tick.
    std::vector<LapBook::Row> mShownRows;
    std::vector<Correction> mShownTrail;
    bool mShownOnce = false;

    QLineEdit *mParticipantField = nullptr;
    QLabel *mParticipantName = nullptr;
    QTabWidget *mTabs = nullptr;
    QTableWidget *mLaps = nullptr;
    QTableWidget *mTrail = nullptr;
    QLineEdit *mReasonField = nullptr;
    QLineEdit *mTargetField = nullptr;
    QLineEdit *mTimeField = nullptr;
    QPushButton *mStrike = nullptr;
    QPushButton *mRestore = nullptr;
    QPushButton *mMove = nullptr;
    QPushButton *mInsert = nullptr;
    QLabel *mMessage = nullptr;
};
