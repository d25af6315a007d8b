#include "app/VS500F.h"

#include "display/AlarmBeeper.h"
#include "display/CaptionPanel.h"
#include "display/GaugeView.h"
#include "display/LcdLabel.h"
#include "display/LcdPanel.h"
#include "display/MinMaxPanel.h"
#include "display/Pictures.h"
#include "record/DataFiles.h"
#include "record/IntervalTextValidator.h"
#include "record/ReadingTableModel.h"
#include "record/ReportPreview.h"
#include "record/TableStore.h"
#include "record/TrendChart.h"
#include "record/WindowLayoutRule.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

namespace {

// Colours of the layout, given there as 24-bit values in blue-green-red order.
const QColor kWindowColor = colourFromBgr(16309696); // RGB 192, 221, 248
const QColor kGridColor = colourFromBgr(16694932);   // RGB 148, 190, 254

// The client area the layout was drawn for, and the frame around it that the resize rule's outer
// sizes include (caption, menu bar and borders of the layout's window).
constexpr int kClientWidth = 615;
constexpr int kClientHeight = 409;
constexpr int kFrameWidth = 7;
constexpr int kFrameHeight = 48;

QFont sansFont(int pixelSize, bool bold, bool italic = false)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

QString toQString(const std::string &s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

// Small painted icons for the recording row's tool buttons.
QIcon paintedIcon(char kind)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(30, 50, 90);
    switch (kind) {
    case 'n': // a blank sheet with a red cross: close the data
        p.setPen(ink);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 1.5, 10, 13));
        p.setPen(QPen(QColor(200, 30, 30), 2));
        p.drawLine(QPointF(6, 6), QPointF(13, 13));
        p.drawLine(QPointF(13, 6), QPointF(6, 13));
        break;
    case 'o': // an open folder
        p.setPen(ink);
        p.setBrush(QColor(240, 200, 80));
        p.drawRect(QRectF(1.5, 4.5, 12, 9));
        p.setBrush(QColor(250, 225, 120));
        p.drawPolygon(
            QPolygonF({QPointF(3.5, 7.5), QPointF(15.5, 7.5), QPointF(13.5, 13.5), QPointF(1.5, 13.5)}));
        break;
    case 's': // a floppy disk
        p.setPen(ink);
        p.setBrush(QColor(60, 90, 170));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(3.5, 9.5, 9, 5));
        break;
    case 'p': // a printer
        p.setPen(ink);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(170, 170, 180));
        p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 10.5, 7, 4));
        break;
    default:
        break;
    }
    return QIcon(pm);
}

// The reading grid. While a meter streams, rows only ever arrive after the last one, yet the view's
// layout pass after each batch repaints every visible row. After such a batch only the new rows and
// the empty space below them change (following the newest row scrolls the rest and repaints what
// that exposes), so the pass repaints just those; any other change of the rows keeps the full repaint.
class ReadingGrid : public QTableView
{
public:
    using QTableView::QTableView;

    void setModel(QAbstractItemModel *model) override
    {
        m_change = Change::Other;
        QTableView::setModel(model);
    }

    void doItemsLayout() override
    {
        const bool onlyAppended = m_change == Change::Appended;
        m_change = Change::None;
        QWidget *port = viewport();
        if (!onlyAppended || !port->isVisible() || port->testAttribute(Qt::WA_UpdatesDisabled)) {
            QTableView::doItemsLayout();
            return;
        }
        const QRect portBefore = port->geometry();
        const int verticalBefore = verticalScrollBar()->value();
        const int horizontalBefore = horizontalScrollBar()->value();
        const int offsetBefore = verticalHeader()->offset();
        const int columnOffsetBefore = horizontalHeader()->offset();
        // The base pass lays out and then updates the whole viewport; its update is kept out.
        port->setAttribute(Qt::WA_UpdatesDisabled, true);
        QTableView::doItemsLayout();
        port->setAttribute(Qt::WA_UpdatesDisabled, false);
        if (port->geometry() != portBefore || verticalScrollBar()->value() != verticalBefore ||
            horizontalScrollBar()->value() != horizontalBefore ||
            horizontalHeader()->offset() != columnOffsetBefore) {
            port->update(); // the scroll bar came or the view moved: everything shifted
            return;
        }
        // Scrolled to the end, the rows sit flush with the bottom edge; with a longer range they
        // move to a row boundary until the view follows the newest row. Moving what is shown keeps
        // it true to that, as a scroll would (the children stay where they are, as they do then).
        if (verticalHeader()->offset() != offsetBefore)
            port->scroll(0, offsetBefore - verticalHeader()->offset(), port->rect());
        const int top = std::max(0, rowViewportPosition(m_firstAppended));
        if (top < port->height())
            port->update(QRect(0, top, port->width(), port->height() - top));
    }

protected:
    void rowsInserted(const QModelIndex &parent, int start, int end) override
    {
        QTableView::rowsInserted(parent, start, end);
        const bool atEnd = !parent.isValid() && end == model()->rowCount() - 1;
        if (m_change == Change::None && atEnd) {
            m_change = Change::Appended;
            m_firstAppended = start;
        } else if (m_change != Change::Appended || !atEnd) {
            m_change = Change::Other;
        }
    }

    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override
    {
        m_change = Change::Other;
        QTableView::rowsAboutToBeRemoved(parent, start, end);
    }

