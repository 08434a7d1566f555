#include "ui/TFormMain.h"

#include "core/TickSource.h"
#include "output/HtmlProtocol.h"
#include "platform/PagePrinter.h"
#include "platform/DataFiles.h"
#include "platform/Shell.h"
#include "platform/SoundPlayer.h"
#include "ui/BgrColour.h"
#include "ui/GridDelegate.h"
#include "ui/GridHeader.h"
#include "ui/GridModel.h"
#include "ui/GridStyle.h"
#include "ui/KeyDispatcher.h"
#include "ui/PendingListModel.h"
#include "ui/Pictures.h"
#include "ui/PressButton.h"
#include "ui/QuestionAsker.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QDate>
#include <QMenu>
#include <QStatusBar>
#include <QTableView>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using Kind = RaceInput::Kind;

namespace {

constexpr int TopPanelHeight = 88;
constexpr int PassPanelWidth = 114;
constexpr int StatusWidths[4] = {286, 0, 90, 70};
constexpr std::uint32_t TopPanelColour = 0xC0DCC0;

QString colourName(std::uint32_t bgr)
{
    return fromBgr(bgr).name();
}

QLabel *caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QFont arial(int pixels, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QTimer *makeTimer(int intervalMs, QObject *parent)
{
    auto *timer = new QTimer(parent);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(intervalMs);
    return timer;
}

QToolButton *speedButton(const char *name, Pictures::Glyph glyph, const QString &hint, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(Pictures::buttonGlyph(glyph, 26));
    button->setIconSize(QSize(26, 26));
    button->setFixedSize(37, 38);
    button->setAutoRaise(true);
    button->setToolTip(hint);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// A word-mark label over a black copy a little down and to the right.
QLabel *shadowedLabel(const QString &text, const QColor &colour, QWidget *parent, QLabel **shadow)
{
    *shadow = new QLabel(text, parent);
    (*shadow)->setFont(arial(27, true));
    (*shadow)->setStyleSheet(QStringLiteral("color: black;"));
    auto *label = new QLabel(text, parent);
    label->setFont(arial(27, true));
    label->setStyleSheet(QStringLiteral("color: %1;").arg(colour.name()));
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

} // namespace

TFormMain::TFormMain(const Services &services, QWidget *parent)
    : QMainWindow(parent)
    , mClock(services.clock)
    , mSound(services.sound)
    , mShell(services.shell)
    , mPrinter(services.printer)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Chronolauf v1.8"));
    setWindowIcon(Pictures::appIcon());
    QPalette moneyGreen = palette();
    moneyGreen.setColor(QPalette::Window, fromBgr(TopPanelColour));
    setPalette(moneyGreen);

    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildTopPanel());

    auto *middle = new QWidget(central);
    middle->setObjectName(QStringLiteral("Panel4"));
    middle->setMinimumSize(826, 60);
    auto *middleRow = new QHBoxLayout(middle);
    middleRow->setContentsMargins(0, 0, 0, 0);
    middleRow->setSpacing(0);
    middleRow->addWidget(buildGrid(), 1);
    middleRow->addWidget(buildPassPanel());
    column->addWidget(middle, 1);
    setCentralWidget(central);

    buildStatusBar();
    buildTimers();

    mKeys = new KeyDispatcher(
        this,
        [this] {
            return KeyBindingState{mCore.controls().digitKeysBound, mCore.controls().captureEnabled};
        },
        [this](const Command &command) { runCommand(command); });

    mCore.setObserver(this);
    input({Kind::TimerDate, 0, QTime::currentTime().msecsSinceStartOfDay()});
    TimerDate->start();
    showControls();
    showPending();
    setMinimumWidth(1024);
    resize(1024, height());
    fitToParticipants();
}

TFormMain::~TFormMain()
{
    // The widgets outlive the core by a moment and still signal while they go (a field
    // that loses the focus finishes its editing): nothing may reach the core any more.
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
    qApp->removeEventFilter(mKeys);
    mCore.setObserver(nullptr);
}

void TFormMain::setDialogs(QuestionAsker *asker, QDialog *info)
{
    mAsker = asker;
    mInfo = info;
}

QWidget *TFormMain::buildTopPanel()
{
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(TopPanelHeight);
    Panel1->setAutoFillBackground(true);
    auto *row = new QHBoxLayout(Panel1);
    row->setContentsMargins(6, 0, 0, 0);
    row->setSpacing(4);

    // Left: title and session type above the word mark and the clocks' settings; the logo beside them.
    auto *fields = new QGridLayout;
    fields->setContentsMargins(0, 4, 0, 4);
    fields->setHorizontalSpacing(4);
    auto *titleRow = new QHBoxLayout;
    titleRow->setSpacing(4);
    titleRow->addWidget(caption(QStringLiteral("Rennen:"), Panel1));
    eTitle = new QLineEdit(Panel1);
    eTitle->setObjectName(QStringLiteral("eTitle"));
    eTitle->setFixedWidth(293);
    connect(eTitle, &QLineEdit::textEdited, this, [this](const QString &text) { input({Kind::TitleEdited, 0, 0, false, text}); });
    titleRow->addWidget(eTitle);
    titleRow->addSpacing(6);
    titleRow->addWidget(caption(QStringLiteral("Session:"), Panel1));
    cbTip = new QComboBox(Panel1);
    cbTip->setObjectName(QStringLiteral("cbTip"));
    cbTip->addItems(RaceCore::SessionTypes());
    cbTip->setFixedWidth(90);
    connect(cbTip, &QComboBox::activated, this, [this](int index) { input({Kind::SessionTypeChosen, 0, index}); });
    titleRow->addWidget(cbTip);
    titleRow->addStretch();
    fields->addLayout(titleRow, 0, 0);

    auto *lower = new QHBoxLayout;
    lower->setSpacing(4);
    // The word mark: red and green over black shadows, then a small flag.
    auto *mark = new QWidget(Panel1);
    mark->setFixedSize(190, 40);
    QLabel *shadow14 = nullptr;
    QLabel *shadow12 = nullptr;
    Label14 = shadowedLabel(QStringLiteral("Zeit"), fromBgr(0x0000FF), mark, &shadow14);
    Label12 = shadowedLabel(QStringLiteral("kontor"), fromBgr(0x00C000), mark, &shadow12);
    Label14->setObjectName(QStringLiteral("Label14"));
    Label12->setObjectName(QStringLiteral("Label12"));
    for (QLabel *label : {Label14, Label12, shadow14, shadow12})
        label->adjustSize();
    Label14->move(0, 2);
    shadow14->move(2, 4);
    Label12->move(Label14->width(), 2);
    shadow12->move(Label14->width() + 2, 4);
    shadow14->lower();
    shadow12->lower();
    auto *flag = new QLabel(mark);
    flag->setObjectName(QStringLiteral("Image1"));
    flag->setPixmap(Pictures::flag(30, 21));
    flag->move(Label14->width() + Label12->width() + 6, 10);
    for (QLabel *label : {Label14, Label12})
        label->installEventFilter(this);
    lower->addWidget(mark);
    lower->addStretch();

    ImageGong = new QLabel(Panel1);
    ImageGong->setObjectName(QStringLiteral("ImageGong"));
    ImageGong->setPixmap(Pictures::gong(24));
    ImageGong->setFixedSize(24, 24);
    lower->addWidget(ImageGong);
    lower->addWidget(caption(QStringLiteral("Warnzeit:"), Panel1));
    meTimeWarn = new QLineEdit(Panel1);
    meTimeWarn->setObjectName(QStringLiteral("meTimeWarn"));
    meTimeWarn->setInputMask(QStringLiteral("00:00"));
    meTimeWarn->setToolTip(QStringLiteral("TimeFormat MM:SS"));
    meTimeWarn->setFixedWidth(45);
    connect(meTimeWarn, &QLineEdit::textEdited, this, [this](const QString &text) { input({Kind::WarnTimeEdited, 0, 0, false, text}); });
    lower->addWidget(meTimeWarn);
    auto *spin = new QVBoxLayout;
    spin->setSpacing(0);
    sbTimeWarnUp = new QToolButton(Panel1);
    sbTimeWarnUp->setObjectName(QStringLiteral("sbTimeWarnUp"));
    sbTimeWarnUp->setArrowType(Qt::UpArrow);
    sbTimeWarnUp->setFixedSize(16, 11);
    sbTimeWarnDown = new QToolButton(Panel1);
    sbTimeWarnDown->setObjectName(QStringLiteral("sbTimeWarnDown"));
    sbTimeWarnDown->setArrowType(Qt::DownArrow);
    sbTimeWarnDown->setFixedSize(16, 11);
    connect(sbTimeWarnUp, &QToolButton::clicked, this, [this] { input({Kind::WarnStepUp}); });
    connect(sbTimeWarnDown, &QToolButton::clicked, this, [this] { input({Kind::WarnStepDown}); });
    spin->addWidget(sbTimeWarnUp);
    spin->addWidget(sbTimeWarnDown);
    lower->addLayout(spin);
    lower->addSpacing(6);
    lower->addWidget(caption(QStringLiteral("Counter:"), Panel1));
    meTime = new QLineEdit(Panel1);
    meTime->setObjectName(QStringLiteral("meTime"));
    meTime->setFixedSize(100, 32);
    meTime->setFont(arial(24, true));
    meTime->setTextMargins(0, 0, 0, 0);
    meTime->installEventFilter(this);
    connect(meTime, &QLineEdit::textEdited, this, [this](const QString &text) { input({Kind::DurationTyped, 0, 0, false, text}); });
    connect(meTime, &QLineEdit::editingFinished, this, [this] { input({Kind::DurationEdited, 0, 0, false, meTime->text()}); });
    lower->addWidget(meTime);
    fields->addLayout(lower, 1, 0);

    ImageLogo = new QLabel(Panel1);
    ImageLogo->setObjectName(QStringLiteral("ImageLogo"));
    ImageLogo->setFixedSize(150, 85);
    ImageLogo->setToolTip(QStringLiteral("Logo.jpg (150x85)"));
    fields->addWidget(ImageLogo, 0, 1, 2, 1, Qt::AlignVCenter);
    row->addLayout(fields, 1);

    row->addWidget(buildButtonPanel(Panel1));
    return Panel1;
}

QWidget *TFormMain::buildButtonPanel(QWidget *parent)
{
    auto *panel = new QWidget(parent);
    panel->setObjectName(QStringLiteral("Panel2"));
    panel->setFixedSize(306, TopPanelHeight);
    panel->setAutoFillBackground(true);
    QPalette fixed = panel->palette();
    fixed.setColor(QPalette::Window, fromBgr(GridLayout::Colour::Fixed));
    panel->setPalette(fixed);

    using Pictures::Glyph;
    sbHelp = speedButton("sbHelp", Glyph::Help, QStringLiteral("[Ctrl+H] Hilfe"), panel);
    bCFG = speedButton("bCFG", Glyph::Settings, QStringLiteral("[Ctrl+E] Einstellungen"), panel);
    bInfo = speedButton("bInfo", Glyph::Info, QStringLiteral("[Ctrl+I] Info"), panel);
    sbExcel = speedButton("sbExcel", Glyph::Spreadsheet, QStringLiteral("Export nach MS Excel"), panel);
    sbWeb = speedButton("sbWeb", Glyph::Web, QStringLiteral("Als Webseite"), panel);
    bStartList = speedButton("bStartList", Glyph::StarterList, QStringLiteral("[Ctrl+O] Starterliste öffnen"), panel);
    int x = 2;
    for (QToolButton *button : {sbHelp, bCFG, bInfo, sbExcel, sbWeb}) {
        button->move(x, 4);
        x += 38;
    }
    bStartList->move(2, 46);
    connect(sbHelp, &QToolButton::clicked, this, &TFormMain::sbHelpClick);
    connect(bInfo, &QToolButton::clicked, this, &TFormMain::Info1Click);
    connect(bCFG, &QToolButton::clicked, this, [this] { runCommand({Command::Id::Settings}); });
    connect(bStartList, &QToolButton::clicked, this, [this] { runCommand({Command::Id::OpenStarterList}); });
    connect(sbExcel, &QToolButton::clicked, this, [this] { notYetAvailable(QStringLiteral("Export nach MS Excel")); });
    connect(sbWeb, &QToolButton::clicked, this, &TFormMain::sbWebClick);

    // The barrier indicator shows only while a serial port is open; without one the start
    // button takes its place.
    ImageLS1 = new QLabel(panel);
    ImageLS1->setObjectName(QStringLiteral("ImageLS1"));
    ImageLS1->setGeometry(40, 49, 32, 32);
    ImageLS1->setToolTip(QStringLiteral("[Ctrl+L]"));
    ImageLS1->setCursor(Qt::PointingHandCursor);
    ImageLS1->installEventFilter(this);
    ImageLS1->hide();

    bSTART2 = new PressButton(panel);
    bSTART2->setObjectName(QStringLiteral("bSTART2"));
    bSTART2->setToolTip(QStringLiteral("[Ctrl+S]"));
    bSTART2->setGeometry(41, 46, 145, 38);
    bSTART2->setFocusPolicy(Qt::NoFocus);
    bSTART2->setFont(arial(27, true));
    connect(bSTART2, &PressButton::mouseDown, this, &TFormMain::mStart2Click);

    eTime = new QLabel(panel);
    eTime->setObjectName(QStringLiteral("eTime"));
    eTime->setGeometry(192, 4, PassPanelWidth - 2, 40);
    eTime->setAlignment(Qt::AlignCenter);
    eTime->setAutoFillBackground(true);
    eTime->setFont(arial(24, false));
    eTime->setStyleSheet(QStringLiteral("background: black; color: #00FF00;"));

    Panel7 = new QLabel(QStringLiteral("LS-Kontakt"), panel);
    Panel7->setObjectName(QStringLiteral("Panel7"));
    Panel7->setGeometry(192, 46, PassPanelWidth - 2, 38);
    Panel7->setAlignment(Qt::AlignCenter);
    Panel7->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel7->setToolTip(QStringLiteral("Leeretaste zum Testen"));
    return panel;
}

QWidget *TFormMain::buildGrid()
{
    mGridModel = new GridModel(mCore, this);
    SortGrid1 = new QTableView(this);
    SortGrid1->setObjectName(QStringLiteral("SortGrid1"));
    mGridHeader = new GridHeader(mCore, mClock, SortGrid1);
    SortGrid1->setHorizontalHeader(mGridHeader);
    SortGrid1->setModel(mGridModel);
    SortGrid1->setItemDelegate(new GridDelegate(mCore, mClock, SortGrid1));
    SortGrid1->verticalHeader()->hide();
    SortGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // A row is 22 pixels of cell and one of grid line.
    SortGrid1->verticalHeader()->setDefaultSectionSize(GridLayout::RowHeight + 1);
    SortGrid1->verticalHeader()->setMinimumSectionSize(GridLayout::RowHeight + 1);
    mGridHeader->setFixedHeight(GridLayout::TitleRowHeight);
    for (int c = 0; c < StandingsGrid::ColumnCount; ++c)
        mGridHeader->resizeSection(c, c == StandingsGrid::Name ? 104 : GridLayout::ColumnWidths[c]);
    SortGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SortGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    SortGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SortGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SortGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    SortGrid1->setFont(GridStyle::gridFont());
    SortGrid1->installEventFilter(this);
    connect(SortGrid1, &QWidget::customContextMenuRequested, this, &TFormMain::showGridContextMenu);

    PopupMenuAus = new QMenu(this);
    PopupMenuAus->setObjectName(QStringLiteral("PopupMenuAus"));
    mAus = PopupMenuAus->addAction(QStringLiteral("Aus"));
    mAus->setObjectName(QStringLiteral("mAus"));
    connect(mAus, &QAction::triggered, this, [this] {
        input({Kind::MarkOut, 0, SortGrid1->currentIndex().row() + 1});
    });
    return SortGrid1;
}

QWidget *TFormMain::buildPassPanel()
{
    PanelRR = new QWidget(this);
    PanelRR->setObjectName(QStringLiteral("PanelRR"));
    PanelRR->setFixedWidth(PassPanelWidth);
    PanelRR->setAutoFillBackground(true);
    QPalette fixed = PanelRR->palette();
    fixed.setColor(QPalette::Window, fromBgr(GridLayout::Colour::Fixed));
    PanelRR->setPalette(fixed);
    auto *column = new QVBoxLayout(PanelRR);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *cap = new QWidget(PanelRR);
    cap->setObjectName(QStringLiteral("PanelCap"));
    cap->setFixedHeight(30);
    bZeit = new PressButton(cap);
    bZeit->setObjectName(QStringLiteral("bZeit"));
    bZeit->setToolTip(QStringLiteral("[Space]"));
    bZeit->setGeometry(1, 1, 36, 28);
    bZeit->setFocusPolicy(Qt::NoFocus);
    bZeit->setCursor(Qt::PointingHandCursor);
    bZeit->setIcon(Pictures::clockFace(22));
    bZeit->setIconSize(QSize(22, 22));
    bZeit->setStyleSheet(QStringLiteral("QPushButton { background: blue; border: none; }"
                                        "QPushButton:hover { background: navy; }"
                                        "QPushButton:disabled { background: #7080b0; }"));
    connect(bZeit, &PressButton::mouseDown, this, &TFormMain::CapturePass);
    auto *goal = new QLabel(QStringLiteral("         Ziel"), cap);
    goal->setGeometry(0, 0, PassPanelWidth, 30);
    goal->setAlignment(Qt::AlignCenter);
    goal->setFont(arial(16, true));
    goal->lower();
    column->addWidget(cap);

    mPendingModel = new PendingListModel(mCore.pending(), this);
    ListBoxTime = new QListView(PanelRR);
    ListBoxTime->setObjectName(QStringLiteral("ListBoxTime"));
    ListBoxTime->setModel(mPendingModel);
    ListBoxTime->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBoxTime->setUniformItemSizes(true);
    ListBoxTime->setToolTip(QStringLiteral("[Space] Add Zeit\r\n[Ctrl+Del] Zeit löschen\r\n[0..9,F1..F10] Zeit zuweisen"));
    ListBoxTime->setFont(arial(16, true));
    ListBoxTime->setStyleSheet(QStringLiteral("QListView::item { height: 19px; padding-right: 2px; }"));
    connect(ListBoxTime->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (!mSyncingSelection && current.isValid())
            input({Kind::SelectPending, 0, current.row()});
    });
    column->addWidget(ListBoxTime, 1);
    return PanelRR;
}

