#include "app/FCOMMLayout.h"

#include "app/IntervalTextValidator.h"
#include "app/ReadingGrid.h"
#include "app/WindowLayoutRule.h"
#include "chart/TrendChart.h"
#include "display/CaptionPanel.h"
#include "display/GaugeView.h"
#include "display/LcdPanel.h"
#include "display/LimitKeyFilter.h"
#include "display/MeterBar.h"
#include "display/MinMaxPanel.h"
#include "display/Pictures.h"
#include "serial/SerialDriver.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolButton>

namespace {

// Colours of the layout, given there as 24-bit values in blue-green-red order.
const QColor kWindowColor = colourFromBgr(16309696); // RGB 192, 221, 248
const QColor kGridColor = colourFromBgr(16694932);   // RGB 148, 190, 254

QFont sansFont(int pixelSize, bool bold, bool italic = false)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
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

QToolButton *toolButton(QWidget *parent, const QString &name, const QString &hint, char icon, int left)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setIcon(paintedIcon(icon));
    b->setAutoRaise(true);
    // The style's own focus mark hides behind so small an icon.
    b->setStyleSheet(QStringLiteral("QToolButton:focus { border: 1px solid palette(highlight); }"));
    b->setGeometry(left, 233, 22, 21);
    return b;
}

QAction *checkableItem(QMenu *menu, const QString &name, const QString &caption)
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(name);
    a->setCheckable(true);
    return a;
}

} // namespace

void FCOMMLayout::setupLayout(QMainWindow *window)
{
    auto *client = new QWidget(window);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, kWindowColor);
    client->setPalette(pal);
    client->setFont(sansFont(11, true));
    window->setCentralWidget(client);
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
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

    COMM2 = new TSerialPortDriver(window);
    COMM2->setObjectName(QStringLiteral("COMM2"));
    // The layout's instance differs from the component's defaults in port and speed only.
    COMM2->setComPort(pnCOM1);
    COMM2->setComPortSpeed(br2400);

    setupPortControls(client);

    Panel1 = new LcdPanel(client);
    Panel1->move(3, 31);

    PBar2 = new MeterBar(client);
    PBar2->setObjectName(QStringLiteral("PBar2"));
    PBar2->setGeometry(3, 161, 283, 12);
    PBar2->setRange(0, 40);
    PBar2->setValue(30);
    PBar2->setTextVisible(false);
    // The bar fills its ground in the client's colour (its palette's, inherited): opaque, so the
    // client is not painted again under it at each step.
    PBar2->setAutoFillBackground(true);

    Panel3 = new MinMaxPanel(client);
    Panel3->move(3, 177);

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

    setupRecordingRow(client);

    Chtshow = new TrendChart(client);
    Chtshow->setGeometry(292, 173, 320, 233);
    // The count boxes' validators pass digits whatever modifier was held; the limit boxes' key rule
    // keeps those out.
    for (QLineEdit *count : {RecordSITime, Chtshow->Maxrecord})
        count->installEventFilter(new LimitKeyFilter(count));

    // The hidden series chooser of the layout; start-up sets it to the area series.
    ComboBox1 = new QComboBox(client);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("atile"), QStringLiteral("btile")});
    ComboBox1->setVisible(false);

    statusLabel = new QLabel(window);
    statusLabel->setObjectName(QStringLiteral("frameError"));
    statusLabel->setStyleSheet(QStringLiteral("color: #a00000;"));
    window->statusBar()->addWidget(statusLabel, 1);
    window->statusBar()->setSizeGripEnabled(false);

    // Narrower, the chart could not hold its row of controls.
    window->setMinimumSize(clientWidthForChartWidth(TrendChart::kControlsRowWidth), 200);
    // The layout's client area is the central widget; the menu and status bars come on top of it.
    window->ensurePolished();
    window->resize(kClientWidth, kClientHeight + window->menuBar()->sizeHint().height() +
                                     window->statusBar()->sizeHint().height());

    setupMenus(window);
}

void FCOMMLayout::setupPortControls(QWidget *client)
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

    BTCon =
        new CaptionPanel(QStringLiteral("Connect"), CaptionPanel::Face::Arial, 19, QFrame::Raised, client);
    BTCon->setObjectName(QStringLiteral("BTCon"));
    BTCon->setGeometry(432, 2, 105, 26);

    BtDiscon =
        new CaptionPanel(QStringLiteral("Disconnect"), CaptionPanel::Face::Arial, 16, QFrame::Raised, client);
    BtDiscon->setObjectName(QStringLiteral("BtDiscon"));
    BtDiscon->setGeometry(432, 2, 105, 26);
    BtDiscon->setVisible(false);

    BtExit = new CaptionPanel(QStringLiteral("Exit"), CaptionPanel::Face::Arial, 19, QFrame::Raised, client);
    BtExit->setObjectName(QStringLiteral("BtExit"));
    BtExit->setGeometry(544, 2, 65, 26);
}