    void reset() override
    {
        m_change = Change::Other;
        QTableView::reset();
    }

private:
    enum class Change
    {
        None,     // nothing since the last layout pass
        Appended, // rows from m_firstAppended on were added after the last one, and nothing else
        Other,
    };
    Change m_change = Change::None;
    int m_firstAppended = 0;
};

QToolButton *toolButton(QWidget *parent, const QString &name, const QString &hint, char icon, int left)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setIcon(paintedIcon(icon));
    b->setAutoRaise(true);
    b->setGeometry(left, 233, 22, 21);
    return b;
}

} // namespace

TFCOMM::TFCOMM(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FCOMM"));
    m_workingFolder = QDir::currentPath();
    m_bitmapPath = TrendChart::defaultBitmapPath();
    COMM2 = new TSerialPortDriver(this);
    COMM2->setObjectName(QStringLiteral("COMM2"));
    // The layout's instance differs from the component's defaults in port and speed only.
    COMM2->setComPort(pnCOM1);
    COMM2->setComPortSpeed(br2400);
    connect(COMM2, &TSerialPortDriver::portLost, this,
            [this](const QString &message) { statusBar()->showMessage(message); });
    connect(COMM2, &TSerialPortDriver::portRestored, this, [this] {
        statusBar()->showMessage(tr("%1: reconnected").arg(TSerialPortDriver::portName(COMM2->ComPort())),
                                 5000);
    });

    buildLayout();
    buildMenus();

    ConTimer = new QTimer(this);
    ConTimer->setObjectName(QStringLiteral("ConTimer"));
    ConTimer->setInterval(100);
    connect(ConTimer, &QTimer::timeout, this, &TFCOMM::ConTimerTimer);
    ConTimer->start();

    Trecord = new QTimer(this);
    Trecord->setObjectName(QStringLiteral("Trecord"));
    Trecord->setInterval(1000);
    connect(Trecord, &QTimer::timeout, this, &TFCOMM::TrecordTimer);
    Trecord->start();

    m_beeper = new AlarmBeeper(this);
    m_table = std::make_unique<TableStore>();
    m_recorder = std::make_unique<Recorder>(m_table.get());
}

TFCOMM::~TFCOMM()
{
    // The grid's model reads the table: take it away before the table goes.
    if (DBGrid1)
        DBGrid1->setModel(nullptr);
    delete m_model;
    m_model = nullptr;
}

void TFCOMM::buildLayout()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, kWindowColor);
    client->setPalette(pal);
    client->setFont(sansFont(11, true));
    setCentralWidget(client);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    // The model selectors: hidden check boxes along the top; the build checks one of them.
    for (int i = 0; i < kModelSelectorCount; ++i) {
        const auto s = static_cast<ModelSelector>(i);
        auto *box = new QCheckBox(QString::fromLatin1(modelSelectorCaption(s)), client);
        box->setObjectName(QString::fromLatin1(modelSelectorName(s)));
        box->setGeometry(100 + i * 24, 2, 22, 17);
        box->setVisible(false);
        box->setChecked(QLatin1String(modelSelectorName(s)) == QLatin1String(METERLINK_MODEL_SELECTOR));
        IFSelectors[size_t(i)] = box;
    }

    buildPortControls(client);

    Panel1 = new LcdPanel(client);
    Panel1->move(3, 31);

    PBar2 = new QProgressBar(client);
    PBar2->setObjectName(QStringLiteral("PBar2"));
    PBar2->setGeometry(3, 161, 283, 12);
    PBar2->setRange(0, 40);
    PBar2->setValue(30);
    PBar2->setTextVisible(false);

    Panel3 = new MinMaxPanel(client);
    Panel3->move(3, 177);
    connect(Panel3->Setmax, &QLineEdit::textChanged, this, &TFCOMM::SetmaxExit);
    connect(Panel3->SetMaxB, &QCheckBox::clicked, this, &TFCOMM::SetmaxExit);
    connect(Panel3->SetMin, &QLineEdit::textChanged, this, &TFCOMM::SetMinExit);
    connect(Panel3->SetMinB, &QCheckBox::clicked, this, &TFCOMM::SetMinExit);

    // The decorative picture lies behind the gauge panel.
    KD2 = new QLabel(client);
    KD2->setObjectName(QStringLiteral("KD2"));
    KD2->setGeometry(294, 39, 316, 132);
    KD2->setScaledContents(true);
    KD2->setPixmap(gaugeBackdrop(QSize(316, 132)));

    KD = new GaugeView(client);
    KD->setGeometry(290, 31, 318, 137);

    CONok = new QLabel(KD);
    CONok->setObjectName(QStringLiteral("CONok"));
    CONok->setGeometry(5, 5, 25, 24);
    CONok->setPixmap(linkPicture(true));
    CONok->setVisible(false);
    CONokN = new QLabel(KD);
    CONokN->setObjectName(QStringLiteral("CONokN"));
    CONokN->setGeometry(5, 5, 25, 24);
    CONokN->setPixmap(linkPicture(false));

    oltext = makeOverloadPanel(KD);
    oltext->setVisible(false);

    buildRecordingRow(client);

    Chtshow = new TrendChart(client);
    Chtshow->setGeometry(292, 173, 320, 233);
    connect(Chtshow, &TrendChart::saveRequested, this, &TFCOMM::BtSaveClick);
    connect(Chtshow, &TrendChart::maxrecordError, this, [this](const QString &message) {
        showFrameError(message);
        m_maxrecordErrorShown = true;
    });
    // Runs after the chart's own handler: a page size that converts again takes its complaint back,
    // also while no frames arrive to replace it.
    connect(Chtshow->Maxrecord, &QLineEdit::textChanged, this, [this](const QString &text) {
        bool converts = false;
        text.toInt(&converts);
        if (m_maxrecordErrorShown && converts) {
            m_frameError->clear();
            m_frameErrorShown = false;
            m_maxrecordErrorShown = false;
        }
    });
    connect(Chtshow->TbFd, &QToolButton::clicked, this, &TFCOMM::TbFdClick);
    connect(Chtshow->TbSx, &QToolButton::clicked, this, &TFCOMM::TbFdClick);

    // The hidden series chooser of the layout; start-up sets it to the area series.
    auto *combo = new QComboBox(client);
    combo->setObjectName(QStringLiteral("ComboBox1"));
    combo->addItems({QStringLiteral("atile"), QStringLiteral("btile")});
    combo->setVisible(false);

    m_frameError = new QLabel(this);
    m_frameError->setObjectName(QStringLiteral("frameError"));
    m_frameError->setStyleSheet(QStringLiteral("color: #a00000;"));
    statusBar()->addWidget(m_frameError, 1);
    statusBar()->setSizeGripEnabled(false);

    setMinimumSize(320, 200);
    fitClientArea();
}