void TFormMain::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    for (int i = 0; i < 4; ++i) {
        StatusPanels[i] = new QLabel(bar);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setAlignment(i == 1 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
        StatusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (StatusWidths[i] > 0)
            StatusPanels[i]->setFixedWidth(StatusWidths[i]);
        bar->addWidget(StatusPanels[i], i == 3 ? 1 : 0);
    }
    StatusPanels[0]->setText(QStringLiteral("Chronolauf - Rundenzeiten"));
}

void TFormMain::buildTimers()
{
    TimerALL = makeTimer(10, this);
    Timer1 = makeTimer(450, this);
    TimerDate = makeTimer(450, this);
    TimerLockStop = makeTimer(20000, this);
    connect(TimerALL, &QTimer::timeout, this, [this] { input({Kind::TimerAll}); });
    connect(Timer1, &QTimer::timeout, this, [this] { input({Kind::Timer1}); });
    connect(TimerDate, &QTimer::timeout, this, [this] {
        input({Kind::TimerDate, 0, QTime::currentTime().msecsSinceStartOfDay()});
    });
    connect(TimerLockStop, &QTimer::timeout, this, [this] { input({Kind::TimerLockStop}); });
}

void TFormMain::input(RaceInput in)
{
    in.tick = ReadClock(mClock);
    mCore.apply(in);
}

