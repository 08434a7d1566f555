#include "ui/TFormMain.h"

#include "core/GridLayout.h"
#include "core/RaceCore.h"
#include "platform/DataFiles.h"
#include "platform/PagePrinter.h"
#include "platform/Shell.h"
#include "results/HtmlProtocol.h"
#include "session/RaceSession.h"
#include "ui/BarrierHealth.h"
#include "ui/BarrierIndicator.h"
#include "ui/BgrColour.h"
#include "ui/CorrectionsWindow.h"
#include "ui/GridHeader.h"
#include "ui/GridModel.h"
#include "ui/GridView.h"
#include "ui/KeyDispatcher.h"
#include "ui/PendingListModel.h"
#include "ui/Pictures.h"
#include "ui/PressButton.h"
#include "ui/QuestionAsker.h"
#include "ui/SpreadsheetActions.h"
#include "ui/TCfgDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QHBoxLayout>
#include <QStatusBar>
#include <QTableView>
#include <QTime>
#include <QTimer>
#include <QToolButton>

using Kind = RaceInput::Kind;

namespace {

QString colourName(std::uint32_t bgr)
{
    return fromBgr(bgr).name();
}

} // namespace

TFormMain::TFormMain(RaceSession &session, const Services &services, QWidget *parent)
    : QMainWindow(parent)
    , mSession(session)
    , mShell(services.shell)
    , mPrinter(services.printer)
{
    buildLayout();
    wire();

    mKeys = new KeyDispatcher(
        this,
        [this] {
            const Controls &c = core().controls();
            return KeyBindingState{.digitKeysBound = c.digitKeysBound, .spaceBound = c.captureEnabled};
        },
        [this](const Command &command) { runCommand(command); });

    showControls();
    showPending();
    setMinimumWidth(1024);
    resize(1024, height());
    fitToParticipants();
}

TFormMain::~TFormMain()
{
    // The widgets still signal while they go (a field that loses the focus finishes its
    // editing), and the session outlives this window: nothing may reach either any more.
    mSession.disconnect(this);
    mPrinter.disconnect(this);
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
    qApp->removeEventFilter(mKeys);
}

void TFormMain::shareKeys(QWidget *window)
{
    mKeys->addWindow(window);
}

const RaceCore &TFormMain::core() const
{
    return mSession.core();
}

void TFormMain::setDialogs(QuestionAsker *asker, QDialog *info, TCfgDialog *settings)
{
    mAsker = asker;
    mInfo = info;
    mCfg = settings;
}

