// The main window's widgets: their looks, sizes and places. Behaviour is wired in TFormMain.cpp.
#include "ui/TFormMain.h"

#include "core/GridLayout.h"
#include "core/RaceCore.h"
#include "session/RaceSession.h"
#include "ui/BarrierIndicator.h"
#include "ui/BgrColour.h"
#include "ui/CorrectionsWindow.h"
#include "ui/GridView.h"
#include "ui/GridHeader.h"
#include "ui/GridModel.h"
#include "ui/GridStyle.h"
#include "ui/PendingListModel.h"
#include "ui/Pictures.h"
#include "ui/PressButton.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr std::uint32_t TopPanelColour = 0xC0DCC0;

QLabel *caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

// The caption is the field's buddy and its accessible name: a screen reader reads the field
// by the text beside it.
void label(QLabel *caption, QWidget *field)
{
    caption->setBuddy(field);
    field->setAccessibleName(caption->text());
}

QFont arial(int pixels, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
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

void TFormMain::buildLayout()
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
    // The grid fills the panel's whole height; rows beyond the participants stay empty.
    middleRow->addWidget(buildGrid(), 1);
    middleRow->addWidget(buildPassPanel());
    column->addWidget(middle, 1);
    setCentralWidget(central);

    buildStatusBar();

    Corrections = new CorrectionsWindow(mSession, this);
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
    QLabel *titleCaption = caption(QStringLiteral("Rennen:"), Panel1);
    titleRow->addWidget(titleCaption);
    eTitle = new QLineEdit(Panel1);
    label(titleCaption, eTitle);
    eTitle->setObjectName(QStringLiteral("eTitle"));
    eTitle->setFixedWidth(293);
    titleRow->addWidget(eTitle);
    titleRow->addSpacing(6);
    QLabel *typeCaption = caption(QStringLiteral("Session:"), Panel1);
    titleRow->addWidget(typeCaption);
    cbTip = new QComboBox(Panel1);
    label(typeCaption, cbTip);
    cbTip->setObjectName(QStringLiteral("cbTip"));
    cbTip->addItems(RaceCore::SessionTypes());
    cbTip->setFixedWidth(90);
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
    lower->addWidget(mark);
    lower->addStretch();

    ImageGong = new QLabel(Panel1);
    ImageGong->setObjectName(QStringLiteral("ImageGong"));
    ImageGong->setPixmap(Pictures::gong(24));
    ImageGong->setFixedSize(24, 24);
    lower->addWidget(ImageGong);
    QLabel *warnCaption = caption(QStringLiteral("Warnzeit:"), Panel1);
    lower->addWidget(warnCaption);
    meTimeWarn = new QLineEdit(Panel1);
    label(warnCaption, meTimeWarn);
    meTimeWarn->setObjectName(QStringLiteral("meTimeWarn"));
    // Both digit pairs are required: a half-typed warning time is not acceptable input.
    meTimeWarn->setInputMask(QStringLiteral("99:99"));
    meTimeWarn->setToolTip(QStringLiteral("TimeFormat MM:SS"));
    meTimeWarn->setFixedWidth(45);
    lower->addWidget(meTimeWarn);
    auto *spin = new QVBoxLayout;
    spin->setSpacing(0);
    sbTimeWarnUp = new QToolButton(Panel1);
    sbTimeWarnUp->setObjectName(QStringLiteral("sbTimeWarnUp"));
    sbTimeWarnUp->setArrowType(Qt::UpArrow);
    sbTimeWarnUp->setFixedSize(16, 11);
    sbTimeWarnUp->setAccessibleName(QStringLiteral("Warnzeit länger"));
    sbTimeWarnDown = new QToolButton(Panel1);
    sbTimeWarnDown->setObjectName(QStringLiteral("sbTimeWarnDown"));
    sbTimeWarnDown->setArrowType(Qt::DownArrow);
    sbTimeWarnDown->setFixedSize(16, 11);
    sbTimeWarnDown->setAccessibleName(QStringLiteral("Warnzeit kürzer"));
    spin->addWidget(sbTimeWarnUp);
    spin->addWidget(sbTimeWarnDown);
    lower->addLayout(spin);
    lower->addSpacing(6);
    QLabel *durationCaption = caption(QStringLiteral("Counter:"), Panel1);
    lower->addWidget(durationCaption);
    meTime = new QLineEdit(Panel1);
    label(durationCaption, meTime);
    meTime->setObjectName(QStringLiteral("meTime"));
    meTime->setFixedSize(100, 32);
    meTime->setFont(arial(24, true));
    meTime->setTextMargins(0, 0, 0, 0);
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
    panel->setFixedSize(ButtonPanelWidth, TopPanelHeight);
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
    bCorrections = speedButton("bCorrections", Glyph::Corrections, QStringLiteral("[Ctrl+K] Korrekturen"), panel);
    int x = 2;
    for (QToolButton *button : {sbHelp, bCFG, bInfo, sbExcel, sbWeb, bCorrections}) {
        button->move(x, 4);
        x += 38;
    }
    bStartList->move(2, 46);

    // The barrier indicator shows only while a serial port is open; without one the start
    // button takes its place.
    ImageLS1 = new BarrierIndicator(mSession, panel);
    ImageLS1->setGeometry(40, 49, 32, 32);

    bSTART2 = new PressButton(panel);
    bSTART2->setObjectName(QStringLiteral("bSTART2"));
    bSTART2->setToolTip(QStringLiteral("[Ctrl+S]"));
    // Without a serial port the start button takes the place of the barrier indicator.
    bSTART2->setGeometry(43, 46, StartRight - 43, 38);
    bSTART2->setFocusPolicy(Qt::NoFocus);
    bSTART2->setFont(arial(27, true));

    eTime = new QLabel(panel);
    eTime->setObjectName(QStringLiteral("eTime"));
    eTime->setGeometry(ClockLeft, 4, PassPanelWidth - 2, 40);
    eTime->setAlignment(Qt::AlignCenter);
    eTime->setAutoFillBackground(true);
    eTime->setFont(arial(24, false));
    eTime->setStyleSheet(QStringLiteral("background: black; color: #00FF00;"));

    Panel7 = new QLabel(QStringLiteral("LS-Kontakt"), panel);
    Panel7->setObjectName(QStringLiteral("Panel7"));
    Panel7->setGeometry(ClockLeft, 46, PassPanelWidth - 2, 38);
    Panel7->setAlignment(Qt::AlignCenter);
    Panel7->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel7->setToolTip(QStringLiteral("Leeretaste zum Testen"));
    return panel;
}