void FCOMMLayout::setupRecordingRow(QWidget *client)
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

    RecordNew = toolButton(client, QStringLiteral("RecordNew"), QStringLiteral("Close Data"), 'n', 200);
    OpenDataFiles =
        toolButton(client, QStringLiteral("OpenDataFiles"), QStringLiteral("Open old data files"), 'o', 222);
    saveas = toolButton(client, QStringLiteral("saveas"), QStringLiteral("Save data files"), 's', 244);
    BtPrint = toolButton(client, QStringLiteral("BtPrint"), QStringLiteral("Print"), 'p', 266);
    // Open and print have no menu item to show a shortcut in; the buttons take the usual keys.
    OpenDataFiles->setShortcut(QKeySequence::Open);
    BtPrint->setShortcut(QKeySequence::Print);

    DBGrid1 = new ReadingGrid(client);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(3, 255, 284, 150);
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

void FCOMMLayout::setupMenus(QMainWindow *window)
{
    // The ampersands only underline a letter for Alt+letter; the captions read as the layout has them.
    QMenuBar *bar = window->menuBar();
    bar->setFont(sansFont(12, false));
    // The layout's empty entries; disabled, so that the keys pass over them.
    const auto addEmptyEntry = [bar] {
        bar->addAction(QString())->setEnabled(false);
    };

    ComSetup1 = bar->addMenu(QStringLiteral("&ComSetup"));
    ComSetup1->setObjectName(QStringLiteral("ComSetup1"));
    COM11 = checkableItem(ComSetup1, QStringLiteral("COM11"), QStringLiteral("COM1"));
    COM21 = checkableItem(ComSetup1, QStringLiteral("COM21"), QStringLiteral("COM2"));
    COM31 = checkableItem(ComSetup1, QStringLiteral("COM31"), QStringLiteral("COM3"));
    COM41 = checkableItem(ComSetup1, QStringLiteral("COM41"), QStringLiteral("COM4"));
    COM11->setChecked(true);

    Connect1 = bar->addMenu(QStringLiteral("C&onnect"));
    Connect1->setObjectName(QStringLiteral("Connect1"));
    START1 = checkableItem(Connect1, QStringLiteral("START1"), QStringLiteral("START"));
    STOP1 = checkableItem(Connect1, QStringLiteral("STOP1"), QStringLiteral("STOP"));
    STOP1->setEnabled(false);

    addEmptyEntry();

    Graphic = bar->addMenu(QStringLiteral("&Graphic"));
    Graphic->setObjectName(QStringLiteral("Graphic"));
    GraphicFirst = Graphic->addAction(QStringLiteral("First"));
    GraphicPrevious = Graphic->addAction(QStringLiteral("Previous"));
    GraphicNext = Graphic->addAction(QStringLiteral("Next"));
    GraphicLast = Graphic->addAction(QStringLiteral("Last"));
    Graphic->addSeparator();
    GraphicNew = Graphic->addAction(QStringLiteral("New"));
    GraphicSave = Graphic->addAction(QStringLiteral("Save"));
    Graphic->addSeparator();
    GraphicFill = checkableItem(Graphic, QStringLiteral("Fill"), QStringLiteral("Fill"));
    GraphicFill->setChecked(true);

    RecordMenu = bar->addMenu(QStringLiteral("&Record"));
    RecordMenu->setObjectName(QStringLiteral("Record"));
    New1 = RecordMenu->addAction(QStringLiteral("New"));
    New1->setObjectName(QStringLiteral("New1"));
    Save1 = RecordMenu->addAction(QStringLiteral("Save"));
    Save1->setObjectName(QStringLiteral("Save1"));
    New1->setShortcut(QKeySequence::New);
    Save1->setShortcut(QKeySequence::Save);
    RecordMenu->addSeparator();
    std::array<QAction **, kRecordLimitItems.size()> limitFields = {&N10001,  &N50001,   &N100001,
                                                                    &N500001, &N1000001, &limitess};
    for (size_t i = 0; i < kRecordLimitItems.size(); ++i)
        *limitFields[i] = checkableItem(RecordMenu, QString::fromLatin1(kRecordLimitItems[i].name),
                                        QString::fromLatin1(kRecordLimitItems[i].caption));
    N100001->setChecked(true);

    addEmptyEntry();

    EXIT1 = bar->addAction(QStringLiteral("E&xit"));
    EXIT1->setObjectName(QStringLiteral("EXIT1"));
}

void FCOMMLayout::checkModelSelectors(const ModelSelectors &selectors)
{
    for (size_t i = 0; i < IFSelectors.size(); ++i)
        IFSelectors[i]->setChecked(selectors.test(i));
}

std::array<QAction *, kRecordLimitItems.size()> FCOMMLayout::recordLimitItems() const
{
    return {N10001, N50001, N100001, N500001, N1000001, limitess};
}