void TFormMain::wire()
{
    // Fields and buttons submit what the operator did.
    connect(eTitle, &QLineEdit::textEdited, this, [this](const QString &text) { submit({.kind = Kind::TitleEdited, .text = text}); });
    connect(cbTip, &QComboBox::activated, this, [this](int index) { submit({.kind = Kind::SessionTypeChosen, .value = index}); });
    connect(meTimeWarn, &QLineEdit::textEdited, this, [this](const QString &text) { submit({.kind = Kind::WarnTimeEdited, .text = text}); });
    connect(sbTimeWarnUp, &QToolButton::clicked, this, [this] { submit({.kind = Kind::WarnStepUp}); });
    connect(sbTimeWarnDown, &QToolButton::clicked, this, [this] { submit({.kind = Kind::WarnStepDown}); });
    connect(meTime, &QLineEdit::textEdited, this, [this](const QString &text) { submit({.kind = Kind::DurationTyped, .text = text}); });
    connect(meTime, &QLineEdit::textChanged, this, &TFormMain::fitDurationFont);
    connect(meTime, &QLineEdit::editingFinished, this, [this] { submit({.kind = Kind::DurationEdited, .text = meTime->text()}); });
    meTimeWarn->installEventFilter(this);
    meTime->installEventFilter(this);

    connect(sbHelp, &QToolButton::clicked, this, &TFormMain::sbHelpClick);
    connect(bInfo, &QToolButton::clicked, this, &TFormMain::Info1Click);
    connect(bCFG, &QToolButton::clicked, this, &TFormMain::bCFGClick);
    connect(bStartList, &QToolButton::clicked, this, [this] { runCommand({Command::Id::OpenStarterList}); });
    connect(sbExcel, &QToolButton::clicked, this, [this] {
        if (mSpreadsheet)
            mSpreadsheet->exportResults(windowTitle(), mWebAddress);
    });
    connect(sbWeb, &QToolButton::clicked, this, &TFormMain::sbWebClick);
    connect(bCorrections, &QToolButton::clicked, this, &TFormMain::openCorrections);
    connect(bSTART2, &PressButton::mouseDown, this, &TFormMain::mStart2Click);
    connect(bZeit, &PressButton::mouseDown, this, &TFormMain::CapturePass);
    for (QLabel *label : {Label14, Label12})
        label->installEventFilter(this);
    connect(ImageLS1, &BarrierIndicator::shownChanged, this, &TFormMain::placeStartButton);

    SortGrid1->viewport()->installEventFilter(this);
    connect(SortGrid1, &QWidget::customContextMenuRequested, this, &TFormMain::showGridContextMenu);
    // The right click made the clicked row current: that is the row marked out.
    connect(mAus, &QAction::triggered, this, [this] {
        submit({.kind = Kind::MarkOut, .value = SortGrid1->currentIndex().row() + 1});
    });
    connect(ListBoxTime->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (!mSyncingSelection && current.isValid())
            submit({.kind = Kind::SelectPending, .pass = core().pending().pass(current.row()).id});
    });
    // A Ctrl+click can take the selection away in the view; the core keeps its selected
    // time, so the view shows it again.
    connect(ListBoxTime->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!mSyncingSelection)
            showPendingSelection();
    });

    connect(TimerMessage, &QTimer::timeout, this, &TFormMain::nextMessage);

    // The session tells what changed.
    connect(&mSession, &RaceSession::rowCountChanged, this, &TFormMain::showRowCount);
    connect(&mSession, &RaceSession::cellsChanged, this, &TFormMain::showCells);
    connect(&mSession, &RaceSession::runningTimesChanged, SortGrid1, &GridView::refreshRunningTimes);
    connect(&mSession, &RaceSession::pendingChanged, this, &TFormMain::showPending);
    connect(&mSession, &RaceSession::controlsChanged, this, &TFormMain::showControls);
    connect(&mSession, &RaceSession::pendingFocusRequested, this, [this] { ListBoxTime->setFocus(); });
    connect(&mSession, &RaceSession::undone, this, &TFormMain::showMessage);

    connect(&mPrinter, &PagePrinter::printed, this, [this](const QString &printer) { showMessage(QStringLiteral("Gedruckt: ") + printer); });
    connect(&mPrinter, &PagePrinter::noPrinter, this, [this] { showMessage(QStringLiteral("Kein Drucker eingerichtet")); });
    connect(&mPrinter, &PagePrinter::failed, this, &TFormMain::showMessage);
}

void TFormMain::submit(const RaceInput &input)
{
    mSession.submit(input);
}

void TFormMain::mStart2Click()
{
    // The answer names the question it answers: the session may change while it is open.
    RaceInput start{.kind = Kind::StartCommand, .confirmed = true};
    if (const auto question = core().startQuestion()) {
        start.answers = question->id;
        start.confirmed = mAsker && mAsker->ask(question->text, question->focusNo);
    }
    submit(start);
}

void TFormMain::CapturePass()
{
    submit({.kind = Kind::CapturePass});
}

QString TFormMain::HelpFilePath()
{
    const QFileInfo program(QCoreApplication::applicationFilePath());
    const QString chm = program.dir().filePath(program.completeBaseName() + QStringLiteral(".chm"));
    if (QFileInfo(chm).isFile())
        return chm;
    return DataFiles::find(QString::fromLatin1(ManualFile));
}

void TFormMain::sbHelpClick()
{
    const QString help = HelpFilePath();
    if (help.isEmpty() || !mShell.open(help))
        showMessage(QStringLiteral("Hilfe nicht gefunden"));
}

void TFormMain::Info1Click()
{
    if (mInfo)
        mInfo->exec();
}

