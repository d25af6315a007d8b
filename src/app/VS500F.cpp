#include "app/VS500F.h"

#include "app/DataFileActions.h"
#include "app/MeterPresentation.h"
#include "app/PaintPacer.h"
#include "app/PortConnection.h"
#include "app/RecordingControls.h"
#include "app/StatusLine.h"
#include "app/UnsavedReadings.h"
#include "app/WindowLayoutRule.h"
#include "chart/TrendChart.h"
#include "decode/IntegerText.h"
#include "display/CaptionPanel.h"
#include "display/MinMaxPanel.h"
#include "store/DataFiles.h"
#include "store/TableStore.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QMenuBar>
#include <QScreen>
#include <QSessionManager>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

TFCOMM::TFCOMM(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FCOMM"));
    m_workingFolder = QDir::currentPath();
    m_bitmapPath = TrendChart::defaultBitmapPath();

    setupLayout(this);
    m_pacer = new PaintPacer(this);

    m_status = new StatusLine(statusBar(), statusLabel, this);
    m_connection = new PortConnection(
        PortControls{COMM2, ComSetup1, COM11, COM21, COM31, COM41, START1, STOP1, BtCOM, BTCon, BtDiscon,
                     CONok, CONokN},
        *m_status, [this](const QString &message) { m_prompts.error(message); }, this);

    ConTimer = new QTimer(this);
    ConTimer->setObjectName(QStringLiteral("ConTimer"));
    // The pictures turn on the third tick after the last frame, just within 300 ms: a meter that
    // sends every 300 ms shows at most a blip too short to see.
    ConTimer->setInterval(99);
    ConTimer->setTimerType(Qt::PreciseTimer);
    connect(ConTimer, &QTimer::timeout, this, &TFCOMM::ConTimerTimer);
    m_connection->setLinkTimer(ConTimer);

    Trecord = new QTimer(this);
    Trecord->setObjectName(QStringLiteral("Trecord"));
    Trecord->setInterval(1000);
    connect(Trecord, &QTimer::timeout, this, &TFCOMM::TrecordTimer);
    Trecord->start();

    m_table = std::make_unique<TableStore>();
    m_recording = new RecordingControls(
        RecordingWidgets{RepeatSet, RecordSI, RecordSITime, DBGrid1, recordingState, recordLimitItems()},
        *m_table, *m_status, m_prompts, this);
    m_meter = new MeterPresentation(MeterControls{Panel1, PBar2, Panel3, KD, oltext, Chtshow}, *m_status,
                                    m_prompts, this);
    connect(m_meter, &MeterPresentation::frameReceived, this, [this](bool decoded, const Reading &reading) {
        m_connection->frameArrived();
        if (decoded)
            m_recording->record(reading);
    });
    m_files = std::make_unique<DataFileActions>(*m_table, m_prompts);
    m_unsaved = new UnsavedReadings(*m_table, *m_files, m_prompts, *m_status, this);

    wireControls();
    wireMenus();
    // A desktop logout asks like Exit does; a refusal cancels the logout.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        if (!sessionEnding(manager.allowsInteraction()))
            manager.cancel();
        manager.release();
    });
}

TFCOMM::~TFCOMM()
{
    // The parts that read the table go before it: the last unsaved readings reach the recovery
    // file, and the grid lets go of its model.
    delete m_unsaved;
    m_recording->release();
}