void TFCOMM::buildPortControls(QWidget *client)
{
    const QStringList captions = {QStringLiteral("COM /"), QStringLiteral("COM ,"), QStringLiteral("COM <"),
                                  QStringLiteral("COM >")};
    for (int i = 0; i < 4; ++i) {
        auto *panel = new CaptionPanel(captions[i], CaptionPanel::Face::Lcd, 19, QFrame::Sunken, client);
        panel->setObjectName(QStringLiteral("BtCOM%1").arg(i + 1));
        panel->setGeometry(5, 2, 84, 26);
        panel->setVisible(i == 0);
        BtCOM[size_t(i)] = panel;
    }
    // Each panel selects the next port, so clicking the visible one cycles through COM1..COM4.
    connect(BtCOM[0], &CaptionPanel::clicked, this, &TFCOMM::COM21Click);
    connect(BtCOM[1], &CaptionPanel::clicked, this, &TFCOMM::COM31Click);
    connect(BtCOM[2], &CaptionPanel::clicked, this, &TFCOMM::COM41Click);
    connect(BtCOM[3], &CaptionPanel::clicked, this, &TFCOMM::COM11Click);

    BTCon =
        new CaptionPanel(QStringLiteral("Connect"), CaptionPanel::Face::Arial, 19, QFrame::Raised, client);
    BTCon->setObjectName(QStringLiteral("BTCon"));
    BTCon->setGeometry(432, 2, 105, 26);
    connect(BTCon, &CaptionPanel::clicked, this, &TFCOMM::BTCon1Click);

    BtDiscon =
        new CaptionPanel(QStringLiteral("Disconnect"), CaptionPanel::Face::Arial, 16, QFrame::Raised, client);
    BtDiscon->setObjectName(QStringLiteral("BtDiscon"));
    BtDiscon->setGeometry(432, 2, 105, 26);
    BtDiscon->setVisible(false);
    connect(BtDiscon, &CaptionPanel::clicked, this, &TFCOMM::BtDiscon1Click);

    BtExit = new CaptionPanel(QStringLiteral("Exit"), CaptionPanel::Face::Arial, 19, QFrame::Raised, client);
    BtExit->setObjectName(QStringLiteral("BtExit"));
    BtExit->setGeometry(544, 2, 65, 26);
    connect(BtExit, &CaptionPanel::clicked, this, &TFCOMM::BtExit1Click);
}