QWidget *TFormMain::buildGrid()
{
    mGridModel = new GridModel(mSession.core(), this);
    SortGrid1 = new GridView(mSession.core(), mSession.clock(), this);
    SortGrid1->setObjectName(QStringLiteral("SortGrid1"));
    mGridHeader = new GridHeader(mSession.core(), mSession.clock(), SortGrid1);
    SortGrid1->setHorizontalHeader(mGridHeader);
    SortGrid1->setModel(mGridModel);
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

    PopupMenuAus = new QMenu(this);
    PopupMenuAus->setObjectName(QStringLiteral("PopupMenuAus"));
    mAus = PopupMenuAus->addAction(QStringLiteral("Aus"));
    mAus->setObjectName(QStringLiteral("mAus"));
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
    auto *goal = new QLabel(QStringLiteral("         Ziel"), cap);
    goal->setGeometry(0, 0, PassPanelWidth, 30);
    goal->setAlignment(Qt::AlignCenter);
    goal->setFont(arial(16, true));
    goal->lower();
    column->addWidget(cap);

    mPendingModel = new PendingListModel(mSession.core().pending(), this);
    ListBoxTime = new QListView(PanelRR);
    ListBoxTime->setObjectName(QStringLiteral("ListBoxTime"));
    ListBoxTime->setModel(mPendingModel);
    ListBoxTime->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBoxTime->setUniformItemSizes(true);
    ListBoxTime->setToolTip(QStringLiteral("[Space] Add Zeit\r\n[Ctrl+Del] Zeit löschen\r\n[0..9,F1..F10] Zeit zuweisen"));
    ListBoxTime->setFont(arial(16, true));
    ListBoxTime->setStyleSheet(QStringLiteral("QListView::item { height: 19px; padding-right: 2px; }"));
    column->addWidget(ListBoxTime, 1);
    return PanelRR;
}

void TFormMain::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(StatusBarHeight);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setStyleSheet(QStringLiteral("QStatusBar::item { border: none; }"));
    // One row of panels without gaps: the last one reaches the window's right edge.
    auto *panels = new QWidget(bar);
    auto *row = new QHBoxLayout(panels);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        StatusPanels[i] = new QLabel(panels);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setAlignment(i == 1 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
        StatusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (StatusWidths[i] > 0)
            StatusPanels[i]->setFixedWidth(StatusWidths[i]);
        row->addWidget(StatusPanels[i], i == 3 ? 1 : 0);
    }
    StatusPanels[3]->setMinimumWidth(StatusWidths[3]);
    StatusPanels[3]->setMaximumWidth(QWIDGETSIZE_MAX);
    bar->addWidget(panels, 1);
    StatusPanels[0]->setText(QStringLiteral("Chronolauf - Rundenzeiten"));
    TimerMessage = new QTimer(this);
    TimerMessage->setSingleShot(true);
    TimerMessage->setInterval(MessageTimeoutMs);
}