void TFCOMM::wireControls()
{
    // Each port panel selects the next port, so clicking the visible one cycles through COM1..COM4.
    connect(BtCOM[0], &CaptionPanel::clicked, this, &TFCOMM::COM21Click);
    connect(BtCOM[1], &CaptionPanel::clicked, this, &TFCOMM::COM31Click);
    connect(BtCOM[2], &CaptionPanel::clicked, this, &TFCOMM::COM41Click);
    connect(BtCOM[3], &CaptionPanel::clicked, this, &TFCOMM::COM11Click);
    connect(BTCon, &CaptionPanel::clicked, this, &TFCOMM::BTCon1Click);
    connect(BtDiscon, &CaptionPanel::clicked, this, &TFCOMM::BtDiscon1Click);
    connect(BtExit, &CaptionPanel::clicked, this, &TFCOMM::BtExit1Click);

    connect(Panel3->Setmax, &QLineEdit::textChanged, this, &TFCOMM::SetmaxExit);
    connect(Panel3->SetMaxB, &QCheckBox::clicked, this, &TFCOMM::SetmaxExit);
    connect(Panel3->SetMin, &QLineEdit::textChanged, this, &TFCOMM::SetMinExit);
    connect(Panel3->SetMinB, &QCheckBox::clicked, this, &TFCOMM::SetMinExit);

    connect(RecordSITime, &QLineEdit::textChanged, this, &TFCOMM::RecordSITimeChange);
    connect(RecordNew, &QToolButton::clicked, this, &TFCOMM::RecordNewClick);
    connect(OpenDataFiles, &QToolButton::clicked, this, &TFCOMM::SpeedButton2Click);
    connect(saveas, &QToolButton::clicked, this, &TFCOMM::saveasClick);
    connect(BtPrint, &QToolButton::clicked, this, &TFCOMM::BtPrintClick);

    connect(Chtshow, &TrendChart::saveRequested, this, &TFCOMM::BtSaveClick);
    // The page size's complaint stays until the box holds a number again, whatever frames arrive.
    connect(Chtshow, &TrendChart::maxrecordError, this,
            [this](const QString &message) { m_status->show(StatusLine::Owner::PageSize, message); });
    connect(Chtshow->Maxrecord, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (parseInteger(text.toStdString()))
            m_status->clear(StatusLine::Owner::PageSize);
    });
    connect(Chtshow->TbFd, &QToolButton::clicked, this, &TFCOMM::TbFdClick);
    connect(Chtshow->TbSx, &QToolButton::clicked, this, &TFCOMM::TbFdClick);
}

void TFCOMM::wireMenus()
{
    connect(COM11, &QAction::triggered, this, &TFCOMM::COM11Click);
    connect(COM21, &QAction::triggered, this, &TFCOMM::COM21Click);
    connect(COM31, &QAction::triggered, this, &TFCOMM::COM31Click);
    connect(COM41, &QAction::triggered, this, &TFCOMM::COM41Click);
    connect(START1, &QAction::triggered, this, &TFCOMM::BTCon1Click);
    connect(STOP1, &QAction::triggered, this, &TFCOMM::BtDiscon1Click);

    connect(GraphicFirst, &QAction::triggered, Chtshow, &TrendChart::BtFirstClick);
    connect(GraphicPrevious, &QAction::triggered, Chtshow, &TrendChart::BTPreviousClick);
    connect(GraphicNext, &QAction::triggered, Chtshow, &TrendChart::BtNextClick);
    connect(GraphicLast, &QAction::triggered, Chtshow, &TrendChart::BTlastClick);
    connect(GraphicNew, &QAction::triggered, Chtshow, &TrendChart::BtNewClick);
    connect(GraphicSave, &QAction::triggered, this, &TFCOMM::BtSaveClick);
    // The item's check mark follows the box; choosing it inverts the box.
    connect(GraphicFill, &QAction::triggered, this, [this] {
        GraphicFill->setChecked(Chtshow->BtFill->isChecked());
        Chtshow->FillClick();
    });
    connect(Chtshow, &TrendChart::fillChanged, GraphicFill, &QAction::setChecked);

    connect(New1, &QAction::triggered, this, &TFCOMM::RecordNewClick);
    connect(Save1, &QAction::triggered, this, &TFCOMM::saveasClick);
    connect(N10001, &QAction::triggered, this, &TFCOMM::N10001Click);
    connect(N50001, &QAction::triggered, this, &TFCOMM::N50001Click);
    connect(N100001, &QAction::triggered, this, &TFCOMM::N100001Click);
    connect(N500001, &QAction::triggered, this, &TFCOMM::N500001Click);
    connect(N1000001, &QAction::triggered, this, &TFCOMM::N1000001Click);
    connect(limitess, &QAction::triggered, this, &TFCOMM::limitessClick);

    connect(EXIT1, &QAction::triggered, this, &TFCOMM::BtExit1Click);

    // F10 opens the first menu that can open, as Alt and a menu's letter open that one.
    auto *menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, [this] {
        for (QAction *entry : menuBar()->actions()) {
            if (entry->menu() && entry->isEnabled()) {
                menuBar()->setActiveAction(entry);
                return;
            }
        }
    });
}