void TFCOMM::buildRecordingRow(QWidget *client)
{
    RepeatSet = new QCheckBox(QStringLiteral("Repeat"), client);
    RepeatSet->setObjectName(QStringLiteral("RepeatSet"));
    RepeatSet->setToolTip(QStringLiteral("Repeage Record"));
    RepeatSet->setChecked(true);
    RepeatSet->setGeometry(3, 235, 54, 17);
    RepeatSet->setFont(sansFont(10, true));

    RecordSI = new QCheckBox(QStringLiteral("Sampling Interval           'S"), client);
    RecordSI->setObjectName(QStringLiteral("RecordSI"));
    RecordSI->setGeometry(57, 235, 142, 17);
    RecordSI->setFont(sansFont(10, true));

    RecordSITime = new QLineEdit(QStringLiteral("10"), client);
    RecordSITime->setObjectName(QStringLiteral("RecordSITime"));
    RecordSITime->setGeometry(159, 234, 26, 19);
    RecordSITime->setValidator(new IntervalTextValidator(RecordSITime));
    connect(RecordSITime, &QLineEdit::textChanged, this, &TFCOMM::RecordSITimeChange);

    RecordNew = toolButton(client, QStringLiteral("RecordNew"), QStringLiteral("Close Data"), 'n', 200);
    OpenDataFiles =
        toolButton(client, QStringLiteral("OpenDataFiles"), QStringLiteral("Open old data files"), 'o', 222);
    saveas = toolButton(client, QStringLiteral("saveas"), QStringLiteral("Save data files"), 's', 244);
    BtPrint = toolButton(client, QStringLiteral("BtPrint"), QStringLiteral("Print"), 'p', 266);
    connect(RecordNew, &QToolButton::clicked, this, &TFCOMM::RecordNewClick);
    connect(OpenDataFiles, &QToolButton::clicked, this, &TFCOMM::SpeedButton2Click);
    connect(saveas, &QToolButton::clicked, this, &TFCOMM::saveasClick);
    connect(BtPrint, &QToolButton::clicked, this, &TFCOMM::BtPrintClick);

    DBGrid1 = new ReadingGrid(client);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(3, 255, 284, 150);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    // A shown row header and content-sized rows would cost per row on every insert.
    DBGrid1->verticalHeader()->setVisible(false);
    DBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid1->verticalHeader()->setDefaultSectionSize(17);
    DBGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid1->horizontalHeader()->setHighlightSections(false);
    DBGrid1->setFont(sansFont(10, false));
    DBGrid1->horizontalHeader()->setFont(sansFont(10, true));
    DBGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette gridPal = DBGrid1->palette();
    gridPal.setColor(QPalette::Base, kGridColor);
    DBGrid1->setPalette(gridPal);

    recordingState = new QLabel(DBGrid1->viewport());
    recordingState->setObjectName(QStringLiteral("recordingState"));
    recordingState->setGeometry(4, 40, 270, 48);
    recordingState->setWordWrap(true);
    recordingState->setAlignment(Qt::AlignCenter);
    recordingState->setStyleSheet(
        QStringLiteral("background: #fff3c0; color: #6a3000; border: 1px solid #c08000; padding: 2px;"));
    recordingState->setVisible(false);
}

