#include "app/VS500F.h"

#include "app/DataFileActions.h"
#include "app/PortConnection.h"
#include "app/RecordingControls.h"
#include "app/StatusLine.h"
#include "app/WindowLayoutRule.h"
#include "chart/TrendChart.h"
#include "decode/IntegerText.h"
#include "display/AlarmBeeper.h"
#include "display/CaptionPanel.h"
#include "display/GaugeView.h"
#include "display/LcdPanel.h"
#include "display/MinMaxPanel.h"
#include "store/TableStore.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

namespace {

QString toQString(const std::string &s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

} // namespace

TFCOMM::TFCOMM(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FCOMM"));
    m_workingFolder = QDir::currentPath();
    m_bitmapPath = TrendChart::defaultBitmapPath();

    setupLayout(this);

    m_status = new StatusLine(statusBar(), statusLabel, this);
    m_connection = new PortConnection(
        *this, *m_status, [this](const QString &message) { m_prompts.error(message); }, this);

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
    m_recording = new RecordingControls(*this, *m_table, *m_status, m_prompts, this);
    m_files = std::make_unique<DataFileActions>(*m_table, m_prompts);

    wireControls();
    wireMenus();
}

TFCOMM::~TFCOMM()
{
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
}

void TFCOMM::FormCreate()
{
    // Range constants and limits for the 4000-count class until the profile says otherwise.
    m_presenter = FramePresenter(rangeConstantsFor("4"));
    m_limits.upper = range().UpperLimit;
    m_limits.lower = range().LowerLimit;

    // The reading table. A failure is shown once; the meter is still displayed and charted without it.
    if (!m_table->openWorkingTable(m_workingFolder))
        m_prompts.error(m_table->lastError());
    m_recording->start();
    m_files->setGrid(DBGrid1, m_recording->model());

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
    using Handler = void (TFCOMM::*)(TSerialPortDriver *, const char *, qint32);
    const Handler handler =
        m_profile.family == DecoderFamily::OR200 ? &TFCOMM::HOR200RData : &TFCOMM::HVS500RData;
    if (m_profile.family == DecoderFamily::None)
        COMM2->setOnReceiveData(nullptr);
    else
        COMM2->setOnReceiveData([this, handler](TSerialPortDriver *sender, const char *data, qint32 size) {
            (this->*handler)(sender, data, size);
        });

    if (m_profile.rangeClass == "6" || m_profile.rangeClass == "34") {
        m_presenter = FramePresenter(rangeConstantsFor(m_profile.rangeClass));
        m_limits.upper = range().UpperLimit;
        m_limits.lower = range().LowerLimit;
        // The boxes' new texts must not reload the limits: those stay just outside the range.
        const QSignalBlocker blockMax(Panel3->Setmax);
        const QSignalBlocker blockMin(Panel3->SetMin);
        Panel3->applyRange(range().FullScale);
    }
    m_decoder = std::make_unique<MeterDecoder>(m_profile.family, DecodeContext{selectors, range()});

    Chtshow->setAxisRange(-range().FullScale, range().FullScale);

    KDsetup();
    KD->KDrun(range().GaugeZero);

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
    m_connection->frameArrived();
    if (!outcome.ok) {
        // Frame data never opens a modal box: at several frames a second that would be a flood.
        m_status->show(StatusLine::Owner::Frame, QString::fromLatin1(outcome.error.c_str()));
        return;
    }
    m_status->clear(StatusLine::Owner::Frame);

    m_limits.maxEnabled = Panel3->SetMaxB->isChecked();
    m_limits.minEnabled = Panel3->SetMinB->isChecked();
    const Presentation p = m_presenter.present(outcome, m_limits);

    Panel1->apply(p.panel);
    m_reading = p.reading;
    if (p.axisMax) {
        KDsetup();
        Chtshow->setAxisRange(-*p.axisMax, *p.axisMax);
    }
    if (p.alarm)
        m_beeper->beep();
    oltext->setVisible(p.alarm);
    if (p.newTrend) {
        Chtshow->ShowSeries(Chtshow->BtFill->isChecked() ? 0 : 1);
        Chtshow->BtNewClick();
    }
    Panel3->showExtremes(toQString(p.minText), toQString(p.maxText), toQString(p.unit));
    KD->KDrun(p.gaugeInput);
    INDataToTable();
    PBar2->setValue(p.barPosition);
    Chtshow->addPoint(p.chartValue);
}

QString TFCOMM::statusText() const
{
    return m_status->text();
}

// ---- Limits and gauge ----

bool TFCOMM::readLimit(QLineEdit *box, float *limit)
{
    const LimitText text = parseLimitText(box->text().toStdString());
    if (!text.ok) {
        m_prompts.error(QString::fromStdString(text.error));
        return false;
    }
    *limit = text.value;
    return true;
}

void TFCOMM::SetmaxExit()
{
    if (readLimit(Panel3->Setmax, &m_limits.upper))
        KDsetup();
}

void TFCOMM::SetMinExit()
{
    if (readLimit(Panel3->SetMin, &m_limits.lower))
        KDsetup();
}

void TFCOMM::KDsetup()
{
    GaugeInputs in;
    in.HzMode = HzMode();
    in.RangeClass = range().RangeClass;
    in.GaugeSpan = range().GaugeSpan;
    in.GaugeZero = range().GaugeZero;
    in.FullScale = range().FullScale;
    in.UpperLimit = m_limits.upper;
    in.LowerLimit = m_limits.lower;
    in.maxEnabled = Panel3->SetMaxB->isChecked();
    in.minEnabled = Panel3->SetMinB->isChecked();
    KD->setInputs(in);
    KD->KDsetup(1);
}

// ---- Recording ----

void TFCOMM::INDataToTable()
{
    m_recording->record(m_reading);
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

// ---- Data files and report (DataFileActions) ----

void TFCOMM::SpeedButton2Click()
{
    if (m_files->open(m_workingFolder))
        m_recording->showTableState();
}

bool TFCOMM::openDataFile(const QString &fileName)
{
    if (!m_files->openFile(fileName))
        return false;
    m_recording->showTableState();
    return true;
}

void TFCOMM::saveasClick()
{
    m_files->save(m_workingFolder);
}

void TFCOMM::saveDataFile(const QString &fileName)
{
    m_files->saveFile(fileName, m_workingFolder);
}

void TFCOMM::BtPrintClick()
{
    m_files->print(this);
}