void TFCOMM::FormCreate()
{
    // The reading table. A failure is shown once; the meter is still displayed and charted without it.
    removeInterruptedSaves(m_workingFolder, m_started);
    if (!m_table->openWorkingTable(m_workingFolder))
        m_prompts.error(m_recording->whyNoTable(m_workingFolder));
    m_recording->start();
    m_unsaved->setFolder(m_recoveryFolder.isNull() ? m_workingFolder : m_recoveryFolder);
    m_files->setGrid(DBGrid1, m_recording->model());
    m_files->setWorkingFolder(m_workingFolder);

    Chtshow->BtNewClick();
    ComboBox1->setCurrentIndex(0);
    Chtshow->ShowSeries(0);
    Chtshow->ShowSeries(Chtshow->BtFill->isChecked() ? 0 : 1);

    ModelSelectors selectors;
    for (int i = 0; i < kModelSelectorCount; ++i)
        selectors.set(size_t(i), IFSelectors[size_t(i)]->isChecked());
    m_profile = profileFor(selectors);
    setWindowTitle(QString::fromLatin1(m_profile.title.c_str()));
    if (m_profile.baud19200)
        COMM2->setComPortSpeed(br19200);
    if (m_profile.family == DecoderFamily::None)
        COMM2->setOnReceiveData(nullptr);
    else
        COMM2->setOnReceiveData([this](TSerialPortDriver *sender, const char *data, qint32 size) {
            receiveData(sender, data, size);
        });
    m_meter->configure(selectors, m_profile);

    m_recording->showTableState();
}

// ---- Port selection, connection and link indicator (PortConnection) ----

void TFCOMM::COM11Click()
{
    m_connection->selectPort(0);
}

void TFCOMM::COM21Click()
{
    m_connection->selectPort(1);
}

void TFCOMM::COM31Click()
{
    m_connection->selectPort(2);
}

void TFCOMM::COM41Click()
{
    m_connection->selectPort(3);
}

void TFCOMM::BTCon1Click()
{
    m_connection->connectPort();
}

void TFCOMM::BtDiscon1Click()
{
    m_connection->disconnectPort();
}

void TFCOMM::ConTimerTimer()
{
    m_connection->linkTick();
}

int TFCOMM::LinkIdleTicks() const
{
    return m_connection->idleTicks();
}

void TFCOMM::BtExit1Click()
{
    if (!m_unsaved->mayClose())
        return;
    m_table->close();
    close();
    QApplication::quit();
}

void TFCOMM::closeEvent(QCloseEvent *event)
{
    if (isEnding()) {
        // The table stays open until the window goes: its pending rows then reach the recovery file.
        COMM2->Disconnect();
        event->accept();
        return;
    }
    if (!m_unsaved->mayClose()) {
        event->ignore();
        return;
    }
    COMM2->Disconnect();
    m_table->close();
    event->accept();
}

bool TFCOMM::sessionEnding(bool mayAsk)
{
    return m_unsaved->sessionEnding(mayAsk);
}

void TFCOMM::endBySignal()
{
    m_prompts.setEnding();
    m_unsaved->endWithoutAsking();
    // Every running loop ends, a message box's or a file dialog's too, and so every flow unwinds.
    QCoreApplication::exit(0);
}

bool TFCOMM::isEnding() const
{
    return m_prompts.isEnding();
}

void TFCOMM::offerRecovery()
{
    m_unsaved->offerLeftOver();
}

// ---- Receiving and presenting frames (MeterPresentation) ----

void TFCOMM::receiveData(TSerialPortDriver *, const char *DataPtr, qint32 DataSize)
{
    // The presentation decodes by the family FormCreate configured, so both families arrive here.
    // Whatever the delivered frames change is painted in one pass.
    const PaintPacer::Batch batch(m_pacer);
    m_meter->receive(DataPtr, DataSize);
}

void TFCOMM::HOR200RData(TSerialPortDriver *Sender, const char *DataPtr, qint32 DataSize)
{
    receiveData(Sender, DataPtr, DataSize);
}

void TFCOMM::HVS500RData(TSerialPortDriver *Sender, const char *DataPtr, qint32 DataSize)
{
    receiveData(Sender, DataPtr, DataSize);
}

void TFCOMM::SetmaxExit()
{
    m_meter->upperLimitEdited();
}

