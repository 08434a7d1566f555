#include "ui/TFormMain.h"

#include "core/TickSource.h"
#include "platform/SoundPlayer.h"
#include "ui/GridModel.h"
#include "ui/KeyDispatcher.h"
#include "ui/PendingListModel.h"
#include "ui/Pictures.h"
#include "ui/PressButton.h"
#include "ui/QuestionAsker.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QStatusBar>
#include <QTableView>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using Kind = RaceInput::Kind;

namespace {

QColor fromBgr(std::uint32_t bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

QLabel *caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QTimer *makeTimer(int intervalMs, QObject *parent)
{
    auto *timer = new QTimer(parent);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(intervalMs);
    return timer;
}

} // namespace

TFormMain::TFormMain(const TickSource &clock, SoundPlayer &sound, QuestionAsker &asker, QWidget *parent)
    : QMainWindow(parent)
    , mClock(clock)
    , mSound(sound)
    , mAsker(asker)
{
    setWindowTitle(QStringLiteral("Chronolauf v1.8"));
    setObjectName(QStringLiteral("FormMain"));

    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *top = new QWidget(central);
    top->setObjectName(QStringLiteral("Panel1"));
    buildTopPanel(top);
    column->addWidget(top);

    auto *middle = new QWidget(central);
    middle->setObjectName(QStringLiteral("Panel4"));
    auto *middleRow = new QHBoxLayout(middle);
    middleRow->setContentsMargins(0, 0, 0, 0);
    middleRow->setSpacing(0);

    mGridModel = new GridModel(mCore, this);
    SortGrid1 = new QTableView(middle);
    SortGrid1->setObjectName(QStringLiteral("SortGrid1"));
    SortGrid1->setModel(mGridModel);
    SortGrid1->verticalHeader()->hide();
    SortGrid1->verticalHeader()->setDefaultSectionSize(RaceCore::DefaultRowHeight);
    static constexpr int columnWidths[StandingsGrid::ColumnCount] = {38, 33, 38, 0, 32, 110, 86, 86, 86, 86, 86, 92};
    for (int c = 0; c < StandingsGrid::ColumnCount; ++c)
        SortGrid1->horizontalHeader()->resizeSection(c, columnWidths[c]);
    SortGrid1->horizontalHeader()->setSectionResizeMode(StandingsGrid::Name, QHeaderView::Stretch);
    SortGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SortGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    SortGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SortGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SortGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    QFont gridFont(QStringLiteral("Arial"));
    gridFont.setPixelSize(16);
    gridFont.setBold(true);
    SortGrid1->setFont(gridFont);
    connect(SortGrid1, &QWidget::customContextMenuRequested, this, &TFormMain::showGridContextMenu);
    middleRow->addWidget(SortGrid1, 1);

    auto *passPanel = new QWidget(middle);
    passPanel->setObjectName(QStringLiteral("PanelRR"));
    buildPassPanel(passPanel);
    middleRow->addWidget(passPanel);
    column->addWidget(middle, 1);
    setCentralWidget(central);

    buildStatusBar();

    PopupMenuAus = new QMenu(this);
    mAus = PopupMenuAus->addAction(QStringLiteral("Aus"));
    connect(mAus, &QAction::triggered, this, [this] {
        send({Kind::MarkOut, 0, SortGrid1->currentIndex().row() + 1});
    });

    TimerALL = makeTimer(10, this);
    Timer1 = makeTimer(450, this);
    TimerDate = makeTimer(450, this);
    TimerLockStop = makeTimer(20000, this);
    connect(TimerALL, &QTimer::timeout, this, [this] { send({Kind::TimerAll}); });
    connect(Timer1, &QTimer::timeout, this, [this] { send({Kind::Timer1}); });
    connect(TimerDate, &QTimer::timeout, this, [this] {
        send({Kind::TimerDate, 0, QTime::currentTime().msecsSinceStartOfDay()});
    });
    connect(TimerLockStop, &QTimer::timeout, this, [this] { send({Kind::TimerLockStop}); });

    mKeys = new KeyDispatcher(
        this,
        [this] {
            return KeyBindingState{mCore.controls().digitKeysBound, mCore.controls().captureEnabled};
        },
        [this](const Command &command) { runCommand(command); });

    mCore.setObserver(this);
    send({Kind::TimerDate, 0, QTime::currentTime().msecsSinceStartOfDay()});
    TimerDate->start();
    gridChanged(GridChange::RowCount);
    showControls();
    showPending();
    resize(1024, 632);
}

TFormMain::~TFormMain()
{
    // The widgets outlive the core by a moment and still signal while they go (a field
    // that loses the focus finishes its editing): nothing may reach the core any more.
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
    mCore.setObserver(nullptr);
}

void TFormMain::buildTopPanel(QWidget *panel)
{
    auto *row = new QHBoxLayout(panel);

    auto *fields = new QVBoxLayout;
    auto *titleRow = new QHBoxLayout;
    titleRow->addWidget(caption(QStringLiteral("Rennen:"), panel));
    eTitle = new QLineEdit(panel);
    eTitle->setObjectName(QStringLiteral("eTitle"));
    eTitle->setFixedWidth(293);
    connect(eTitle, &QLineEdit::textEdited, this, [this](const QString &text) { send({Kind::TitleEdited, 0, 0, false, text}); });
    titleRow->addWidget(eTitle);
    titleRow->addWidget(caption(QStringLiteral("Session:"), panel));
    cbTip = new QComboBox(panel);
    cbTip->setObjectName(QStringLiteral("cbTip"));
    cbTip->addItems({QStringLiteral("Rennen"), QStringLiteral("Training")});
    cbTip->setFixedWidth(90);
    connect(cbTip, &QComboBox::activated, this, [this](int index) { send({Kind::SessionTypeChosen, 0, index}); });
    titleRow->addWidget(cbTip);
    titleRow->addStretch();
    fields->addLayout(titleRow);

    auto *clockRow = new QHBoxLayout;
    clockRow->addStretch();
    ImageGong = new QLabel(panel);
    ImageGong->setObjectName(QStringLiteral("ImageGong"));
    ImageGong->setPixmap(Pictures::gong(24));
    ImageGong->setFixedSize(24, 24);
    clockRow->addWidget(ImageGong);
    clockRow->addWidget(caption(QStringLiteral("Warnzeit:"), panel));
    meTimeWarn = new QLineEdit(panel);
    meTimeWarn->setObjectName(QStringLiteral("meTimeWarn"));
    meTimeWarn->setInputMask(QStringLiteral("00:00"));
    meTimeWarn->setToolTip(QStringLiteral("TimeFormat MM:SS"));
    meTimeWarn->setFixedWidth(45);
    connect(meTimeWarn, &QLineEdit::textEdited, this, [this](const QString &text) { send({Kind::WarnTimeEdited, 0, 0, false, text}); });
    clockRow->addWidget(meTimeWarn);
    auto *spin = new QVBoxLayout;
    spin->setSpacing(0);
    sbTimeWarnUp = new QToolButton(panel);
    sbTimeWarnUp->setObjectName(QStringLiteral("sbTimeWarnUp"));
    sbTimeWarnUp->setArrowType(Qt::UpArrow);
    sbTimeWarnUp->setFixedSize(16, 11);
    sbTimeWarnDown = new QToolButton(panel);
    sbTimeWarnDown->setObjectName(QStringLiteral("sbTimeWarnDown"));
    sbTimeWarnDown->setArrowType(Qt::DownArrow);
    sbTimeWarnDown->setFixedSize(16, 11);
    connect(sbTimeWarnUp, &QToolButton::clicked, this, [this] { send({Kind::WarnStepUp}); });
    connect(sbTimeWarnDown, &QToolButton::clicked, this, [this] { send({Kind::WarnStepDown}); });
    spin->addWidget(sbTimeWarnUp);
    spin->addWidget(sbTimeWarnDown);
    clockRow->addLayout(spin);
    clockRow->addWidget(caption(QStringLiteral("Counter:"), panel));
    meTime = new QLineEdit(panel);
    meTime->setObjectName(QStringLiteral("meTime"));
    meTime->setFixedSize(100, 32);
    QFont counterFont(QStringLiteral("Arial"));
    counterFont.setPixelSize(24);
    counterFont.setBold(true);
    meTime->setFont(counterFont);
    meTime->installEventFilter(this);
    connect(meTime, &QLineEdit::textEdited, this, [this](const QString &text) { send({Kind::DurationTyped, 0, 0, false, text}); });
    connect(meTime, &QLineEdit::editingFinished, this, [this] { send({Kind::DurationEdited, 0, 0, false, meTime->text()}); });
    clockRow->addWidget(meTime);
    fields->addLayout(clockRow);
    row->addLayout(fields, 1);

    auto *buttons = new QVBoxLayout;
    bSTART2 = new PressButton(panel);
    bSTART2->setObjectName(QStringLiteral("bSTART2"));
    bSTART2->setToolTip(QStringLiteral("[Ctrl+S]"));
    bSTART2->setFixedSize(145, 38);
    bSTART2->setFocusPolicy(Qt::NoFocus);
    QFont startFont(QStringLiteral("Arial"));
    startFont.setPixelSize(27);
    startFont.setBold(true);
    bSTART2->setFont(startFont);
    connect(bSTART2, &PressButton::mouseDown, this, &TFormMain::mStart2Click);
    buttons->addWidget(bSTART2);
    row->addLayout(buttons);

    auto *clockColumn = new QVBoxLayout;
    eTime = new QLabel(panel);
    eTime->setObjectName(QStringLiteral("eTime"));
    eTime->setFixedWidth(114);
    eTime->setAlignment(Qt::AlignCenter);
    eTime->setAutoFillBackground(true);
    eTime->setStyleSheet(QStringLiteral("background: black; color: lime; font: bold 24px 'Arial';"));
    clockColumn->addWidget(eTime);
    row->addLayout(clockColumn);
}

void TFormMain::buildPassPanel(QWidget *panel)
{
    panel->setFixedWidth(114);
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *cap = new QWidget(panel);
    cap->setObjectName(QStringLiteral("PanelCap"));
    cap->setFixedHeight(30);
    auto *capRow = new QHBoxLayout(cap);
    capRow->setContentsMargins(2, 1, 2, 1);
    bZeit = new PressButton(cap);
    bZeit->setObjectName(QStringLiteral("bZeit"));
    bZeit->setToolTip(QStringLiteral("[Space]"));
    bZeit->setFixedSize(36, 28);
    bZeit->setFocusPolicy(Qt::NoFocus);
    bZeit->setIcon(Pictures::clockFace(22));
    bZeit->setIconSize(QSize(22, 22));
    bZeit->setStyleSheet(QStringLiteral("QPushButton { background: blue; border: none; }"
                                        "QPushButton:hover { background: navy; }"
                                        "QPushButton:disabled { background: #7080b0; }"));
    connect(bZeit, &PressButton::mouseDown, this, &TFormMain::CapturePass);
    capRow->addWidget(bZeit);
    capRow->addWidget(new QLabel(QStringLiteral("Ziel"), cap), 1);
    column->addWidget(cap);

    mPendingModel = new PendingListModel(mCore.pending(), this);
    ListBoxTime = new QListView(panel);
    ListBoxTime->setObjectName(QStringLiteral("ListBoxTime"));
    ListBoxTime->setModel(mPendingModel);
    ListBoxTime->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBoxTime->setToolTip(QStringLiteral("[Space] Add Zeit\r\n[Ctrl+Del] Zeit löschen\r\n[0..9,F1..F10] Zeit zuweisen"));
    QFont listFont(QStringLiteral("Arial"));
    listFont.setPixelSize(16);
    listFont.setBold(true);
    ListBoxTime->setFont(listFont);
    connect(ListBoxTime->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (!mSyncingSelection && current.isValid())
            send({Kind::SelectPending, 0, current.row()});
    });
    column->addWidget(ListBoxTime, 1);
}

