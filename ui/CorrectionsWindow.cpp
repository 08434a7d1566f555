#include "ui/CorrectionsWindow.h"

#include "core/CorrectionText.h"
#include "core/RaceCore.h"
#include "core/RaceTable.h"
#include "core/TimeText.h"
#include "session/RaceSession.h"
#include "ui/WindowAccessibility.h"

#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

using Kind = RaceInput::Kind;

namespace {

// A read-only table whose rows are chosen whole.
QTableWidget *table(const QStringList &titles, QWidget *parent)
{
    auto *view = new QTableWidget(0, int(titles.size()), parent);
    view->setHorizontalHeaderLabels(titles);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->verticalHeader()->hide();
    // The last column takes the rest, also after the others were fitted to their contents.
    view->horizontalHeader()->setSectionResizeMode(int(titles.size()) - 1, QHeaderView::Stretch);
    return view;
}

// A field with its label: the label is its buddy and its accessible name, so that a screen
// reader and a test find it by the text the operator sees.
QLineEdit *labelledField(const char *name, const QString &labelText, QWidget *parent, QLayout *row)
{
    auto *label = new QLabel(labelText, parent);
    auto *field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    label->setBuddy(field);
    field->setAccessibleName(labelText);
    row->addWidget(label);
    row->addWidget(field);
    return field;
}

QTableWidgetItem *item(const QString &text, bool greyed, Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter)
{
    auto *cell = new QTableWidgetItem(text);
    cell->setTextAlignment(align);
    if (greyed)
        cell->setForeground(Qt::gray);
    return cell;
}

} // namespace

CorrectionsWindow::CorrectionsWindow(RaceSession &session, QWidget *mainWindow)
    : QWidget(mainWindow, Qt::Window)
    , mSession(session)
{
    WindowAccessibility::install();
    setObjectName(QStringLiteral("Corrections"));
    setWindowTitle(QStringLiteral("Korrekturen"));
    // Closing the main window ends the program, whether this window is open or not.
    setAttribute(Qt::WA_QuitOnClose, false);
    buildLayout();
    wire();
    resize(720, 460);
}

CorrectionsWindow::~CorrectionsWindow()
{
    // The fields still signal while they go (the one with the focus finishes its editing):
    // nothing may reach this window any more.
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
}

void CorrectionsWindow::buildLayout()
{
    auto *column = new QVBoxLayout(this);

    auto *top = new QHBoxLayout;
    mParticipantField = labelledField("eParticipant", QStringLiteral("Teilnehmer:"), this, top);
    mParticipantField->setMaximumWidth(60);
    mParticipantName = new QLabel(this);
    top->addWidget(mParticipantName, 1);
    column->addLayout(top);

    mTabs = new QTabWidget(this);
    mLaps = table({QStringLiteral("Rd."), QStringLiteral("Durchfahrt"), QStringLiteral("Rundenzeit"), QStringLiteral("Quelle"),
                   QStringLiteral("Hinweis")},
                  mTabs);
    mLaps->setAccessibleName(QStringLiteral("Runden"));
    QStringList trailTitles = CorrectionText::ColumnTitles();
    trailTitles << QStringLiteral("Status");
    mTrail = table(trailTitles, mTabs);
    mTrail->setAccessibleName(QStringLiteral("Protokoll"));
    mTabs->addTab(mLaps, QStringLiteral("Runden"));
    mTabs->addTab(mTrail, QStringLiteral("Protokoll"));
    column->addWidget(mTabs, 1);

    auto *reasonRow = new QHBoxLayout;
    mReasonField = labelledField("eReason", QStringLiteral("Grund:"), this, reasonRow);
    mReasonField->setPlaceholderText(QStringLiteral("Pflichtfeld: warum die Korrektur nötig ist"));
    column->addLayout(reasonRow);

    auto *actions = new QHBoxLayout;
    mStrike = new QPushButton(CorrectionText::action(Correction::Action::Strike), this);
    mRestore = new QPushButton(CorrectionText::action(Correction::Action::Restore), this);
    actions->addWidget(mStrike);
    actions->addWidget(mRestore);
    actions->addSpacing(12);
    mTargetField = labelledField("eTarget", QStringLiteral("nach Teilnehmer:"), this, actions);
    mTargetField->setMaximumWidth(50);
    mMove = new QPushButton(CorrectionText::action(Correction::Action::Move), this);
    actions->addWidget(mMove);
    actions->addSpacing(12);
    mTimeField = labelledField("eTime", QStringLiteral("Zeit:"), this, actions);
    mTimeField->setPlaceholderText(QStringLiteral("M:SS,cc"));
    mTimeField->setMaximumWidth(100);
    mInsert = new QPushButton(CorrectionText::action(Correction::Action::Insert), this);
    actions->addWidget(mInsert);
    actions->addStretch();
    column->addLayout(actions);

    mMessage = new QLabel(this);
    mMessage->setAccessibleName(QStringLiteral("Meldung"));
    mMessage->setWordWrap(true);
    column->addWidget(mMessage);
    updateButtons();
}

