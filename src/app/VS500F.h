#pragma once

#include "decode/LcdState.h"
#include "decode/MeterDecoder.h"
#include "decode/ModelProfile.h"
#include "display/MinMax.h"
#include "serial/SerialDriver.h"
#include "store/Recorder.h"

#include <QMainWindow>
#include <QMessageBox>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QTableView;
class QTimer;
class QToolButton;

class AlarmBeeper;
class GaugeView;
class LcdPanel;
class MinMaxPanel;
class CaptionPanel;
class ReadingTableModel;
class TableStore;
class TrendChart;

// The main window: the meter's LCD, bar, gauge, MIN/MAX and limits, the recording controls with the
// reading grid, and the trend chart. It owns the serial component COMM2 and drives everything from
// its event loop: the serial poll, the link timer ConTimer and the recording timer Trecord.
class TFCOMM : public QMainWindow
{
    Q_OBJECT

public:
    // Builds the layout; FormCreate runs separately so that a test can change the model selectors
    // first. The working folder is where the reading table lives (the process's working folder by
    // default).
    explicit TFCOMM(QWidget *parent = nullptr);
    ~TFCOMM() override;

    // Sets the window to its start state for the checked model selector (run once, before showing).
    void FormCreate();

    // The window's controls, named as the layout names them.
    // Model selectors (hidden), in profile order; IF7740x last.
    std::array<QCheckBox *, kModelSelectorCount> IFSelectors{};
    QCheckBox *selector(ModelSelector s) const { return IFSelectors[static_cast<size_t>(s)]; }

    TSerialPortDriver *COMM2 = nullptr;

    QMenu *ComSetup1 = nullptr;
    QAction *COM11 = nullptr;
    QAction *COM21 = nullptr;
    QAction *COM31 = nullptr;
    QAction *COM41 = nullptr;
    QMenu *Connect1 = nullptr;
    QAction *START1 = nullptr;
    QAction *STOP1 = nullptr;
    QAction *EXIT1 = nullptr;
    QMenu *Graphic = nullptr;
    QAction *GraphicFill = nullptr;
    QMenu *RecordMenu = nullptr;
    QAction *New1 = nullptr;
    QAction *Save1 = nullptr;
    QAction *N10001 = nullptr;
    QAction *N50001 = nullptr;
    QAction *N100001 = nullptr;
    QAction *N500001 = nullptr;
    QAction *N1000001 = nullptr;
    QAction *limitess = nullptr;

    std::array<CaptionPanel *, 4> BtCOM{}; // BtCOM1..BtCOM4
    CaptionPanel *BTCon = nullptr;
    CaptionPanel *BtDiscon = nullptr;
    CaptionPanel *BtExit = nullptr;

    LcdPanel *Panel1 = nullptr;
    QProgressBar *PBar2 = nullptr;
    MinMaxPanel *Panel3 = nullptr;
    QLabel *KD2 = nullptr;
    GaugeView *KD = nullptr;
    QLabel *CONok = nullptr;
    QLabel *CONokN = nullptr;
    QLabel *oltext = nullptr;

    QCheckBox *RepeatSet = nullptr;
    QCheckBox *RecordSI = nullptr;
    QLineEdit *RecordSITime = nullptr;
    QToolButton *RecordNew = nullptr;
    QToolButton *OpenDataFiles = nullptr;
    QToolButton *saveas = nullptr;
    QToolButton *BtPrint = nullptr;
    QTableView *DBGrid1 = nullptr;
    QLabel *recordingState = nullptr; // says plainly when no table is open

    TrendChart *Chtshow = nullptr;

    QTimer *ConTimer = nullptr;
    QTimer *Trecord = nullptr;

    // Window-wide state.
    RangeConstants range() const { return m_range; }
    int LinkIdleTicks() const { return m_linkIdleTicks; }
    bool HzMode() const { return m_decoder ? m_decoder->hzMode() : false; }
    float UpperLimit() const { return m_upperLimit; }
    float LowerLimit() const { return m_lowerLimit; }
    const MinMaxTracker &minMax() const { return m_minMax; }
    const Reading &currentReading() const { return m_reading; }
    Recorder &recorder() const { return *m_recorder; }
    int RecordLimit() const { return m_recorder->state().RecordLimit; }
    DecoderFamily boundFamily() const { return m_decoder ? m_decoder->family() : DecoderFamily::None; }
    TableStore *readingTable() const { return m_table.get(); }
    ReadingTableModel *readingModel() const { return m_model; }
    QString statusText() const;

    // Folder that holds the working table; set before FormCreate (tests use a temporary folder).
    void setWorkingFolder(const QString &folder) { m_workingFolder = folder; }
    // Where the chart bitmap goes (tests point it elsewhere).
    void setBitmapPath(const QString &path) { m_bitmapPath = path; }

    // Message boxes go here instead of on screen when set (tests, benchmarks).
    using MessageHook = std::function<void(QMessageBox::Icon, const QString &)>;
    void setMessageHook(MessageHook hook) { m_messageHook = std::move(hook); }

    // The bound receive handlers: what COMM2 delivers each poll's bytes to.
    void HOR200RData(TSerialPortDriver *Sender, const char *DataPtr, qint32 DataSize);
    void HVS500RData(TSerialPortDriver *Sender, const char *DataPtr, qint32 DataSize);

public slots:
    void COM11Click();
    void COM21Click();
    void COM31Click();
    void COM41Click();
    void BTCon1Click();
    void BtDiscon1Click();
    void BtExit1Click();
    void ConTimerTimer();

    void SetmaxExit();
    void SetMinExit();

    void INDataToTable();
    void TrecordTimer();
    void RecordSITimeChange();
    void RecordNewClick();
    void N10001Click();
    void N50001Click();
    void N100001Click();
    void N500001Click();
    void N1000001Click();
    void limitessClick();

    void BtSaveClick();
    void TbFdClick();
    void FormResize();

    void SpeedButton2Click();
    void saveasClick();
    void BtPrintClick();

    // The file-level halves of the two dialogs' handlers, also used by tests.
    bool openDataFile(const QString &fileName);
    void saveDataFile(const QString &fileName);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildLayout();
    void buildMenus();
    void buildPortControls(QWidget *client);
    void buildRecordingRow(QWidget *client);
    void selectPort(int index);
    void receive(const char *data, qint32 size);
    void presentFrame(const FrameOutcome &outcome);
    void showFrameError(const QString &message);
    void setRecordLimit(QAction *item, int limit);
    void refreshGaugeInputs();
    void KDsetup();
    void updateRecordingState();
    void showError(const QString &message);
    void showInformation(const QString &message);
    QSize outerSize() const;
    void fitClientArea();

    QString m_workingFolder;
    QString m_bitmapPath;
    RangeConstants m_range;
    ModelProfile m_profile;
    std::unique_ptr<MeterDecoder> m_decoder;
    Reading m_reading;
    float m_upperLimit = RangeConstants().UpperLimit;
    float m_lowerLimit = RangeConstants().LowerLimit;
    MinMaxTracker m_minMax;
    int m_linkIdleTicks = 0;
    std::unique_ptr<TableStore> m_table;
    std::unique_ptr<Recorder> m_recorder;
    ReadingTableModel *m_model = nullptr;
    AlarmBeeper *m_beeper = nullptr;
    QLabel *m_frameError = nullptr;
    bool m_frameErrorShown = false;
    bool m_maxrecordErrorShown = false; // the status line holds Maxrecord's complaint
    bool m_shownOnce = false;
    MessageHook m_messageHook;
};