void TFormMain::Label14Click()
{
    mShell.open(mWebAddress);
}

QString TFormMain::ProtocolFileName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + QStringLiteral(".html");
}

// Writes the results page; on failure the status bar says why and no older page is shown.
// No box: the race keys must keep working while the race runs.
bool TFormMain::writeProtocol(const QString &fileName)
{
    const QString error = HtmlProtocol::WriteResultsPage(fileName, *mSession.snapshot(), QDate::currentDate(), QLocale(), mWebAddress);
    if (!error.isEmpty())
        showMessage(error);
    return error.isEmpty();
}

void TFormMain::sbWebClick()
{
    const QString fileName = ProtocolFileName();
    if (writeProtocol(fileName))
        mShell.open(QDir::current().absoluteFilePath(fileName));
}

void TFormMain::Print1Click()
{
    // Straight to the default printer: a print dialog would hold up the keys at the line.
    const QString fileName = ProtocolFileName();
    if (writeProtocol(fileName))
        mPrinter.print(QDir::current().absoluteFilePath(fileName));
}

void TFormMain::showPersistentError(const QString &text)
{
    // A message that showed goes; its timer must not clear the error.
    TimerMessage->stop();
    mPersistentError = text;
    StatusPanels[1]->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    StatusPanels[1]->setText(text);
}

void TFormMain::addStatusPanel(QWidget *panel)
{
    auto *row = static_cast<QHBoxLayout *>(StatusPanels[1]->parentWidget()->layout());
    row->insertWidget(row->indexOf(StatusPanels[2]), panel);
    mStatusPanel = panel;
    // Panel 1 makes room whenever the panel comes or goes.
    panel->installEventFilter(this);
    FormResize();
}

void TFormMain::setLiveAddress(const QString &address)
{
    mLiveAddress = address;
    showBarrierHealth();
}

void TFormMain::clearPersistentError()
{
    if (mPersistentError.isEmpty())
        return;
    mPersistentError.clear();
    StatusPanels[1]->setStyleSheet(QString());
    nextMessage();
}

void TFormMain::showMessage(const QString &text)
{
    if (!mPersistentError.isEmpty()) {
        // An empty message only clears the panel: nothing to show later. A text that waits
        // already moves to the end, so a line that comes and goes does not fill the queue.
        if (!text.isEmpty()) {
            mWaitingMessages.removeAll(text);
            mWaitingMessages.append(text);
        }
        return;
    }
    StatusPanels[1]->setText(text);
    TimerMessage->start();
}

void TFormMain::nextMessage()
{
    if (!mPersistentError.isEmpty())
        return;
    if (!mWaitingMessages.isEmpty()) {
        showMessage(mWaitingMessages.takeFirst());
        return;
    }
    StatusPanels[1]->clear();
    showBarrierHealth();
}

void TFormMain::runCommand(const Command &command)
{
    switch (command.id) {
    case Command::Id::Start: mStart2Click(); break;
    case Command::Id::Capture: CapturePass(); break;
    case Command::Id::Participant: submit({.kind = Kind::Assign, .value = command.participant}); break;
    case Command::Id::DeletePending: submit({.kind = Kind::DeletePending}); break;
    case Command::Id::Sort: submit({.kind = Kind::SortCycle}); break;
    case Command::Id::ToggleArming: submit({.kind = Kind::ToggleArming}); break;
    case Command::Id::Help: sbHelpClick(); break;
    case Command::Id::Info: Info1Click(); break;
    case Command::Id::Settings: bCFGClick(); break;
    case Command::Id::OpenStarterList:
        // The starters are read before a session only.
        if (mSpreadsheet && core().controls().setupEnabled)
            mSpreadsheet->openStarterList();
        break;
    case Command::Id::Print: Print1Click(); break;
    case Command::Id::HelpMenu: break;
    case Command::Id::Undo: submit({.kind = Kind::Undo}); break;
    case Command::Id::Scoreboard: emit scoreboardRequested(); break;
    case Command::Id::LiveResults: emit liveResultsToggled(); break;
    case Command::Id::Publish: emit publishToggled(); break;
    case Command::Id::Corrections: openCorrections(); break;
    }
}