void TFormMain::buildStatusBar()
{
    static constexpr int widths[4] = {286, 0, 90, 70};
    for (int i = 0; i < 4; ++i) {
        StatusPanels[i] = new QLabel(statusBar());
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setAlignment(i == 1 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
        if (widths[i] > 0)
            StatusPanels[i]->setFixedWidth(widths[i]);
        statusBar()->addWidget(StatusPanels[i], i == 1 ? 1 : 0);
    }
    StatusPanels[0]->setText(QStringLiteral("Chronolauf Rundenzeiten"));
}

void TFormMain::send(RaceInput input)
{
    input.tick = ReadClock(mClock);
    mCore.apply(input);
}

void TFormMain::mStart2Click()
{
    bool confirmed = true;
    if (const auto question = mCore.startQuestion())
        confirmed = mAsker.ask(question->text, question->focusNo);
    send({Kind::StartCommand, 0, 0, confirmed});
}

void TFormMain::CapturePass()
{
    send({Kind::CapturePass});
}

void TFormMain::runCommand(const Command &command)
{
    switch (command.id) {
    case Command::Id::Start: mStart2Click(); break;
    case Command::Id::Capture: CapturePass(); break;
    case Command::Id::Participant: send({Kind::Assign, 0, command.participant}); break;
    case Command::Id::DeletePending: send({Kind::DeletePending}); break;
    case Command::Id::Sort: send({Kind::SortCycle}); break;
    case Command::Id::ToggleArming: send({Kind::ToggleArming}); break;
    }
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    // The race duration field takes digits, Backspace and the time separator only.
    if (watched == meTime && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            return false;
        const QString text = key->text();
        if (!text.isEmpty() && text.front().isPrint() && !RaceCore::DurationKeyAccepted(text.front(), mCore.timeSeparator()))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::showGridContextMenu(const QPoint &pos)
{
    const QModelIndex index = SortGrid1->indexAt(pos);
    if (index.isValid())
        SortGrid1->setCurrentIndex(index);
    mAus->setEnabled(mCore.controls().ausEnabled);
    PopupMenuAus->popup(SortGrid1->viewport()->mapToGlobal(pos));
}

void TFormMain::syncTimer(QTimer *timer, bool enabled)
{
    if (enabled && !timer->isActive())
        timer->start();
    else if (!enabled && timer->isActive())
        timer->stop();
}

void TFormMain::showControls()
{
    const Controls &c = mCore.controls();
    bSTART2->setText(c.startCaption);
    bSTART2->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border: 1px solid %2; }"
                                          "QPushButton:hover { color: yellow; }")
                               .arg(fromBgr(c.startColour).name(), fromBgr(c.startLightColour).name()));
    bZeit->setEnabled(c.captureEnabled);
    mAus->setEnabled(c.ausEnabled);
    eTitle->setEnabled(c.titleEnabled);
    for (QWidget *w : {static_cast<QWidget *>(cbTip), static_cast<QWidget *>(meTimeWarn),
                       static_cast<QWidget *>(sbTimeWarnUp), static_cast<QWidget *>(sbTimeWarnDown)})
        w->setEnabled(c.setupEnabled);
    meTime->setReadOnly(c.durationReadOnly);
    ImageGong->setVisible(c.gongVisible);

    if (eTitle->text() != mCore.title())
        eTitle->setText(mCore.title());
    if (cbTip->currentIndex() != mCore.sessionType())
        cbTip->setCurrentIndex(mCore.sessionType());
    if (meTimeWarn->text() != mCore.warnText())
        meTimeWarn->setText(mCore.warnText());
    if (meTime->text() != mCore.durationText())
        meTime->setText(mCore.durationText());
    eTime->setText(mCore.wallClockText());

    syncTimer(TimerALL, c.timerAllEnabled);
    syncTimer(Timer1, c.timer1Enabled);
    syncTimer(TimerLockStop, c.timerLockStopEnabled);
}

void TFormMain::showPending()
{
    mSyncingSelection = true;
    mPendingModel->refresh();
    const int selected = mCore.pending().selectedIndex();
    if (selected >= 0)
        ListBoxTime->setCurrentIndex(mPendingModel->index(selected));
    mSyncingSelection = false;
    StatusPanels[3]->setText(QString::number(mCore.pending().count()));
}

void TFormMain::gridChanged(GridChange change)
{
    switch (change) {
    case GridChange::RunningTimes: mGridModel->columnChanged(StandingsGrid::CurrentTime); break;
    case GridChange::Cells: mGridModel->allChanged(); break;
    case GridChange::RowCount:
        mGridModel->rowCountChanged();
        SortGrid1->setFixedHeight(RaceCore::GridHeight(mCore.grid().rowCount()) + SortGrid1->horizontalHeader()->height());
        break;
    }
}

void TFormMain::pendingChanged()
{
    showPending();
}

void TFormMain::controlsChanged()
{
    showControls();
}

void TFormMain::playSound(Sound sound)
{
    mSound.play(QString::fromLatin1(sound == Sound::Gong ? GongSound : ContactSound));
}

void TFormMain::focusPendingList()
{
    ListBoxTime->setFocus();
}