void CorrectionsWindow::wire()
{
    connect(mReasonField, &QLineEdit::textChanged, this, &CorrectionsWindow::updateButtons);
    connect(mParticipantField, &QLineEdit::editingFinished, this, &CorrectionsWindow::switchParticipant);
    connect(mStrike, &QPushButton::clicked, this, &CorrectionsWindow::strike);
    connect(mRestore, &QPushButton::clicked, this, &CorrectionsWindow::restore);
    connect(mMove, &QPushButton::clicked, this, &CorrectionsWindow::move);
    connect(mInsert, &QPushButton::clicked, this, &CorrectionsWindow::insert);
    // Hidden, the window costs nothing: it catches up when it shows again.
    connect(&mSession, &RaceSession::changed, this, [this] {
        if (isVisible())
            refresh();
    });
}

void CorrectionsWindow::open(int participant)
{
    if (participant >= 1 && participant <= RaceTable::MaxParticipants)
        mParticipant = participant;
    mParticipantField->setText(KeyLabel(mParticipant));
    mShownOnce = false;
    show();
    raise();
    activateWindow();
    refresh();
}

QString CorrectionsWindow::message() const
{
    return mMessage->text();
}

void CorrectionsWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

void CorrectionsWindow::refresh()
{
    const RaceCore &core = mSession.core();
    const int row = core.table().RowOfParticipant[std::size_t(mParticipant)];
    const QString name = row > 0 ? core.grid().cell(StandingsGrid::Name, row) : QString();
    mParticipantName->setText(name.isEmpty() ? KeyLabel(mParticipant) : KeyLabel(mParticipant) + QStringLiteral(" – ") + name);

    std::vector<LapBook::Row> rows = core.lapRows(mParticipant);
    if (!mShownOnce || rows != mShownRows)
        showLaps(rows);
    std::vector<Correction> trail = mSession.trail();
    if (!mShownOnce || trail != mShownTrail)
        showTrail(trail);
    mShownRows = std::move(rows);
    mShownTrail = std::move(trail);
    mShownOnce = true;
}