void TFormMain::openCorrections()
{
    // The grid's current row, else the participant booked last, else the first.
    const int row = SortGrid1->currentIndex().isValid() ? SortGrid1->currentIndex().row() + 1 : 0;
    const RaceTable &table = core().table();
    int participant = row > 0 && row <= RaceTable::MaxParticipants ? table.ParticipantAtRow[std::size_t(row)] : 0;
    if (participant < 1)
        participant = table.CurrentParticipant > 0 ? table.CurrentParticipant : 1;
    Corrections->open(participant);
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == mStatusPanel && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        FormResize();
    // The race duration field takes digits, Backspace and the time separator only.
    if (watched == meTime && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            return false;
        const QString text = key->text();
        if (!text.isEmpty() && text.front().isPrint() && !RaceCore::DurationKeyAccepted(text.front(), core().timeSeparator()))
            return true;
    }
    // A half-typed warning time goes back to the last complete one when the field is left.
    if (watched == meTimeWarn && event->type() == QEvent::FocusOut)
        submit({.kind = Kind::WarnTimeLeft});
    if ((watched == Label14 || watched == Label12) && event->type() == QEvent::MouseButtonRelease) {
        Label14Click();
        return true;
    }
    if (watched == SortGrid1->viewport() && event->type() == QEvent::Resize)
        FormResize();
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    if (const auto question = core().closeQuestion()) {
        if (!mAsker || !mAsker->ask(question->text, question->focusNo)) {
            event->ignore();
            return;
        }
    }
    if (mCloseHandler)
        mCloseHandler();
    event->accept();
}