void TFCOMM::SetMinExit()
{
    m_meter->lowerLimitEdited();
}

RangeConstants TFCOMM::range() const
{
    return m_meter->range();
}

bool TFCOMM::HzMode() const
{
    return m_meter->hzMode();
}

float TFCOMM::UpperLimit() const
{
    return m_meter->limits().upper;
}

float TFCOMM::LowerLimit() const
{
    return m_meter->limits().lower;
}

const MinMaxTracker &TFCOMM::minMax() const
{
    return m_meter->minMax();
}

const Reading &TFCOMM::currentReading() const
{
    return m_meter->reading();
}

DecoderFamily TFCOMM::boundFamily() const
{
    return m_meter->family();
}

QString TFCOMM::statusText() const
{
    return m_status->text();
}

// ---- Recording ----

void TFCOMM::INDataToTable()
{
    m_recording->record(m_meter->reading());
}

void TFCOMM::TrecordTimer()
{
    m_recording->tick();
}

void TFCOMM::RecordSITimeChange()
{
    m_recording->intervalChanged();
}

void TFCOMM::RecordNewClick()
{
    m_recording->newRecord();
}

void TFCOMM::N10001Click()
{
    m_recording->chooseLimit(N10001);
}

void TFCOMM::N50001Click()
{
    m_recording->chooseLimit(N50001);
}

void TFCOMM::N100001Click()
{
    m_recording->chooseLimit(N100001);
}

void TFCOMM::N500001Click()
{
    m_recording->chooseLimit(N500001);
}

void TFCOMM::N1000001Click()
{
    m_recording->chooseLimit(N1000001);
}

void TFCOMM::limitessClick()
{
    m_recording->chooseLimit(limitess);
}

Recorder &TFCOMM::recorder() const
{
    return m_recording->recorder();
}

int TFCOMM::RecordLimit() const
{
    return m_recording->recorder().state().RecordLimit;
}

ReadingTableModel *TFCOMM::readingModel() const
{
    return m_recording->model();
}

// ---- Chart and window layout ----

void TFCOMM::BtSaveClick()
{
    // Written first, so that the message never reports a save that did not happen.
    QString error;
    if (Chtshow->saveBitmap(m_bitmapPath, &error))
        m_prompts.information(QStringLiteral("graphic has saved on ") +
                              QDir::toNativeSeparators(m_bitmapPath));
    else
        m_prompts.error(error);
}

void TFCOMM::TbFdClick()
{
    Chtshow->TbFdClick(outerWindowSize(centralWidget()->size()));
}

void TFCOMM::FormResize()
{
    if (Chtshow)
        applyWindowLayout(*this, computeWindowLayout(outerWindowSize(centralWidget()->size())));
}

void TFCOMM::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TFCOMM::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        // Bars' real heights are known only now: make the client area the layout's size.
        m_shownOnce = true;
        // Asked once the window is on screen, so the question has a window to belong to.
        QTimer::singleShot(0, this, &TFCOMM::offerRecovery);
        const int missing = kClientHeight - centralWidget()->height();
        if (missing != 0 && width() == kClientWidth)
            resize(kClientWidth, height() + missing);
        // The window opens in the middle of the screen, or as much of it as fits from the top left.
        if (const QScreen *s = screen()) {
            const QSize margins = frameGeometry().size() - size();
            const QRect frame =
                openingFrame(s->availableGeometry(), frameGeometry().size(), minimumSize() + margins);
            resize(frame.size() - margins);
            move(frame.topLeft());
        }
    }
    FormResize();
}

// ---- Data files and report (DataFileActions) ----

void TFCOMM::SpeedButton2Click()
{
    if (m_unsaved->replaceTable([this] { return m_files->open(m_workingFolder); }))
        m_recording->showTableState();
}

bool TFCOMM::openDataFile(const QString &fileName)
{
    if (!m_unsaved->replaceTable([&] { return m_files->openFile(fileName); }))
        return false;
    m_recording->showTableState();
    return true;
}

void TFCOMM::saveasClick()
{
    m_files->save();
}

void TFCOMM::saveDataFile(const QString &fileName)
{
    m_files->saveFile(fileName);
}

void TFCOMM::BtPrintClick()
{
    m_files->print(this);
}
