#pragma once

#include "app/FCOMMLayout.h"
#include "app/WindowPrompts.h"
#include "decode/LcdState.h"
#include "decode/ModelProfile.h"
#include "display/MinMax.h"
#include "serial/SerialDriver.h"

#include <QDateTime>
#include <QMainWindow>

#include <memory>

class DataFileActions;
class MeterPresentation;
class PaintPacer;
class PortConnection;
class QTimer;
class ReadingTableModel;
class RecordingControls;
class Recorder;
class StatusLine;
class TableStore;
class UnsavedReadings;

// The main window: the meter's LCD, bar, gauge, MIN/MAX and limits, the recording controls with the
// reading grid, and the trend chart. Its controls come from FCOMMLayout; the window wires them to
// the parts that act (PortConnection, FramePresenter, Recorder, DataFileActions, StatusLine) and
// drives everything from its event loop: the serial poll, the link timer ConTimer and the recording
// timer Trecord. Every handler keeps the name the layout gives it.
class TFCOMM : public QMainWindow, public FCOMMLayout
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

    QTimer *ConTimer = nullptr;
    QTimer *Trecord = nullptr;

    // Window-wide state.
    RangeConstants range() const;
    int LinkIdleTicks() const;
    bool HzMode() const;
    float UpperLimit() const;
    float LowerLimit() const;
    const MinMaxTracker &minMax() const;
    const Reading &currentReading() const;
    Recorder &recorder() const;
    int RecordLimit() const;
    DecoderFamily boundFamily() const;
    TableStore *readingTable() const { return m_table.get(); }
    ReadingTableModel *readingModel() const;
    // The status line's message (the port's news aside, which is statusBar()->currentMessage()).
    QString statusText() const;

    // Folder that holds the working table; set before FormCreate (tests use a temporary folder).
    void setWorkingFolder(const QString &folder) { m_workingFolder = folder; }
    // Where the chart bitmap goes (tests point it elsewhere).
    void setBitmapPath(const QString &path) { m_bitmapPath = path; }
    // Where unsaved readings are copied while recording: the working folder unless set; an empty
    // text keeps them in memory only (benchmarks compare the two).
    void setRecoveryFolder(const QString &folder) { m_recoveryFolder = folder; }

    // Message boxes and file dialogs go here instead of on screen when set (tests, benchmarks).
    using MessageHook = WindowPrompts::MessageHook;
    void setMessageHook(MessageHook hook) { m_prompts.setMessageHook(std::move(hook)); }
    void setFileHook(WindowPrompts::FileHook hook) { m_prompts.setFileHook(std::move(hook)); }
    void setChoiceHook(WindowPrompts::ChoiceHook hook) { m_prompts.setChoiceHook(std::move(hook)); }
    void setProgressHook(WindowPrompts::ProgressHook hook) { m_prompts.setProgressHook(std::move(hook)); }
    void setPrinterHook(WindowPrompts::PrinterHook hook) { m_prompts.setPrinterHook(std::move(hook)); }

    // What COMM2 delivers each poll's bytes to, whichever family the model decodes.
    void receiveData(TSerialPortDriver *Sender, const char *DataPtr, qint32 DataSize);
    // The two families' handler names, kept for callers that name them; both receive alike.
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

    // Offers what earlier runs left unsaved (on the first show).
    void offerRecovery();
    // The desktop session ends: asks about unsaved readings when it may; false cancels the logout.
    bool sessionEnding(bool mayAsk);
    // SIGTERM, SIGINT or SIGHUP came: every dialog and loop ends, nothing is asked, and the unsaved
    // readings stay in the recovery file for the next start.
    void endBySignal();
    bool isEnding() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void wireControls();
    void wireMenus();

    QString m_workingFolder;
    QString m_bitmapPath;
    QString m_recoveryFolder;
    ModelProfile m_profile;
    std::unique_ptr<TableStore> m_table;
    WindowPrompts m_prompts{this};
    StatusLine *m_status = nullptr;
    PaintPacer *m_pacer = nullptr;
    PortConnection *m_connection = nullptr;
    RecordingControls *m_recording = nullptr;
    MeterPresentation *m_meter = nullptr;
    UnsavedReadings *m_unsaved = nullptr;
    std::unique_ptr<DataFileActions> m_files;
    bool m_shownOnce = false;
    // When this run started: what an interrupted save left before it may go.
    QDateTime m_started = QDateTime::currentDateTime();
};