void TFCOMM::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setFont(sansFont(12, false));

    ComSetup1 = bar->addMenu(QStringLiteral("ComSetup"));
    ComSetup1->setObjectName(QStringLiteral("ComSetup1"));
    auto addPortItem = [this](const QString &name, const QString &caption, void (TFCOMM::*handler)()) {
        QAction *a = ComSetup1->addAction(caption);
        a->setObjectName(name);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    COM11 = addPortItem(QStringLiteral("COM11"), QStringLiteral("COM1"), &TFCOMM::COM11Click);
    COM21 = addPortItem(QStringLiteral("COM21"), QStringLiteral("COM2"), &TFCOMM::COM21Click);
    COM31 = addPortItem(QStringLiteral("COM31"), QStringLiteral("COM3"), &TFCOMM::COM31Click);
    COM41 = addPortItem(QStringLiteral("COM41"), QStringLiteral("COM4"), &TFCOMM::COM41Click);
    COM11->setChecked(true);

    Connect1 = bar->addMenu(QStringLiteral("Connect"));
    Connect1->setObjectName(QStringLiteral("Connect1"));
    START1 = Connect1->addAction(QStringLiteral("START"));
    START1->setObjectName(QStringLiteral("START1"));
    START1->setCheckable(true);
    connect(START1, &QAction::triggered, this, &TFCOMM::BTCon1Click);
    STOP1 = Connect1->addAction(QStringLiteral("STOP"));
    STOP1->setObjectName(QStringLiteral("STOP1"));
    STOP1->setCheckable(true);
    STOP1->setEnabled(false);
    connect(STOP1, &QAction::triggered, this, &TFCOMM::BtDiscon1Click);

    bar->addAction(QString());

    Graphic = bar->addMenu(QStringLiteral("Graphic"));
    Graphic->setObjectName(QStringLiteral("Graphic"));
    connect(Graphic->addAction(QStringLiteral("First")), &QAction::triggered, Chtshow,
            &TrendChart::BtFirstClick);
    connect(Graphic->addAction(QStringLiteral("Previous")), &QAction::triggered, Chtshow,
            &TrendChart::BTPreviousClick);
    connect(Graphic->addAction(QStringLiteral("Next")), &QAction::triggered, Chtshow,
            &TrendChart::BtNextClick);
    connect(Graphic->addAction(QStringLiteral("Last")), &QAction::triggered, Chtshow,
            &TrendChart::BTlastClick);
    Graphic->addSeparator();
    connect(Graphic->addAction(QStringLiteral("New")), &QAction::triggered, Chtshow, &TrendChart::BtNewClick);
    connect(Graphic->addAction(QStringLiteral("Save")), &QAction::triggered, this, &TFCOMM::BtSaveClick);
    Graphic->addSeparator();
    GraphicFill = Graphic->addAction(QStringLiteral("Fill"));
    GraphicFill->setObjectName(QStringLiteral("Fill"));
    GraphicFill->setCheckable(true);
    GraphicFill->setChecked(true);
    // The item's check mark follows the box; choosing it inverts the box.
    connect(GraphicFill, &QAction::triggered, this, [this] {
        GraphicFill->setChecked(Chtshow->BtFill->isChecked());
        Chtshow->FillClick();
    });
    connect(Chtshow, &TrendChart::fillChanged, GraphicFill, &QAction::setChecked);

    RecordMenu = bar->addMenu(QStringLiteral("Record"));
    RecordMenu->setObjectName(QStringLiteral("Record"));
    New1 = RecordMenu->addAction(QStringLiteral("New"));
    New1->setObjectName(QStringLiteral("New1"));
    connect(New1, &QAction::triggered, this, &TFCOMM::RecordNewClick);
    Save1 = RecordMenu->addAction(QStringLiteral("Save"));
    Save1->setObjectName(QStringLiteral("Save1"));
    connect(Save1, &QAction::triggered, this, &TFCOMM::saveasClick);
    RecordMenu->addSeparator();
    auto addLimit = [this](const QString &name, const QString &caption, void (TFCOMM::*handler)()) {
        QAction *a = RecordMenu->addAction(caption);
        a->setObjectName(name);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    N10001 = addLimit(QStringLiteral("N10001"), QStringLiteral("1000"), &TFCOMM::N10001Click);
    N50001 = addLimit(QStringLiteral("N50001"), QStringLiteral("5000"), &TFCOMM::N50001Click);
    N100001 = addLimit(QStringLiteral("N100001"), QStringLiteral("10000"), &TFCOMM::N100001Click);
    N500001 = addLimit(QStringLiteral("N500001"), QStringLiteral("50000"), &TFCOMM::N500001Click);
    N1000001 = addLimit(QStringLiteral("N1000001"), QStringLiteral("100000"), &TFCOMM::N1000001Click);
    limitess = addLimit(QStringLiteral("limitess"), QStringLiteral("limitless"), &TFCOMM::limitessClick);
    N100001->setChecked(true);

    bar->addAction(QString());

    EXIT1 = bar->addAction(QStringLiteral("Exit"));
    EXIT1->setObjectName(QStringLiteral("EXIT1"));
    connect(EXIT1, &QAction::triggered, this, &TFCOMM::BtExit1Click);
}

void TFCOMM::FormCreate()
{
    // Range constants and limits for the 4000-count class until the profile says otherwise.
    m_range = rangeConstantsFor("4");
    m_upperLimit = m_range.UpperLimit;
    m_lowerLimit = m_range.LowerLimit;
    m_minMax = MinMaxTracker(m_range);

    // The reading table. A failure is shown once; the meter is still displayed and charted without it.
    if (!m_table->openWorkingTable(m_workingFolder))
        showError(m_table->lastError());
    m_model = new ReadingTableModel(m_table.get(), this);
    DBGrid1->setModel(m_model);
    // Six columns across the grid's width, the scroll bar's included.
    const int widths[] = {34, 72, 38, 46, 30, 40};
    for (int column = 0; column < 6; ++column)
        DBGrid1->setColumnWidth(column, widths[column]);
    connect(m_model, &ReadingTableModel::newestRowShown, this,
            [this](int row) { DBGrid1->setCurrentIndex(m_model->index(row, 0)); });

    *m_recorder = Recorder(m_table.get());

    Chtshow->BtNewClick();
    findChild<QComboBox *>(QStringLiteral("ComboBox1"))->setCurrentIndex(0);
    Chtshow->ShowSeries(0);
    Chtshow->ShowSeries(Chtshow->BtFill->isChecked() ? 0 : 1);

    ModelSelectors selectors;
    for (int i = 0; i < kModelSelectorCount; ++i)
        selectors.set(size_t(i), IFSelectors[size_t(i)]->isChecked());
    m_profile = profileFor(selectors);
    setWindowTitle(QString::fromLatin1(m_profile.title.c_str()));
    if (m_profile.baud19200)
        COMM2->setComPortSpeed(br19200);
    switch (m_profile.family) {
    case DecoderFamily::OR200:
        COMM2->setOnReceiveData([this](TSerialPortDriver *sender, const char *data, qint32 size) {
            HOR200RData(sender, data, size);
        });
        break;
    case DecoderFamily::VS500:
        COMM2->setOnReceiveData([this](TSerialPortDriver *sender, const char *data, qint32 size) {
            HVS500RData(sender, data, size);
        });
        break;
    case DecoderFamily::None:
        COMM2->setOnReceiveData(nullptr);
        break;
    }

    if (m_profile.rangeClass == "6" || m_profile.rangeClass == "34") {
        m_range = rangeConstantsFor(m_profile.rangeClass);
        m_upperLimit = m_range.UpperLimit;
        m_lowerLimit = m_range.LowerLimit;
        m_minMax = MinMaxTracker(m_range);
        // The boxes' new texts must not reload the limits: those stay just outside the range.
        const QSignalBlocker blockMax(Panel3->Setmax);
        const QSignalBlocker blockMin(Panel3->SetMin);
        Panel3->applyRange(m_range.FullScale);
    }
    m_decoder = std::make_unique<MeterDecoder>(m_profile.family, DecodeContext{selectors, m_range});

    Chtshow->setAxisRange(-m_range.FullScale, m_range.FullScale);

    KDsetup();
    KD->KDrun(m_range.GaugeZero);

    updateRecordingState();
}

// ---- Port selection, connection and link indicator ----

void TFCOMM::selectPort(int index)
{
    const std::array<QAction *, 4> items = {COM11, COM21, COM31, COM41};
    for (int i = 0; i < 4; ++i) {
        items[size_t(i)]->setChecked(i == index);
        BtCOM[size_t(i)]->setVisible(i == index);
    }
    COMM2->setComPort(static_cast<TComPortNumber>(index));
}

void TFCOMM::COM11Click()
{
    selectPort(0);
}

void TFCOMM::COM21Click()
{
    selectPort(1);
}

void TFCOMM::COM31Click()
{
    selectPort(2);
}

void TFCOMM::COM41Click()
{
    selectPort(3);
}

void TFCOMM::BTCon1Click()
{
    // A port that cannot be opened is said so, and the window stays disconnected, rather than
    // showing a connection that delivers nothing.
    if (!COMM2->Connect()) {
        START1->setChecked(false);
        showError(COMM2->lastErrorText());
        return;
    }
    ComSetup1->menuAction()->setEnabled(false);
    START1->setChecked(true);
    START1->setEnabled(false);
    STOP1->setEnabled(true);
    STOP1->setChecked(false);
    BTCon->setVisible(false);
    BtDiscon->setVisible(true);
    for (CaptionPanel *panel : BtCOM)
        panel->setEnabled(false);
}

void TFCOMM::BtDiscon1Click()
{
    ComSetup1->menuAction()->setEnabled(true);
    START1->setChecked(false);
    START1->setEnabled(true);
    STOP1->setEnabled(false);
    STOP1->setChecked(true);
    COMM2->Disconnect();
    BTCon->setVisible(true);
    BtDiscon->setVisible(false);
    for (CaptionPanel *panel : BtCOM)
        panel->setEnabled(true);
    statusBar()->clearMessage();
}

void TFCOMM::BtExit1Click()
{
    m_table->close();
    close();
    QApplication::quit();
}

void TFCOMM::closeEvent(QCloseEvent *event)
{
    // Unsaved readings are dropped with the table, as they are at every exit.
    COMM2->Disconnect();
    m_table->close();
    event->accept();
}

void TFCOMM::ConTimerTimer()
{
    if (m_linkIdleTicks == 2) {
        CONok->setVisible(false);
        CONokN->setVisible(true);
        m_linkIdleTicks = 0;
    } else {
        ++m_linkIdleTicks;
    }
}

// ---- Receiving and presenting frames ----

void TFCOMM::HOR200RData(TSerialPortDriver *, const char *DataPtr, qint32 DataSize)
{
    receive(DataPtr, DataSize);
}

void TFCOMM::HVS500RData(TSerialPortDriver *, const char *DataPtr, qint32 DataSize)
{
    receive(DataPtr, DataSize);
}

void TFCOMM::receive(const char *data, qint32 size)
{
    if (!m_decoder || size <= 0)
        return;
    m_decoder->receive(reinterpret_cast<const uint8_t *>(data), size_t(size),
                       [this](const FrameOutcome &outcome) { presentFrame(outcome); });
}

void TFCOMM::presentFrame(const FrameOutcome &outcome)
{
    // Every complete frame shows that the meter is talking, even one whose digits do not convert.
    CONok->setVisible(true);
    CONokN->setVisible(false);
    m_linkIdleTicks = 0;

    if (!outcome.ok) {
        // Frame data never opens a modal box: at several frames a second that would be a flood.
        showFrameError(QString::fromLatin1(outcome.error.c_str()));
        return;
    }
    if (m_frameErrorShown) {
        m_frameError->clear();
        m_frameErrorShown = false;
    }

    Panel1->apply(outcome.panel);
    m_reading = outcome.reading;
    if (outcome.hzModeChanged) {
        KDsetup();
        if (outcome.hzMode)
            Chtshow->setAxisRange(-5000, 5000);
        else
            Chtshow->setAxisRange(-m_range.FullScale, m_range.FullScale);
    }

    // Limit alarm.
    if (limitAlarm(m_reading.Nval, m_upperLimit, m_lowerLimit, Panel3->SetMaxB->isChecked(),
                   Panel3->SetMinB->isChecked())) {
        m_beeper->beep();
        oltext->setVisible(true);
    } else {
        oltext->setVisible(false);
    }

    // MIN/MAX; a new unit or range starts a new trend.
    if (m_minMax.update(m_reading, decimalPos(outcome.panel), outcome.inputs)) {
        Chtshow->ShowSeries(Chtshow->BtFill->isChecked() ? 0 : 1);
        Chtshow->BtNewClick();
    }
    Panel3->showExtremes(toQString(m_minMax.MinSeenText), toQString(m_minMax.MaxSeenText),
                         toQString(m_reading.unit));

    KD->KDrun(outcome.inputs.gaugeInput);
    INDataToTable();
    Chtshow->addPoint(outcome.inputs.chartValue);
    // The bar's range stays 0..40; a larger position shows a full bar. A step the bar can show
    // makes it paint at once, and with it everything the frame changed so far: set last, so that
    // one pass paints the whole frame.
    PBar2->setValue(qBound(PBar2->minimum(), outcome.inputs.barPosition, PBar2->maximum()));
}

void TFCOMM::showFrameError(const QString &message)
{
    m_frameError->setText(message);
    m_frameErrorShown = true;
    m_maxrecordErrorShown = false;
}

QString TFCOMM::statusText() const
{
    return m_frameError->text();
}

// ---- Limits and gauge ----

void TFCOMM::SetmaxExit()
{
    const LimitText limit = parseLimitText(Panel3->Setmax->text().toStdString());
    if (!limit.ok) {
        showError(QString::fromStdString(limit.error));
        return;
    }
    m_upperLimit = limit.value;
    KDsetup();
}

void TFCOMM::SetMinExit()
{
    const LimitText limit = parseLimitText(Panel3->SetMin->text().toStdString());
    if (!limit.ok) {
        showError(QString::fromStdString(limit.error));
        return;
    }
    m_lowerLimit = limit.value;
    KDsetup();
}

void TFCOMM::refreshGaugeInputs()
{
    GaugeInputs in;
    in.HzMode = HzMode();
    in.RangeClass = m_range.RangeClass;
    in.GaugeSpan = m_range.GaugeSpan;
    in.GaugeZero = m_range.GaugeZero;
    in.FullScale = m_range.FullScale;
    in.UpperLimit = m_upperLimit;
    in.LowerLimit = m_lowerLimit;
    in.maxEnabled = Panel3->SetMaxB->isChecked();
    in.minEnabled = Panel3->SetMinB->isChecked();
    KD->setInputs(in);
}

void TFCOMM::KDsetup()
{
    refreshGaugeInputs();
    KD->KDsetup(1);
}

// ---- Recording ----

void TFCOMM::INDataToTable()
{
    RecorderSettings &settings = m_recorder->settings();
    settings.RecordSI = RecordSI->isChecked();
    settings.RepeatSet = RepeatSet->isChecked();
    settings.RecordSITime = RecordSITime->text();
    // Without a table nothing is stored and nothing is said per frame: the grid says it once.
    if (m_recorder->INDataToTable(m_reading) == RecordOutcome::IntervalError)
        showFrameError(m_recorder->lastError());
}

void TFCOMM::TrecordTimer()
{
    m_recorder->settings().RecordSI = RecordSI->isChecked();
    m_recorder->TrecordTimer();
}

void TFCOMM::RecordSITimeChange()
{
    m_recorder->RecordSITimeChange(RecordSITime->text());
}

void TFCOMM::RecordNewClick()
{
    showInformation(QStringLiteral(" Record deleted "));
    m_recorder->RecordNewClick();
    if (!m_table->lastError().isEmpty() && m_table->isOpen() && m_table->rowCount() > 0)
        showError(m_table->lastError());
}

void TFCOMM::setRecordLimit(QAction *item, int limit)
{
    for (QAction *a : {N10001, N50001, N100001, N500001, N1000001, limitess})
        a->setChecked(a == item);
    m_recorder->setRecordLimit(limit);
}

void TFCOMM::N10001Click()
{
    setRecordLimit(N10001, 1000);
}

void TFCOMM::N50001Click()
{
    setRecordLimit(N50001, 5000);
}

void TFCOMM::N100001Click()
{
    setRecordLimit(N100001, 10000);
}

void TFCOMM::N500001Click()
{
    setRecordLimit(N500001, 50000);
}

void TFCOMM::N1000001Click()
{
    setRecordLimit(N1000001, 100000);
}

void TFCOMM::limitessClick()
{
    setRecordLimit(limitess, 10000000);
}

void TFCOMM::updateRecordingState()
{
    const bool open = m_table->isOpen();
    recordingState->setText(open ? QString()
                                 : tr("No reading table is open: readings are shown and charted but not "
                                      "recorded."));
    recordingState->setVisible(!open);
}

// ---- Chart and window layout ----

void TFCOMM::BtSaveClick()
{
    // Written first, so that the message never reports a save that did not happen.
    QString error;
    if (Chtshow->saveBitmap(m_bitmapPath, &error))
        showInformation(QStringLiteral("graphic has saved on ") + QDir::toNativeSeparators(m_bitmapPath));
    else
        showError(error);
}

QSize TFCOMM::outerSize() const
{
    const QWidget *client = centralWidget();
    return QSize(client->width() + kFrameWidth, client->height() + kFrameHeight);
}

void TFCOMM::TbFdClick()
{
    Chtshow->TbFdClick(outerSize());
}

void TFCOMM::FormResize()
{
    if (!Chtshow)
        return;
    const QSize outer = outerSize();
    const WindowLayout layout = computeWindowLayout(outer.width(), outer.height());
    Chtshow->applyWindowLayout(layout);
    BtExit->move(layout.btExitLeft, BtExit->y());
    BTCon->move(layout.btConLeft, BTCon->y());
    BtDiscon->move(layout.btConLeft, BtDiscon->y());
    DBGrid1->resize(DBGrid1->width(), qMax(0, layout.dbGridHeight));
    KD->resize(qMax(0, layout.kdWidth), qMax(0, layout.kdHeight));
    // The gauge redraws itself at its new size with the needle where it stood; a scale setup here
    // would wipe the needle, and one put back at zero would contradict the LCD until the next frame.
    KD2->resize(qMax(0, layout.kd2Width), qMax(0, layout.kd2Height));
}

void TFCOMM::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TFCOMM::fitClientArea()
{
    // The layout's client area is the central widget; the menu and status bars come on top of it.
    ensurePolished();
    const int menuHeight = menuBar()->sizeHint().height();
    const int statusHeight = statusBar()->sizeHint().height();
    resize(kClientWidth, kClientHeight + menuHeight + statusHeight);
}

void TFCOMM::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        // Bars' real heights are known only now: make the client area the layout's size.
        m_shownOnce = true;
        const int missing = kClientHeight - centralWidget()->height();
        if (missing != 0 && width() == kClientWidth)
            resize(kClientWidth, height() + missing);
        // The window opens in the middle of the screen.
        if (const QScreen *s = screen())
            move(s->availableGeometry().center() -
                 QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    FormResize();
}

// ---- Data files and report ----

void TFCOMM::SpeedButton2Click()
{
    const QString fileName = QFileDialog::getOpenFileName(
        this, QString(), m_workingFolder, QStringLiteral("access data files (*.DB);;All files (*.*)"));
    if (!fileName.isEmpty())
        openDataFile(fileName);
}

bool TFCOMM::openDataFile(const QString &fileName)
{
    // The chosen file is checked before the current table is let go: a file that is not one of ours
    // leaves the current table and its unsaved readings as they were.
    if (!m_table->openFile(fileName)) {
        showError(m_table->lastError());
        return false;
    }
    updateRecordingState();
    return true;
}

void TFCOMM::saveasClick()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("Excel File(*.xls)"), QStringLiteral("DB File(*.db)"),
                           QStringLiteral("Txt File(*.txt)"), QStringLiteral("All File(*.*)")});
    dialog.setDefaultSuffix(QStringLiteral("xls"));
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.selectFile(QString());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    saveDataFile(dialog.selectedFiles().constFirst());
}