void TFormMain::setLogo(const QPixmap &logo)
{
    if (logo.isNull() || logo.size() == ImageLogo->size())
        ImageLogo->setPixmap(logo);
    else
        ImageLogo->setPixmap(logo.scaled(ImageLogo->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void TFormMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TFormMain::FormResize()
{
    // "Fahrer" takes exactly the width the other columns leave in the drawn grid.
    int others = 0;
    for (int c = 0; c < StandingsGrid::ColumnCount; ++c) {
        if (c != StandingsGrid::Name)
            others += c == StandingsGrid::TotalTime ? GridLayout::ColumnWidths[c] : mGridHeader->sectionSize(c);
    }
    mGridHeader->resizeSection(StandingsGrid::TotalTime, GridLayout::ColumnWidths[StandingsGrid::TotalTime]);
    mGridHeader->resizeSection(StandingsGrid::Name, qMax(0, SortGrid1->viewport()->width() - others));
    const QSize outer = frameGeometry().size();
    StatusPanels[2]->setText(QStringLiteral("%1x%2").arg(outer.width()).arg(outer.height()));
    const int extra = mStatusPanel && !mStatusPanel->isHidden() ? mStatusPanel->width() : 0;
    StatusPanels[1]->setFixedWidth(qMax(0, width() - StatusWidths[0] - StatusWidths[2] - PassPanelWidth - extra));
    bSTART2->update();
    bZeit->update();
}

// Participant count changed: the window is made tall enough to show every participant row.
void TFormMain::fitToParticipants()
{
    const int gridHeight = RaceCore::GridHeight(core().grid().rowCount()) + GridLayout::TitleRowHeight;
    SortGrid1->setMinimumHeight(gridHeight);
    const int clientHeight = TopPanelHeight + gridHeight + StatusBarHeight;
    setMinimumHeight(clientHeight);
    resize(width(), clientHeight);
}

void TFormMain::showGridContextMenu(const QPoint &pos)
{
    const QModelIndex index = SortGrid1->indexAt(pos);
    if (index.isValid())
        SortGrid1->setCurrentIndex(index);
    mAus->setEnabled(core().controls().ausEnabled);
    PopupMenuAus->popup(SortGrid1->viewport()->mapToGlobal(pos));
}

void TFormMain::showControls()
{
    const RaceCore &race = core();
    const Controls &c = race.controls();
    bSTART2->setText(c.startCaption);
    // Restyling is not free, and this runs with every clock tick: only when the colours change.
    const QString startStyle = QStringLiteral("QPushButton { background: %1; color: white; border: 2px solid %2; }"
                                              "QPushButton:hover { background: %3; color: yellow; font-size: 29px; }")
                                   .arg(colourName(c.startColour), colourName(c.startLightColour), colourName(c.startHotColour));
    if (bSTART2->styleSheet() != startStyle)
        bSTART2->setStyleSheet(startStyle);
    bZeit->setEnabled(c.captureEnabled);
    mAus->setEnabled(c.ausEnabled);
    eTitle->setEnabled(c.titleEnabled);
    for (QWidget *w : std::initializer_list<QWidget *>{cbTip, meTimeWarn, sbTimeWarnUp, sbTimeWarnDown, bStartList})
        w->setEnabled(c.setupEnabled);
    sbExcel->setEnabled(c.outputsEnabled);
    sbWeb->setEnabled(c.outputsEnabled);
    meTime->setReadOnly(c.durationReadOnly);
    ImageGong->setVisible(c.gongVisible);

    if (eTitle->text() != race.title())
        eTitle->setText(race.title());
    if (cbTip->currentIndex() != race.sessionType())
        cbTip->setCurrentIndex(race.sessionType());
    if (meTimeWarn->text() != race.warnText())
        meTimeWarn->setText(race.warnText());
    if (meTime->text() != race.durationText())
        meTime->setText(race.durationText());
    eTime->setText(race.wallClockText());

    showBarrierHealth();
}

void TFormMain::showBarrierHealth()
{
    // A message of the program's own has the panel until it goes.
    if (TimerMessage->isActive() || !mPersistentError.isEmpty())
        return;
    QString text = BarrierHealth::text(core(), mSession.now());
    if (!mLiveAddress.isEmpty())
        text = text.isEmpty() ? mLiveAddress : text + QStringLiteral("  ·  ") + mLiveAddress;
    if (StatusPanels[1]->text() != text)
        StatusPanels[1]->setText(text);
}

void TFormMain::placeStartButton(bool indicatorShown)
{
    if (indicatorShown)
        bSTART2->setGeometry(78, 46, StartRight - 78, 38);
    else
        bSTART2->setGeometry(43, 46, StartRight - 43, 38);
}

void TFormMain::bCFGClick()
{
    if (!mCfg)
        return;
    const auto result = mCfg->edit({.port = mPort, .barriers = core().barrierSettings()});
    if (!result)
        return;
    submit({.kind = Kind::BarrierSettingsChanged, .value = result->values.barriers.pack()});
    mPort = result->values.port;
    if (result->portChanged)
        emit portChosen(mPort);
}

void TFormMain::fitDurationFont()
{
    static constexpr int FullPixels = 24;
    static constexpr int SmallestPixels = 10;
    QFont font = meTime->font();
    const int room = meTime->contentsRect().width() - 6;
    int pixels = FullPixels;
    for (; pixels > SmallestPixels; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(meTime->text()) <= room)
            break;
    }
    font.setPixelSize(pixels);
    if (font != meTime->font())
        meTime->setFont(font);
}

void TFormMain::showPending()
{
    mSyncingSelection = true;
    mPendingModel->refresh();
    mSyncingSelection = false;
    showPendingSelection();
    StatusPanels[3]->setText(QString::number(core().pending().count()));
}

void TFormMain::showPendingSelection()
{
    mSyncingSelection = true;
    const int selected = core().pending().selectedIndex();
    if (selected >= 0)
        ListBoxTime->selectionModel()->setCurrentIndex(mPendingModel->index(selected), QItemSelectionModel::ClearAndSelect);
    else
        ListBoxTime->selectionModel()->clearSelection();
    mSyncingSelection = false;
}

void TFormMain::showCells()
{
    mGridModel->allChanged();
    mGridHeader->viewport()->update();
}

void TFormMain::showRowCount()
{
    mGridModel->rowCountChanged();
    fitToParticipants();
}