void TFormMain::mStart2Click()
{
    bool confirmed = true;
    if (const auto question = mCore.startQuestion())
        confirmed = mAsker && mAsker->ask(question->text, question->focusNo);
    input({Kind::StartCommand, 0, 0, confirmed});
}

void TFormMain::CapturePass()
{
    input({Kind::CapturePass});
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
        StatusPanels[1]->setText(QStringLiteral("Hilfe nicht gefunden"));
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

// Writes the results page; on failure the operator is told and no older page is shown.
bool TFormMain::writeProtocol(const QString &fileName)
{
    HtmlProtocol::Page page;
    page.title = mCore.title();
    page.sessionType = mCore.sessionTypeText();
    page.date = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
    page.webAddress = mWebAddress;
    page.webLinkText = QStringLiteral("Zeitkontor");
    const HtmlProtocol::WriteResult result = HtmlProtocol::WriteHtmlProtocol(fileName, page, mCore.grid());
    switch (result.status) {
    case HtmlProtocol::WriteResult::Status::Written: return true;
    case HtmlProtocol::WriteResult::Status::CannotOpen:
        QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("Der Schreibfehler der Datei: ") + fileName);
        return false;
    case HtmlProtocol::WriteResult::Status::WriteFailed:
        QMessageBox::critical(this, QStringLiteral("Error"), result.error);
        return false;
    }
    return false;
}