void TFCOMM::saveDataFile(const QString &fileName)
{
    if (isTableCopyName(fileName)) {
        QString error;
        if (!CopyTableToFile(*m_table, fileName, &error))
            showError(error);
        return;
    }
    // The open table's own file is in use: text written over it would leave no table to open at the
    // next start (the working table) or to reopen later, so that save fails like any save over a file
    // held by another program.
    const QString tableFile =
        m_table->isOpen() ? QFileInfo(m_table->fileName()).canonicalFilePath() : QString();
    if (!tableFile.isEmpty() && QFileInfo(fileName).canonicalFilePath() == tableFile) {
        showInformation(exportFailedMessage(fileName));
        return;
    }
    if (ExportTableAsText(*m_table, fileName))
        showInformation(exportSavedMessage(fileName));
    else
        showInformation(exportFailedMessage(fileName));
    // The export walks the table to its end; the grid then shows the last row as current.
    m_model->flushPendingRows();
    if (m_model->rowCount() > 0)
        DBGrid1->setCurrentIndex(m_model->index(m_model->rowCount() - 1, 0));
}

void TFCOMM::BtPrintClick()
{
    showReportPreview(*m_table, this);
}

// ---- Messages ----

void TFCOMM::showError(const QString &message)
{
    if (m_messageHook)
        m_messageHook(QMessageBox::Critical, message);
    else
        QMessageBox::critical(this, QApplication::applicationName(), message);
}

void TFCOMM::showInformation(const QString &message)
{
    if (m_messageHook)
        m_messageHook(QMessageBox::Information, message);
    else
        QMessageBox::information(this, QApplication::applicationName(), message);
}
