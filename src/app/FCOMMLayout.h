#pragma once

#include "decode/ModelProfile.h"

#include <array>
#include <cstdint>

class CaptionPanel;
class GaugeView;
class LcdPanel;
class MinMaxPanel;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QProgressBar;
class QWidget;
class QToolButton;
class ReadingGrid;
class TSerialPortDriver;
class TrendChart;

// One item of the Record menu's record limits.
struct RecordLimitItem
{
    const char *name;    // the menu item's name, "N10001"
    const char *caption; // "1000"
    int32_t limit;
};

inline constexpr std::array<RecordLimitItem, 6> kRecordLimitItems = {{
    {"N10001", "1000", 1000},
    {"N50001", "5000", 5000},
    {"N100001", "10000", 10000},
    {"N500001", "50000", 50000},
    {"N1000001", "100000", 100000},
    {"limitess", "limitless", 10000000},
}};

// The main window's controls, created at their places with their captions, colours and fonts, and
// nothing else: no connection, no state. The window inherits them, so every control is found by the
// name the layout gives it (FCOMM's BTCon, Panel3, DBGrid1 ...), and wires them itself.
class FCOMMLayout
{
public:
    // The client area the layout was drawn for.
    static constexpr int kClientWidth = 615;
    static constexpr int kClientHeight = 409;

    // Creates every control and menu on `window`.
    void setupLayout(QMainWindow *window);

    // Model selectors (hidden), in profile order; IF7740x last. The build's selector is checked.
    std::array<QCheckBox *, kModelSelectorCount> IFSelectors{};
    QCheckBox *selector(ModelSelector s) const { return IFSelectors[static_cast<size_t>(s)]; }
    // Checks exactly `selectors` instead of the build's (meterlink --model); before FormCreate.
    void checkModelSelectors(const ModelSelectors &selectors);

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
    QAction *GraphicFirst = nullptr;
    QAction *GraphicPrevious = nullptr;
    QAction *GraphicNext = nullptr;
    QAction *GraphicLast = nullptr;
    QAction *GraphicNew = nullptr;
    QAction *GraphicSave = nullptr;
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
    // The six items above in kRecordLimitItems' order.
    std::array<QAction *, kRecordLimitItems.size()> recordLimitItems() const;

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
    ReadingGrid *DBGrid1 = nullptr;
    QLabel *recordingState = nullptr; // says plainly when no table is open

    TrendChart *Chtshow = nullptr;
    QComboBox *ComboBox1 = nullptr; // the hidden series chooser
    QLabel *statusLabel = nullptr;  // the status bar's message

private:
    void setupPortControls(QWidget *client);
    void setupRecordingRow(QWidget *client);
    void setupMenus(QMainWindow *window);
};