void TFormMain::sbWebClick()
{
    const QString fileName = ProtocolFileName();
    if (writeProtocol(fileName))
        mShell.open(QDir::current().absoluteFilePath(fileName));
}

void TFormMain::Print1Click()
{
    const QString fileName = ProtocolFileName();
    if (writeProtocol(fileName))
        mPrinter.print(this, QDir::current().absoluteFilePath(fileName));
}

void TFormMain::notYetAvailable(const QString &what)
{
    StatusPanels[1]->setText(what + QStringLiteral(": in dieser Version noch nicht verfügbar"));
}

void TFormMain::runCommand(const Command &command)
{
    switch (command.id) {
    case Command::Id::Start: mStart2Click(); break;
    case Command::Id::Capture: CapturePass(); break;
    case Command::Id::Participant: input({Kind::Assign, 0, command.participant}); break;
    case Command::Id::DeletePending: input({Kind::DeletePending}); break;
    case Command::Id::Sort: input({Kind::SortCycle}); break;
    case Command::Id::ToggleArming: input({Kind::ToggleArming}); break;
    case Command::Id::Help: sbHelpClick(); break;
    case Command::Id::Info: Info1Click(); break;
    case Command::Id::Settings: notYetAvailable(QStringLiteral("Einstellungen")); break;
    case Command::Id::OpenStarterList: notYetAvailable(QStringLiteral("Starterliste")); break;
    case Command::Id::Print: Print1Click(); break;
    case Command::Id::HelpMenu: break;
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
    if ((watched == Label14 || watched == Label12) && event->type() == QEvent::MouseButtonRelease) {
        Label14Click();
        return true;
    }
    if (watched == ImageLS1 && event->type() == QEvent::MouseButtonRelease) {
        input({Kind::ToggleArming});
        return true;
    }
    if (watched == SortGrid1 && event->type() == QEvent::Resize)
        FormResize();
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    if (const auto question = mCore.closeQuestion()) {
        if (!mAsker || !mAsker->ask(question->text, question->focusNo)) {
            event->ignore();
            return;
        }
    }
    TimerALL->stop();
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
    mGridHeader->resizeSection(StandingsGrid::TotalTime, GridLayout::ColumnWidths[StandingsGrid::TotalTime]);
    mGridHeader->resizeSection(StandingsGrid::Name, qMax(0, GridLayout::NameColumnWidth(SortGrid1->width())));
    const QSize outer = frameGeometry().size();
    StatusPanels[2]->setText(QStringLiteral("%1x%2").arg(outer.width()).arg(outer.height()));
    StatusPanels[1]->setFixedWidth(qMax(0, width() - StatusWidths[0] - StatusWidths[2] - PassPanelWidth));
    bSTART2->update();
    bZeit->update();
}

// Participant count changed: the window is made tall enough to show every participant row.
void TFormMain::fitToParticipants()
{
    const int gridHeight = RaceCore::GridHeight(mCore.grid().rowCount()) + GridLayout::TitleRowHeight;
    SortGrid1->setFixedHeight(gridHeight);
    const int clientHeight = TopPanelHeight + gridHeight + statusBar()->sizeHint().height();
    setMinimumHeight(clientHeight);
    resize(width(), clientHeight);
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
    if (mShownBarrierPicture != c.barrierPicture) {
        ImageLS1->setPixmap(Pictures::barrierSign(c.barrierPicture, 32));
        mShownBarrierPicture = c.barrierPicture;
    }

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
    case GridChange::Cells:
        mGridModel->allChanged();
        mGridHeader->viewport()->update();
        break;
    case GridChange::RowCount:
        mGridModel->rowCountChanged();
        fitToParticipants();
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