void CorrectionsWindow::showLaps(const std::vector<LapBook::Row> &rows)
{
    // The selection follows its pass, wherever the pass moves in the list.
    std::optional<std::uint32_t> selected;
    if (const int current = mLaps->currentRow(); current >= 0 && std::size_t(current) < mShownRows.size())
        selected = mShownRows[std::size_t(current)].pass.id;

    const QChar decimal = mSession.core().decimalSeparator();
    mLaps->setRowCount(int(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const LapBook::Row &lap = rows[r];
        const bool struck = lap.pass.struck;
        const int i = int(r);
        mLaps->setItem(i, LapNumber, item(struck ? QString() : QString::number(lap.lap), struck));
        mLaps->setItem(i, PassTime, item(TimeText::FormatRaceTime(lap.raceTime, decimal), struck));
        mLaps->setItem(i, LapTime, item(struck ? QString() : TimeText::FormatRaceTime(lap.lapTime, decimal), struck));
        mLaps->setItem(i, Source, item(CorrectionText::source(lap.pass.source), struck, Qt::AlignLeft | Qt::AlignVCenter));
        mLaps->setItem(i, Hint, item(CorrectionText::hints(lap.flags, struck), struck, Qt::AlignLeft | Qt::AlignVCenter));
        if (selected && lap.pass.id == *selected)
            mLaps->selectRow(i);
    }
    mLaps->resizeColumnsToContents();
}

void CorrectionsWindow::showTrail(const std::vector<Correction> &trail)
{
    const QChar decimal = mSession.core().decimalSeparator();
    const int status = int(CorrectionText::ColumnTitles().size());
    mTrail->setRowCount(int(trail.size()));
    for (std::size_t r = 0; r < trail.size(); ++r) {
        const Correction &c = trail[r];
        const QStringList cells = CorrectionText::cells(c, decimal);
        for (int col = 0; col < cells.size(); ++col)
            mTrail->setItem(int(r), col, item(cells[col], c.withdrawn, Qt::AlignLeft | Qt::AlignVCenter));
        mTrail->setItem(int(r), status, item(c.withdrawn ? QStringLiteral("zurückgenommen") : QString(), c.withdrawn,
                                             Qt::AlignLeft | Qt::AlignVCenter));
    }
    mTrail->resizeColumnsToContents();
    mTrail->scrollToBottom();
}

void CorrectionsWindow::updateButtons()
{
    // Every correction carries its reason: without one there is nothing to press.
    const bool reason = !mReasonField->text().trimmed().isEmpty();
    for (QPushButton *button : {mStrike, mRestore, mMove, mInsert})
        button->setEnabled(reason);
}

void CorrectionsWindow::showMessage(const QString &text, bool error)
{
    mMessage->setStyleSheet(error ? QStringLiteral("color: #C00000;") : QStringLiteral("color: #006000;"));
    mMessage->setText(text);
}

std::optional<int> CorrectionsWindow::participantIn(const QLineEdit *field)
{
    const QString text = field->text().trimmed();
    const int p = ParticipantOfLabel(text);
    if (p >= 1 && p <= mSession.core().carCount())
        return p;
    showMessage(QStringLiteral("Teilnehmer „%1“ gibt es nicht.").arg(text), true);
    return std::nullopt;
}

void CorrectionsWindow::switchParticipant()
{
    const auto p = participantIn(mParticipantField);
    if (!p) {
        mParticipantField->setText(KeyLabel(mParticipant));
        return;
    }
    mParticipantField->setText(KeyLabel(*p));
    if (*p == mParticipant)
        return;
    mParticipant = *p;
    mMessage->clear();
    mLaps->clearSelection();
    mLaps->setCurrentCell(-1, -1);
    mShownRows.clear();
    mShownOnce = false;
    refresh();
}

std::optional<std::uint32_t> CorrectionsWindow::selectedPass()
{
    const int row = mLaps->currentRow();
    if (row < 0 || std::size_t(row) >= mShownRows.size() || !mLaps->selectionModel()->isRowSelected(row, {})) {
        showMessage(QStringLiteral("Bitte zuerst eine Runde in der Liste wählen."), true);
        return std::nullopt;
    }
    return mShownRows[std::size_t(row)].pass.id;
}

void CorrectionsWindow::strike()
{
    if (const auto pass = selectedPass())
        correct({.kind = Kind::StrikePass, .text = reason(), .pass = *pass, .operatorName = mOperatorName,
                 .wallClockMs = QDateTime::currentMSecsSinceEpoch()},
                QStringLiteral("Runde gestrichen."));
}

void CorrectionsWindow::restore()
{
    if (const auto pass = selectedPass())
        correct({.kind = Kind::RestorePass, .text = reason(), .pass = *pass, .operatorName = mOperatorName,
                 .wallClockMs = QDateTime::currentMSecsSinceEpoch()},
                QStringLiteral("Runde wiederhergestellt."));
}

void CorrectionsWindow::move()
{
    const auto pass = selectedPass();
    if (!pass)
        return;
    if (const auto to = participantIn(mTargetField))
        correct({.kind = Kind::MovePass, .value = *to, .text = reason(), .pass = *pass, .operatorName = mOperatorName,
                 .wallClockMs = QDateTime::currentMSecsSinceEpoch()},
                QStringLiteral("Runde umgebucht nach %1.").arg(KeyLabel(*to)));
}

void CorrectionsWindow::insert()
{
    const QString text = mTimeField->text().trimmed();
    const auto raceTime = TimeText::ParseTypedRaceTime(text);
    if (!raceTime) {
        showMessage(QStringLiteral("„%1“ ist keine Zeit; bitte als M:SS,cc oder H:MM:SS,cc eingeben.").arg(text), true);
        return;
    }
    correct({.kind = Kind::InsertPass, .value = mParticipant, .text = reason(), .raceTime = *raceTime,
             .operatorName = mOperatorName, .wallClockMs = QDateTime::currentMSecsSinceEpoch()},
            QStringLiteral("Durchfahrt nachgetragen."));
}

QString CorrectionsWindow::reason() const
{
    return mReasonField->text().trimmed();
}

void CorrectionsWindow::correct(const RaceInput &input, const QString &done)
{
    if (const auto refusal = mSession.core().correctionRefusal(input, mSession.now())) {
        showMessage(*refusal, true);
        return;
    }
    mSession.submit(input);
    // A reason belongs to one correction: the next one needs its own.
    mReasonField->clear();
    showMessage(done, false);
}
