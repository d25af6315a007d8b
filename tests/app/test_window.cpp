#include "app/PaintPacer.h"
#include "app/ReadingGrid.h"
#include "app/UnsavedReadings.h"
#include "app/VS500F.h"
#include "chart/TrendChart.h"
#include "decode/FrameEncoders.h"
#include "display/CaptionPanel.h"
#include "display/GaugeView.h"
#include "display/LcdLabel.h"
#include "display/LcdPanel.h"
#include "display/MinMaxPanel.h"
#include "store/DataFiles.h"
#include "store/ReadingTableModel.h"
#include "store/TableStore.h"
#include "support/FileBytes.h"
#include "support/PseudoTerminal.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Message
{
    QMessageBox::Icon icon;
    QString text;
};

// A window built in a temporary working folder, with its message boxes captured instead of shown.
class Window
{
public:
    explicit Window(std::initializer_list<ModelSelector> selectors = {ModelSelector::IFOR210},
                    const QString &folder = QString())
    {
        w = std::make_unique<TFCOMM>();
        w->setWorkingFolder(folder.isEmpty() ? dir.path() : folder);
        w->setBitmapPath(dir.filePath(QStringLiteral("databmp.bmp")));
        w->setMessageHook([this](QMessageBox::Icon icon, const QString &text) {
            messages.push_back({icon, text});
        });
        // Unsaved readings are given up unless a test answers otherwise.
        w->setChoiceHook([this](const QString &text, const QList<WindowPrompts::Choice> &) {
            questions.push_back(text);
            return answer;
        });
        // As meterlink --model does: exactly these selectors instead of the build's.
        ModelSelectors checked;
        for (ModelSelector s : selectors)
            checked.set(size_t(s));
        w->checkModelSelectors(checked);
        w->FormCreate();
    }

    void feed(const std::vector<uint8_t> &bytes)
    {
        const auto *data = reinterpret_cast<const char *>(bytes.data());
        if (w->boundFamily() == DecoderFamily::VS500)
            w->HVS500RData(w->COMM2, data, qint32(bytes.size()));
        else
            w->HOR200RData(w->COMM2, data, qint32(bytes.size()));
    }

    // Shows the window and gives it the keyboard.
    bool showActive()
    {
        w->show();
        w->activateWindow();
        return QTest::qWaitForWindowActive(w.get());
    }

    QTemporaryDir dir;
    std::unique_ptr<TFCOMM> w;
    std::vector<Message> messages;
    QStringList questions;
    WindowPrompts::Choice answer = WindowPrompts::Choice::Discard;
};

Or200Display volts(char d1, char d2, char d3, char d4, int point = 1, bool minus = false)
{
    Or200Display d;
    d.digits[0] = d1;
    d.digits[1] = d2;
    d.digits[2] = d3;
    d.digits[3] = d4;
    d.pointAfter = point;
    d.minus = minus;
    d.dc = true;
    d.autoRange = true;
    d.volt = true;
    return d;
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

} // namespace

// ---- Start-up for each model profile ----

TEST(WindowStartup, ShippedLayoutIsTheOr210)
{
    Window win;
    TFCOMM &w = *win.w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("OR210 Interface Program _Ver: 2.00"));
    EXPECT_EQ(w.boundFamily(), DecoderFamily::OR200);
    EXPECT_EQ(w.COMM2->ComPortSpeed(), br2400);
    EXPECT_EQ(w.COMM2->ComPort(), pnCOM1);
    EXPECT_EQ(w.range().FullScale, 4000);
    EXPECT_EQ(w.Chtshow->axisMin(), -4000);
    EXPECT_EQ(w.Chtshow->axisMax(), 4000);
    EXPECT_EQ(w.Panel3->Setmax->text(), QStringLiteral("4000"));
    EXPECT_EQ(w.Panel3->MinText->text(), QStringLiteral("4001"));
    EXPECT_FLOAT_EQ(w.UpperLimit(), 4002.0f);
    // The needle stands straight up through the scale's zero.
    const GaugeNeedle needle = w.KD->lastNeedle();
    EXPECT_EQ(needle.tip.x, needle.inner.x);
    EXPECT_TRUE(win.messages.empty());
    EXPECT_TRUE(w.readingTable()->isOpen());
    EXPECT_TRUE(QFileInfo::exists(win.dir.filePath(QStringLiteral("Vs500db.DB"))));
}

// The layout as built, no selector touched: the build's selector alone is checked and applied.
TEST(WindowStartup, TheBuildsSelectorIsTheOneApplied)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TFCOMM w;
    w.setWorkingFolder(dir.path());
    w.setBitmapPath(dir.filePath(QStringLiteral("databmp.bmp")));
    QStringList messages;
    w.setMessageHook([&messages](QMessageBox::Icon, const QString &text) { messages.append(text); });
    w.FormCreate();

    ModelSelector built = ModelSelector::Count;
    ASSERT_TRUE(modelSelectorFromName(METERLINK_MODEL_SELECTOR, &built)) << METERLINK_MODEL_SELECTOR;
    for (int i = 0; i < kModelSelectorCount; ++i)
        EXPECT_EQ(w.IFSelectors[size_t(i)]->isChecked(), ModelSelector(i) == built)
            << modelSelectorName(ModelSelector(i));
    if (built == ModelSelector::IFOR210) {
        EXPECT_EQ(w.windowTitle(), QStringLiteral("OR210 Interface Program _Ver: 2.00"));
        EXPECT_EQ(w.boundFamily(), DecoderFamily::OR200);
    } else {
        ModelSelectors only;
        only.set(size_t(built));
        EXPECT_EQ(w.windowTitle().toStdString(), profileFor(only).title);
        EXPECT_EQ(w.boundFamily(), profileFor(only).family);
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
}

TEST(WindowStartup, ProfilesSetTitleFamilySpeedAndRange)
{
    {
        Window win({ModelSelector::IFOR250});
        TFCOMM &w = *win.w;
        EXPECT_EQ(w.windowTitle(), QStringLiteral("OR250 Interface Program _Ver: 1.01"));
        EXPECT_EQ(w.boundFamily(), DecoderFamily::VS500);
        EXPECT_EQ(w.COMM2->ComPortSpeed(), br19200);
        EXPECT_EQ(w.range().FullScale, 6000);
        EXPECT_EQ(w.range().GaugeZero, 600);
        EXPECT_EQ(w.Panel3->Setmax->text(), QStringLiteral("6000"));
        EXPECT_EQ(w.Panel3->SetMin->text(), QStringLiteral("-6000"));
        EXPECT_EQ(w.Panel3->MinText->text(), QStringLiteral("6001"));
        EXPECT_EQ(w.Panel3->MaxText->text(), QStringLiteral("-6001"));
        // The new box texts do not reload the limits: they stay just outside the range.
        EXPECT_FLOAT_EQ(w.UpperLimit(), 6002.0f);
        EXPECT_FLOAT_EQ(w.LowerLimit(), -6002.0f);
        EXPECT_EQ(w.Chtshow->axisMax(), 6000);
        EXPECT_EQ(w.KD->inputs().RangeClass, "6");
    }
    {
        Window win({ModelSelector::IFOR220});
        EXPECT_EQ(win.w->COMM2->ComPortSpeed(), br2400);
        EXPECT_EQ(win.w->range().FullScale, 3400);
        EXPECT_EQ(win.w->Chtshow->axisMin(), -3400);
    }
    {
        Window win({ModelSelector::IFOR210, ModelSelector::IFOR240});
        EXPECT_EQ(win.w->windowTitle(), QStringLiteral("OR240 Interface Program _Ver: 1.01"));
        EXPECT_EQ(win.w->boundFamily(), DecoderFamily::VS500);
        EXPECT_EQ(win.w->COMM2->ComPortSpeed(), br19200);
        EXPECT_EQ(win.w->range().RangeClass, "4");
    }
    for (auto selectors : {std::initializer_list<ModelSelector>{ModelSelector::IF7740x},
                           std::initializer_list<ModelSelector>{}}) {
        Window win(selectors);
        EXPECT_TRUE(win.w->windowTitle().isEmpty());
        EXPECT_EQ(win.w->boundFamily(), DecoderFamily::None);
        EXPECT_FALSE(bool(win.w->COMM2->OnReceiveData()));
        EXPECT_EQ(win.w->range().FullScale, 4000);
    }
}

// ---- Port selection and connection ----

TEST(WindowPorts, PanelsCycleThroughThePortsAndMenuFollows)
{
    Window win;
    TFCOMM &w = *win.w;
    const std::array<QAction *, 4> items = {w.COM11, w.COM21, w.COM31, w.COM41};
    auto visiblePanel = [&] {
        int shown = -1;
        for (int i = 0; i < 4; ++i)
            if (!w.BtCOM[size_t(i)]->isHidden())
                shown = (shown == -1) ? i : 99;
        return shown;
    };
    EXPECT_EQ(visiblePanel(), 0);
    for (int click = 1; click <= 4; ++click) {
        w.BtCOM[size_t(visiblePanel())]->click();
        const int port = click % 4;
        EXPECT_EQ(visiblePanel(), port);
        EXPECT_EQ(int(w.COMM2->ComPort()), port);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(items[size_t(i)]->isChecked(), i == port);
    }
    w.COM31->trigger();
    EXPECT_EQ(visiblePanel(), 2);
    w.BtCOM[2]->click();
    EXPECT_EQ(w.COMM2->ComPort(), pnCOM4);
}

TEST(WindowPorts, FailedConnectSaysWhyAndStaysDisconnected)
{
    Window win;
    TFCOMM &w = *win.w;
    qputenv("METERLINK_COM3", win.dir.filePath(QStringLiteral("no-such-device")).toLocal8Bit());
    w.COM31->trigger();
    w.BTCon->click();
    qunsetenv("METERLINK_COM3");
    ASSERT_EQ(win.messages.size(), 1u)
        << win.messages[0].text.toStdString() << "/" << win.messages.back().text.toStdString();
    EXPECT_EQ(win.messages[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(win.messages[0].text.startsWith(QStringLiteral("COM3: ")))
        << win.messages[0].text.toStdString();
    EXPECT_TRUE(win.messages[0].text.contains(QStringLiteral("No such file or directory")));
    EXPECT_FALSE(w.COMM2->IsConnected());
    EXPECT_TRUE(w.ComSetup1->menuAction()->isEnabled());
    EXPECT_TRUE(w.START1->isEnabled());
    EXPECT_FALSE(w.START1->isChecked());
    EXPECT_FALSE(w.STOP1->isEnabled());
    EXPECT_FALSE(w.BTCon->isHidden());
    EXPECT_TRUE(w.BtDiscon->isHidden());
    EXPECT_TRUE(w.BtCOM[2]->isEnabled());
}

TEST(WindowPorts, ConnectReceivesFramesAndDisconnectRestoresTheControls)
{
    PseudoTerminal pty;
    ASSERT_TRUE(pty.isOpen());
    qputenv("METERLINK_COM1", pty.slavePath().toLocal8Bit());
    Window win;
    TFCOMM &w = *win.w;
    w.BTCon->click();
    qunsetenv("METERLINK_COM1");
    ASSERT_TRUE(win.messages.empty()) << win.messages[0].text.toStdString();
    EXPECT_TRUE(w.COMM2->IsConnected());
    EXPECT_FALSE(w.ComSetup1->menuAction()->isEnabled());
    EXPECT_TRUE(w.START1->isChecked());
    EXPECT_FALSE(w.START1->isEnabled());
    EXPECT_TRUE(w.STOP1->isEnabled());
    EXPECT_TRUE(w.BTCon->isHidden());
    EXPECT_FALSE(w.BtDiscon->isHidden());
    EXPECT_FALSE(w.BtCOM[0]->isEnabled());

    const std::vector<uint8_t> frame = encodeOr200(volts('1', '2', '3', '4'));
    ASSERT_TRUE(
        pty.writeAll(QByteArray(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size()))));
    ASSERT_TRUE(waitFor([&] { return w.currentReading().value == "1.234"; }));
    EXPECT_FALSE(w.CONok->isHidden());
    EXPECT_TRUE(w.CONokN->isHidden());
    EXPECT_EQ(w.readingTable()->rowCount(), 1);
    // Nothing is ever sent to the meter.
    EXPECT_TRUE(pty.readMaster().isEmpty());

    // Without frames the indicator falls back within about 300 ms.
    ASSERT_TRUE(waitFor([&] { return !w.CONokN->isHidden(); }, 3000));

    w.BtDiscon->click();
    EXPECT_FALSE(w.COMM2->IsConnected());
    EXPECT_TRUE(w.ComSetup1->menuAction()->isEnabled());
    EXPECT_FALSE(w.START1->isChecked());
    EXPECT_TRUE(w.START1->isEnabled());
    EXPECT_FALSE(w.STOP1->isEnabled());
    EXPECT_TRUE(w.STOP1->isChecked());
    EXPECT_FALSE(w.BTCon->isHidden());
    EXPECT_TRUE(w.BtCOM[0]->isEnabled());
}

// The adapter is unplugged while connected and plugged in again: a new device behind the same name.
TEST(WindowPorts, ALostPortIsShownAndReceptionResumesWhenItIsBack)
{
    Window win;
    TFCOMM &w = *win.w;
    const QString link = win.dir.filePath(QStringLiteral("ttyMeter"));
    PseudoTerminal first;
    ASSERT_TRUE(first.isOpen());
    ASSERT_TRUE(QFile::link(first.slavePath(), link));
    QStringList lost;
    QObject::connect(w.COMM2, &TSerialPortDriver::portLost, &w,
                     [&lost](const QString &message) { lost.append(message); });
    qputenv("METERLINK_COM1", QFile::encodeName(link));
    w.BTCon->click();
    qunsetenv("METERLINK_COM1");
    ASSERT_TRUE(w.COMM2->IsConnected()) << w.COMM2->lastErrorText().toStdString();
    auto send = [](PseudoTerminal &pty, const Or200Display &display) {
        const std::vector<uint8_t> frame = encodeOr200(display);
        return pty.writeAll(
            QByteArray(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size())));
    };
    ASSERT_TRUE(send(first, volts('1', '2', '3', '4')));
    ASSERT_TRUE(waitFor([&] { return w.currentReading().value == "1.234"; }));

    QFile::remove(link);
    first.closeMaster();
    ASSERT_TRUE(waitFor([&] { return !lost.isEmpty(); }));
    EXPECT_TRUE(lost.first().startsWith(QStringLiteral("COM1: "))) << lost.first().toStdString();
    EXPECT_EQ(w.statusBar()->currentMessage().toStdString(), lost.first().toStdString());
    EXPECT_TRUE(win.messages.empty());
    // Still connected as far as the user is concerned: the driver comes back by itself.
    EXPECT_FALSE(w.BtDiscon->isHidden());
    EXPECT_TRUE(w.BTCon->isHidden());
    EXPECT_TRUE(w.STOP1->isEnabled());

    PseudoTerminal second;
    ASSERT_TRUE(QFile::link(second.slavePath(), link));
    ASSERT_TRUE(waitFor([&] {
        return w.statusBar()->currentMessage() == QStringLiteral("COM1: reconnected");
    })) << w.statusBar()->currentMessage().toStdString();
    ASSERT_TRUE(send(second, volts('2', '2', '2', '2')));
    ASSERT_TRUE(waitFor([&] { return w.currentReading().value == "2.222"; }));
    EXPECT_EQ(lost.size(), 1);
    EXPECT_TRUE(win.messages.empty());
}

TEST(WindowLink, IndicatorFallsBackOnTheThirdIdleTick)
{
    Window win;
    TFCOMM &w = *win.w;
    w.ConTimer->stop();
    EXPECT_FALSE(w.CONokN->isHidden());
    win.feed(encodeOr200(volts('0', '0', '0', '0')));
    EXPECT_FALSE(w.CONok->isHidden());
    w.ConTimerTimer();
    w.ConTimerTimer();
    EXPECT_FALSE(w.CONok->isHidden());
    w.ConTimerTimer();
    EXPECT_TRUE(w.CONok->isHidden());
    EXPECT_FALSE(w.CONokN->isHidden());
    EXPECT_EQ(w.LinkIdleTicks(), 0);
}

TEST(WindowLink, TheLinkTimerRunsOnlyWhileFramesArrive)
{
    Window win;
    TFCOMM &w = *win.w;
    EXPECT_FALSE(w.ConTimer->isActive()); // no wakeups while nothing arrives
    win.feed(encodeOr200(volts('0', '0', '0', '0')));
    EXPECT_TRUE(w.ConTimer->isActive());
    EXPECT_TRUE(waitFor([&w] { return !w.CONokN->isHidden(); }, 1000));
    EXPECT_FALSE(w.ConTimer->isActive());
}

TEST(WindowLink, AStreamingMeterKeepsTheLinkTimerFromTicking)
{
    Window win;
    TFCOMM &w = *win.w;
    win.feed(encodeOr200(volts('0', '0', '0', '0')));
    QThread::msleep(60); // no events: the timer cannot tick
    win.feed(encodeOr200(volts('0', '0', '0', '1')));
    // Started afresh by the second frame, not running down since the first.
    EXPECT_GT(w.ConTimer->remainingTime(), 60);
}

// ---- Presentation of frames ----

TEST(WindowFrames, AFrameRunsTheWholePresentationSequence)
{
    Window win;
    TFCOMM &w = *win.w;
    win.feed(encodeOr200(volts('1', '2', '3', '4')));
    EXPECT_EQ(w.currentReading().value, "1.234");
    EXPECT_EQ(w.currentReading().unit, "V");
    EXPECT_FALSE(w.Panel1->element(LcdElement::LcdV)->isHidden());
    EXPECT_FALSE(w.Panel1->element(LcdElement::LcdP1)->isHidden());
    EXPECT_TRUE(w.Panel1->element(LcdElement::LcdFH)->isHidden());
    EXPECT_EQ(w.PBar2->value(), 12);
    EXPECT_EQ(w.readingTable()->rowCount(), 1);
    EXPECT_EQ(w.readingTable()->fieldText(0, TableColumn::Value), QStringLiteral("1.234"));
    EXPECT_EQ(w.readingTable()->fieldText(0, TableColumn::No), QStringLiteral("1"));
    // New trend at the first frame: placeholder at X = 0, the reading at X = 1.
    EXPECT_EQ(w.Chtshow->pointCount(), 2);
    // The first frame resets MIN/MAX and does not enter it; the second one is both extremes.
    EXPECT_TRUE(w.Panel3->MaxText->text().isEmpty());
    win.feed(encodeOr200(volts('1', '2', '3', '5')));
    EXPECT_EQ(w.Panel3->MaxText->text(), QStringLiteral("1.235"));
    EXPECT_EQ(w.Panel3->MinText->text(), QStringLiteral("1.235"));
    EXPECT_EQ(w.Chtshow->pointCount(), 3);
    // A range change starts a new trend.
    win.feed(encodeOr200(volts('1', '2', '3', '5', 2)));
    EXPECT_EQ(w.Chtshow->pointCount(), 2);
    EXPECT_EQ(w.readingTable()->rowCount(), 3);
}

TEST(WindowFrames, AMeterThatEndsItsLinesWithCrLfShowsEveryFrame)
{
    Window win({ModelSelector::IFOR250});
    for (int volts : {1234, 2345, 3456}) {
        Vs500Display d;
        d.range = 3; // P3: 123.4 V
        d.digits[0] = uint8_t(volts / 1000);
        d.digits[1] = uint8_t(volts / 100 % 10);
        d.digits[2] = uint8_t(volts / 10 % 10);
        d.digits[3] = uint8_t(volts % 10);
        d.statusC = 0xA;
        std::vector<uint8_t> line = encodeVs500(d);
        line.push_back(0x0A);
        win.feed(line);
        EXPECT_EQ(win.w->currentReading().Nval, float(volts));
    }
    EXPECT_TRUE(win.w->statusText().isEmpty()) << win.w->statusText().toStdString();
}

TEST(WindowFrames, AFailedConversionChangesNothingAndIsShownWithoutABox)
{
    Window win;
    TFCOMM &w = *win.w;
    win.feed(encodeOr200(volts('1', '2', '3', '4')));
    const int64_t points = w.Chtshow->pointCount();
    // An L outside the overload place: the reading's count does not convert.
    std::vector<uint8_t> bad = encodeOr200(volts('1', '2', 'L', '4'));
    const std::vector<uint8_t> good = encodeOr200(volts('2', '2', '2', '2'));
    bad.insert(bad.end(), good.begin(), good.end());
    w.ConTimer->stop();
    win.feed(std::vector<uint8_t>(bad.begin(), bad.begin() + 14));
    EXPECT_TRUE(win.messages.empty());
    EXPECT_EQ(w.statusText(), QStringLiteral("'12@4' is not a valid integer value"));
    EXPECT_EQ(w.currentReading().value, "1.234");
    EXPECT_EQ(w.Chtshow->pointCount(), points);
    EXPECT_EQ(w.readingTable()->rowCount(), 1);
    EXPECT_FALSE(w.CONok->isHidden());
    win.feed(std::vector<uint8_t>(bad.begin() + 14, bad.end()));
    EXPECT_EQ(w.currentReading().value, "2.222");
    EXPECT_TRUE(w.statusText().isEmpty());
}

TEST(WindowFrames, EnabledLimitAlarmsOnlyBeyondIt)
{
    Window win;
    TFCOMM &w = *win.w;
    w.Panel3->Setmax->setText(QStringLiteral("1234"));
    QTest::mouseClick(w.Panel3->SetMaxB, Qt::LeftButton);
    ASSERT_TRUE(w.Panel3->SetMaxB->isChecked());
    EXPECT_FLOAT_EQ(w.UpperLimit(), 1234.0f);
    win.feed(encodeOr200(volts('1', '2', '3', '4')));
    EXPECT_TRUE(w.oltext->isHidden());
    win.feed(encodeOr200(volts('1', '2', '3', '5')));
    EXPECT_FALSE(w.oltext->isHidden());
    win.feed(encodeOr200(volts('0', '0', '0', '1')));
    EXPECT_TRUE(w.oltext->isHidden());
    // "-" alone means 0; a text that is no number keeps the limit and says so once.
    w.Panel3->Setmax->setText(QStringLiteral("-"));
    EXPECT_FLOAT_EQ(w.UpperLimit(), 0.0f);
    w.Panel3->Setmax->setText(QStringLiteral("4-"));
    EXPECT_FLOAT_EQ(w.UpperLimit(), 0.0f);
    ASSERT_EQ(win.messages.size(), 1u);
    EXPECT_EQ(win.messages[0].text, QStringLiteral("'4-' is not a valid integer value"));
}

// ---- Recording ----

TEST(WindowRecording, NewEmptiesTheTableAfterSayingSo)
{
    Window win;
    TFCOMM &w = *win.w;
    win.feed(encodeOr200(volts('1', '0', '0', '0')));
    win.feed(encodeOr200(volts('1', '0', '0', '1')));
    ASSERT_EQ(w.readingTable()->rowCount(), 2);
    w.RecordNew->click();
    ASSERT_EQ(win.messages.size(), 1u);
    EXPECT_EQ(win.messages[0].text, QStringLiteral(" Record deleted "));
    EXPECT_EQ(w.readingTable()->rowCount(), 0);
    win.feed(encodeOr200(volts('1', '0', '0', '2')));
    EXPECT_EQ(w.readingTable()->fieldText(0, TableColumn::No), QStringLiteral("1"));
}

TEST(WindowRecording, LimitMenuChecksOneItemAndStopsRecording)
{
    Window win;
    TFCOMM &w = *win.w;
    w.N10001->trigger();
    EXPECT_EQ(w.RecordLimit(), 1000);
    for (QAction *a : {w.N50001, w.N100001, w.N500001, w.N1000001, w.limitess})
        EXPECT_FALSE(a->isChecked());
    EXPECT_TRUE(w.N10001->isChecked());
    w.limitess->trigger();
    EXPECT_EQ(w.RecordLimit(), 10000000);
    EXPECT_FALSE(w.N10001->isChecked());
}

TEST(WindowRecording, ALockedTableIsReportedAndTheMeterStillShows)
{
    Window first;
    Window second({ModelSelector::IFOR210}, first.dir.path());
    ASSERT_EQ(second.messages.size(), 1u);
    EXPECT_EQ(second.messages[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(second.w->readingTable()->isOpen());
    EXPECT_FALSE(second.w->recordingState->isHidden());
    second.feed(encodeOr200(volts('1', '2', '3', '4')));
    EXPECT_EQ(second.w->currentReading().value, "1.234");
    EXPECT_EQ(second.w->Chtshow->pointCount(), 2);
    EXPECT_EQ(second.messages.size(), 1u);
}

// ---- Chart and layout ----

TEST(WindowChart, SaveWritesTheBitmapBeforeSayingSo)
{
    Window win;
    win.w->BtSaveClick();
    const QString path = win.dir.filePath(QStringLiteral("databmp.bmp"));
    ASSERT_EQ(win.messages.size(), 1u);
    EXPECT_EQ(win.messages[0].text, QStringLiteral("graphic has saved on ") + path);
    EXPECT_TRUE(QFileInfo::exists(path));

    win.w->setBitmapPath(win.dir.filePath(QStringLiteral("missing/folder/databmp.bmp")));
    win.w->BtSaveClick();
    ASSERT_EQ(win.messages.size(), 2u);
    EXPECT_EQ(win.messages[1].icon, QMessageBox::Critical);
}

TEST(WindowLayout, ResizeRuleLaysOutGaugeChartAndGrid)
{
    Window win;
    TFCOMM &w = *win.w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.centralWidget()->size(), QSize(615, 409));
    EXPECT_EQ(w.Chtshow->geometry(), QRect(292, 175, 320, 226));
    // Outer size 622 x 457 as the layout's window measured it.
    EXPECT_EQ(w.KD->size(), QSize(319, 137));
    const int extra = w.height() - w.centralWidget()->height();
    w.resize(815, 509 + extra);
    QTest::qWait(50);
    // Outer size 822 x 557: h = 470.
    EXPECT_EQ(w.KD->size(), QSize(519, 174));
    EXPECT_EQ(w.Chtshow->geometry(), QRect(292, 212, 520, 287));
    EXPECT_EQ(w.DBGrid1->height(), 246);
    EXPECT_EQ(w.BtExit->x(), 742);
    EXPECT_EQ(w.BTCon->x(), 632);
}

TEST(WindowLayout, ResizingKeepsTheNeedleOnTheLastReading)
{
    Window win;
    TFCOMM &w = *win.w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    win.feed(encodeOr200(volts('3', '0', '0', '0')));
    const GaugeNeedle shown = w.KD->lastNeedle();
    const int gaugeZero = w.range().GaugeZero;
    const int span = w.range().GaugeSpan;
    ASSERT_NE(shown.tip, w.KD->scaleGeometry().needle(gaugeZero, false, span).tip);

    // No frame arrives while the window is resized (the meter is off or disconnected).
    const QSize normal = w.size();
    w.resize(normal + QSize(200, 100));
    QTest::qWait(50);
    EXPECT_NE(w.KD->lastNeedle().tip, w.KD->scaleGeometry().needle(gaugeZero, false, span).tip);
    w.resize(normal);
    QTest::qWait(50);
    EXPECT_EQ(w.KD->lastNeedle().tip, shown.tip);
    EXPECT_EQ(w.KD->lastNeedle().inner, shown.inner);
}

TEST(WindowChart, AnEmptyPageSizeIsReportedUntilANumberIsTypedAgain)
{
    Window win;
    TFCOMM &w = *win.w;
    w.Chtshow->Maxrecord->setText(QStringLiteral("0"));
    w.Chtshow->Maxrecord->setText(QString());
    const QString complaint = QStringLiteral("'' is not a valid integer value");
    EXPECT_EQ(w.statusText(), complaint);
    EXPECT_EQ(w.Chtshow->pointsPerPage(), 0);
    // Frames do not take the box's complaint away; a frame's own complaint shows over it and goes
    // with the next good frame.
    win.feed(encodeOr200(volts('1', '2', '3', '4')));
    EXPECT_EQ(w.statusText(), complaint);
    win.feed(encodeOr200(volts('1', '2', 'L', '4')));
    EXPECT_EQ(w.statusText(), QStringLiteral("'12@4' is not a valid integer value"));
    win.feed(encodeOr200(volts('1', '2', '3', '4')));
    EXPECT_EQ(w.statusText(), complaint);
    w.Chtshow->Maxrecord->setText(QStringLiteral(" 5"));
    EXPECT_EQ(w.statusText(), QStringLiteral("' 5' is not a valid integer value"));
    w.Chtshow->Maxrecord->setText(QStringLiteral("5"));
    EXPECT_TRUE(w.statusText().isEmpty());
    EXPECT_EQ(w.Chtshow->pointsPerPage(), 5);
    EXPECT_TRUE(win.messages.empty());
}

TEST(WindowRecording, EachRecordLimitItemSetsItsLimitAndAloneIsChecked)
{
    Window win;
    TFCOMM &w = *win.w;
    const std::vector<std::pair<QAction *, int>> items = {{w.N10001, 1000},     {w.N50001, 5000},
                                                          {w.N100001, 10000},   {w.N500001, 50000},
                                                          {w.N1000001, 100000}, {w.limitess, 10000000}};
    for (const auto &[item, limit] : items) {
        item->trigger();
        EXPECT_EQ(w.RecordLimit(), limit) << item->text().toStdString();
        for (const auto &other : items)
            EXPECT_EQ(other.first->isChecked(), other.first == item) << item->text().toStdString();
    }
}

TEST(WindowRecording, TheIntervalBoxRefusesPastedTextThatDoesNotConvert)
{
    Window win;
    QLineEdit *box = win.w->RecordSITime;
    for (const char *pasted : {"1 0", "-5", "+1", "1e3", "1234567890"}) {
        box->setText(QStringLiteral("7"));
        box->selectAll();
        box->insert(QString::fromUtf8(pasted));
        EXPECT_EQ(box->text(), QStringLiteral("7")) << pasted;
    }
}

TEST(WindowRecording, TheCountBoxesDropDigitsTypedWithACommandModifier)
{
    Window win;
    for (QLineEdit *box : {win.w->RecordSITime, win.w->Chtshow->Maxrecord}) {
        box->setText(QStringLiteral("1"));
        for (Qt::KeyboardModifiers held : {Qt::MetaModifier, Qt::AltModifier, Qt::ControlModifier})
            QTest::keyClick(box, '5', held);
        QTest::keyClick(box, '6');
        EXPECT_EQ(box->text(), QStringLiteral("16")) << box->objectName().toStdString();
    }
}

TEST(WindowFiles, OpenSaveAndPrintAskTheWindowForFileNames)
{
    Window win;
    TFCOMM &w = *win.w;
    win.feed(encodeOr200(volts('1', '2', '3', '4')));
    std::vector<FileRequest> asked;
    QString answer = win.dir.filePath(QStringLiteral("copy.db"));
    w.setFileHook([&](const FileRequest &request) {
        asked.push_back(request);
        return answer;
    });
    w.saveasClick();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, FileRequest::Kind::Save);
    EXPECT_EQ(asked[0].defaultSuffix, QStringLiteral("xls"));
    EXPECT_TRUE(QFileInfo::exists(answer));

    w.SpeedButton2Click();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].kind, FileRequest::Kind::Open);
    EXPECT_EQ(w.readingTable()->fileName(), answer);
    EXPECT_EQ(w.readingTable()->rowCount(), 1);

    answer.clear(); // Cancel: nothing is opened or written
    w.SpeedButton2Click();
    w.saveasClick();
    EXPECT_EQ(asked.size(), 4u);
    EXPECT_EQ(w.readingTable()->fileName(), win.dir.filePath(QStringLiteral("copy.db")));
    EXPECT_TRUE(win.messages.empty());
}

TEST(WindowChart, FrequencyModeSwitchesTheGaugeScaleAndTheAxis)
{
    Window win;
    TFCOMM &w = *win.w;
    Or200Display hz = volts('1', '0', '0', '0');
    hz.volt = false;
    hz.dc = false;
    hz.hertz = true;
    hz.kilo = true;
    win.feed(encodeOr200(hz));
    EXPECT_EQ(w.currentReading().unit, "kHz");
    EXPECT_TRUE(w.HzMode());
    EXPECT_TRUE(w.KD->inputs().HzMode);
    EXPECT_EQ(w.Chtshow->axisMin(), -5000);
    EXPECT_EQ(w.Chtshow->axisMax(), 5000);
    win.feed(encodeOr200(volts('1', '0', '0', '0')));
    EXPECT_FALSE(w.KD->inputs().HzMode);
    EXPECT_EQ(w.Chtshow->axisMax(), 4000);
}

// ---- Data files ----

TEST(WindowFiles, TextIsNeverWrittenOverTheOpenTablesFile)
{
    Window win;
    TFCOMM &w = *win.w;
    win.feed(encodeOr200(volts('1', '0', '0', '0')));
    const QString working = w.readingTable()->fileName();
    const QByteArray contents = fileBytes(working);

    w.saveDataFile(working);
    ASSERT_EQ(win.messages.size(), 1u);
    EXPECT_TRUE(win.messages[0].text.startsWith(QStringLiteral("Could not save table to specified file: ") +
                                                working + QLatin1Char('\n')))
        << win.messages[0].text.toStdString();
    EXPECT_EQ(fileBytes(working), contents);
    EXPECT_EQ(w.readingTable()->rowCount(), 1);
}

TEST(WindowFiles, SavesAndReopensTablesAndKeepsTheTableWhenAFileIsRefused)
{
    Window win;
    TFCOMM &w = *win.w;
    win.feed(encodeOr200(volts('1', '0', '0', '0')));
    win.feed(encodeOr200(volts('2', '0', '0', '0')));

    const QString text = win.dir.filePath(QStringLiteral("run.xls"));
    w.saveDataFile(text);
    ASSERT_EQ(win.messages.size(), 1u);
    EXPECT_EQ(win.messages[0].text,
              QStringLiteral("save table to specified file: ") + text + QStringLiteral(" Scuss!"));
    QFile exported(text);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_TRUE(exported.readAll().startsWith("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n"));
    EXPECT_EQ(w.DBGrid1->currentIndex().row(), 1);

    // A copy is written silently and reopens with its rows; recording goes on into it.
    const QString copy = win.dir.filePath(QStringLiteral("run.db"));
    w.saveDataFile(copy);
    EXPECT_EQ(win.messages.size(), 1u);
    ASSERT_TRUE(w.openDataFile(copy));
    EXPECT_EQ(w.readingTable()->rowCount(), 2);
    win.feed(encodeOr200(volts('3', '0', '0', '0')));
    EXPECT_EQ(w.readingTable()->rowCount(), 3);
    EXPECT_EQ(w.readingTable()->fieldText(2, TableColumn::No), QStringLiteral("3"));

    // A file that is not a table is refused and the open table stays as it was, unsaved row included.
    w.openDataFile(text);
    ASSERT_EQ(win.messages.size(), 2u);
    EXPECT_EQ(win.messages[1].icon, QMessageBox::Critical);
    EXPECT_TRUE(w.readingTable()->isOpen());
    EXPECT_EQ(w.readingTable()->rowCount(), 3);
}

// The working table's file stays a table whichever table is open: text saved under its name, in
// any spelling, is refused, and the next start opens the file as before.
TEST(WindowFiles, TextIsNeverWrittenOverTheWorkingTableWhileASavedTableIsOpen)
{
    Window win;
    TFCOMM &w = *win.w;
    win.feed(encodeOr200(volts('1', '0', '0', '0')));
    const QString working = w.readingTable()->fileName();
    const QByteArray contents = fileBytes(working);
    const QString copy = win.dir.filePath(QStringLiteral("copy.db"));
    w.saveDataFile(copy);
    ASSERT_TRUE(w.openDataFile(copy));

    for (const char *name : {"Vs500db.DB", "VS500DB.DB"}) {
        const QString target = win.dir.filePath(QLatin1String(name));
        win.messages.clear();
        w.saveDataFile(target);
        ASSERT_EQ(win.messages.size(), 1u) << name;
        EXPECT_TRUE(win.messages[0].text.startsWith(
            QStringLiteral("Could not save table to specified file: ") + target + QLatin1Char('\n')))
            << win.messages[0].text.toStdString();
        EXPECT_TRUE(win.messages[0].text.contains(QLatin1String("working table")));
    }
    EXPECT_EQ(fileBytes(working), contents);

    w.openDataFile(copy); // lets go of nothing but the copy
    Window next({ModelSelector::IFOR210}, win.dir.path());
    EXPECT_TRUE(next.messages.empty());
    EXPECT_EQ(next.w->readingTable()->fileName(), working);
}

// Cancelling an open or a save leaves the table with its unsaved rows, and the files, as they were.
TEST(WindowFiles, CancellingLongWorkLeavesTheTableAndTheFiles)
{
    Window win;
    TFCOMM &w = *win.w;
    const QString big = win.dir.filePath(QStringLiteral("big.db"));
    const QString other = win.dir.filePath(QStringLiteral("other.db"));
    {
        QTemporaryDir folder;
        TableStore source;
        ASSERT_TRUE(source.openWorkingTable(folder.path()));
        RowInput row;
        row.value = "1.000";
        for (int i = 1; i <= 5000; ++i) {
            row.no = i;
            source.appendRow(row);
        }
        ASSERT_TRUE(CopyTableToFile(source, big));
        ASSERT_TRUE(CopyTableToFile(source, other));
    }
    ASSERT_TRUE(w.openDataFile(big));
    win.feed(encodeOr200(volts('1', '0', '0', '0')));
    ASSERT_EQ(w.readingTable()->rowCount(), 5001);

    QStringList labels;
    w.setProgressHook([&](const QString &label, int64_t, int64_t) {
        labels << label.section(QLatin1Char(' '), 0, 0);
        return false;
    });
    EXPECT_FALSE(w.openDataFile(other));
    w.saveDataFile(win.dir.filePath(QStringLiteral("run.xls")));
    w.saveDataFile(win.dir.filePath(QStringLiteral("run.db")));
    EXPECT_EQ(labels.first(), QStringLiteral("Opening"));
    EXPECT_EQ(labels.last(), QStringLiteral("Saving"));
    EXPECT_TRUE(win.messages.empty());
    EXPECT_EQ(w.readingTable()->fileName(), big);
    EXPECT_EQ(w.readingTable()->rowCount(), 5001);
    const QStringList files = QDir(win.dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    EXPECT_EQ(files, (QStringList{QStringLiteral("Vs500db.DB"), QStringLiteral("big.db"),
                                  QStringLiteral("other.db")}))
        << files.join(QLatin1Char(' ')).toStdString();
}

TEST(WindowLayout, ShrinkingAndGrowingKeepsTheChartBesideTheGauge)
{
    Window win;
    TFCOMM &w = *win.w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QSize normal = w.size();
    // A small window puts the chart's top above the line the resize rule takes for "enlarged".
    w.resize(330, 215);
    QTest::qWait(50);
    ASSERT_LT(w.Chtshow->y(), 100);
    w.resize(normal);
    QTest::qWait(50);
    EXPECT_EQ(w.Chtshow->geometry(), QRect(292, 175, 320, 226));
    EXPECT_FALSE(w.Chtshow->TbFd->isHidden());
}

namespace {

using Choice = WindowPrompts::Choice;

// Records two readings, so the table holds unsaved rows.
void recordTwo(Window &win)
{
    win.feed(encodeOr200(volts('1', '0', '0', '0')));
    win.feed(encodeOr200(volts('2', '0', '0', '0')));
}

// Exit asks the application to quit; a later test's event loops must still run.
void drainQuit()
{
    QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
}

} // namespace

TEST(WindowUnsaved, EveryWayOutAsksAndFollowsTheAnswer)
{
    const QString question = QStringLiteral("2 readings are not saved. Save them before closing?");
    const struct Way
    {
        const char *name;
        std::function<bool(Window &)> leave; // true when the window went on to close or open
    } ways[] = {
        {"Exit",
         [](Window &win) {
             win.w->BtExit1Click();
             const bool left = !win.w->readingTable()->isOpen();
             if (left)
                 drainQuit();
             return left;
         }},
        {"close",
         [](Window &win) {
             return win.w->close();
         }},
        {"logout",
         [](Window &win) {
             return win.w->sessionEnding(true);
         }},
        {"open another table",
         [](Window &win) {
             QFile other(win.dir.filePath(QStringLiteral("other.db")));
             return QFile::copy(win.dir.filePath(QStringLiteral("Vs500db.DB")), other.fileName()) &&
                    win.w->openDataFile(other.fileName());
         }},
    };
    for (const Way &way : ways) {
        for (Choice answer : {Choice::Cancel, Choice::Discard, Choice::Save}) {
            SCOPED_TRACE(std::string(way.name) + " answered " + std::to_string(int(answer)));
            Window win;
            win.w->show();
            recordTwo(win);
            win.answer = answer;
            const QString saved = win.dir.filePath(QStringLiteral("kept.db"));
            win.w->setFileHook([&](const FileRequest &) { return saved; });
            const bool left = way.leave(win);
            EXPECT_EQ(win.questions, QStringList{question});
            EXPECT_EQ(left, answer != Choice::Cancel);
            EXPECT_EQ(QFileInfo::exists(saved), answer == Choice::Save);
            if (answer == Choice::Cancel) {
                EXPECT_EQ(win.w->readingTable()->unsavedRowCount(), 2);
            }
        }
    }
}

TEST(WindowUnsaved, NothingIsAskedWhenEverythingIsSaved)
{
    Window win;
    recordTwo(win);
    win.w->saveDataFile(win.dir.filePath(QStringLiteral("run.db")));
    EXPECT_TRUE(win.w->close());
    Window empty;
    EXPECT_TRUE(empty.w->close());
    EXPECT_TRUE(win.questions.isEmpty());
    EXPECT_TRUE(empty.questions.isEmpty());
}

TEST(WindowUnsaved, ReadingsLeftByARunAreOfferedAtTheNextStart)
{
    QTemporaryDir folder;
    const QString recovery = folder.filePath(QStringLiteral("Vs500db-recovery.db"));
    {
        // A run that ends without a word from the user (as after a kill) keeps its readings there.
        Window run({ModelSelector::IFOR210}, folder.path());
        recordTwo(run);
    }
    ASSERT_TRUE(QFileInfo::exists(recovery));

    // Later keeps the file, and the next run records into a file of its own.
    Window later({ModelSelector::IFOR210}, folder.path());
    later.answer = Choice::Later;
    later.w->offerRecovery();
    ASSERT_EQ(later.questions.size(), 1);
    EXPECT_TRUE(later.questions[0].startsWith(QStringLiteral("2 readings recorded on ")))
        << later.questions[0].toStdString();
    recordTwo(later);
    later.w.reset(); // ends without a word, as at a signal

    EXPECT_TRUE(QFileInfo::exists(recovery));
    EXPECT_TRUE(QFileInfo::exists(folder.filePath(QStringLiteral("Vs500db-recovery-2.db"))));

    // Save… saves the first file's readings; Discard drops the second's.
    Window next({ModelSelector::IFOR210}, folder.path());
    QList<Choice> answers = {Choice::Save, Choice::Discard};
    next.w->setChoiceHook([&](const QString &, const QList<Choice> &) { return answers.takeFirst(); });
    const QString saved = folder.filePath(QStringLiteral("recovered.db"));
    next.w->setFileHook([&](const FileRequest &) { return saved; });
    next.w->offerRecovery();
    EXPECT_TRUE(answers.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(recovery));
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("Vs500db-recovery-2.db"))));
    TableStore copy;
    ASSERT_TRUE(copy.openFile(saved)) << copy.lastError().toStdString();
    EXPECT_EQ(copy.rowCount(), 2);
    EXPECT_EQ(copy.fieldText(1, TableColumn::Value), QStringLiteral("2.000"));
}

TEST(WindowUnsaved, ADamagedRecoveryFileIsSetAsideWithAMessage)
{
    QTemporaryDir folder;
    QFile damaged(folder.filePath(QStringLiteral("Vs500db-recovery.db")));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(3000, 'x'));
    damaged.close();
    Window win({ModelSelector::IFOR210}, folder.path());
    win.w->offerRecovery();
    EXPECT_TRUE(win.questions.isEmpty());
    ASSERT_EQ(win.messages.size(), 1u);
    EXPECT_TRUE(win.messages[0].text.contains(QStringLiteral("It was renamed to ")))
        << win.messages[0].text.toStdString();
    EXPECT_TRUE(QFileInfo::exists(damaged.fileName() + QStringLiteral(".damaged")));
}

TEST(WindowUnsaved, ARecoveryFileThatCannotBeWrittenIsSaidOnceAndRecordingGoesOn)
{
    QTemporaryDir parent;
    const QString folder = parent.filePath(QStringLiteral("run"));
    ASSERT_TRUE(QDir().mkpath(folder));
    Window win({ModelSelector::IFOR210}, folder);
    // The folder goes away under the running program; the open table still records.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    recordTwo(win);
    QTest::qWait(UnsavedReadings::kCommitDelayMs + 200);
    win.feed(encodeOr200(volts('3', '0', '0', '0')));
    QTest::qWait(UnsavedReadings::kCommitDelayMs + 200);
    EXPECT_TRUE(win.w->statusText().startsWith(QStringLiteral("Crash protection is off: ")))
        << win.w->statusText().toStdString();
    EXPECT_TRUE(win.messages.empty()) << "no box";
    EXPECT_EQ(win.w->readingTable()->rowCount(), 3);
    win.answer = Choice::Cancel;
    EXPECT_FALSE(win.w->close());
    EXPECT_EQ(win.questions.size(), 1);
}

// ---- Accessibility ----

TEST(WindowAccessibility, EachFamilysFrameIsSpokenByTheLcdGaugeAndReadouts)
{
    Vs500Display kilohms;
    kilohms.function = 0x3;
    kilohms.range = 1;
    kilohms.digits[0] = 3;
    kilohms.digits[1] = 3;
    kilohms.statusC = 0x8; // DC, manual range
    const struct
    {
        ModelSelector model;
        std::vector<uint8_t> frame;
        const char *reading;
        const char *unit;
    } rows[] = {
        {ModelSelector::IFOR210, encodeOr200(volts('1', '2', '3', '4')), "1.234 volt DC AUTO", "volt"},
        {ModelSelector::IFOR250, encodeVs500(kilohms), "3.300 kilohm DC", "kilohm"},
    };
    const auto said = [](QWidget *widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.reading);
        Window win({row.model});
        TFCOMM &w = *win.w;
        EXPECT_EQ(said(w.Panel1), QStringLiteral("no reading"));
        // Twice: the first frame resets MIN/MAX, the second is both extremes.
        win.feed(row.frame);
        win.feed(row.frame);
        EXPECT_EQ(said(w.Panel1), QLatin1String(row.reading));
        EXPECT_EQ(QAccessible::queryAccessibleInterface(w.Panel1)->childCount(), 0)
            << "digits not read one by one";
        EXPECT_EQ(said(w.KD), QStringLiteral("Gauge: ") + QLatin1String(row.reading));
        const QString extreme = QString::fromLatin1(row.reading).section(QLatin1Char(' '), 0, 0) +
                                QLatin1Char(' ') + QLatin1String(row.unit);
        EXPECT_EQ(said(w.Panel3->MinText), QStringLiteral("MIN ") + extreme);
        EXPECT_EQ(said(w.Panel3->MaxText), QStringLiteral("MAX ") + extreme);
        EXPECT_EQ(said(w.Panel3->MaxTextU), QLatin1String(row.unit));
    }
}

TEST(WindowUnsaved, DiscardDropsWhatItCountedAndReadingsAfterTheAnswerAreCarriedForTheNextStart)
{
    Window win;
    recordTwo(win);
    // A saved table whose numbers run higher than this run's.
    const QString other = win.dir.filePath(QStringLiteral("other.db"));
    {
        QTemporaryDir scratch;
        TableStore table;
        ASSERT_TRUE(table.openWorkingTable(scratch.path()));
        RowInput row;
        row.no = 500;
        row.timeMs = 0;
        row.value = "1.000";
        ASSERT_TRUE(table.appendRow(row));
        ASSERT_TRUE(CopyTableToFile(table, other));
    }
    win.w->setChoiceHook([&](const QString &text, const QList<Choice> &) {
        win.questions << text;
        // Recording goes on while the question waits.
        for (char d : {'3', '4', '5'})
            win.feed(encodeOr200(volts(d, '0', '0', '0')));
        return Choice::Discard;
    });
    ASSERT_TRUE(win.w->openDataFile(other));
    EXPECT_EQ(win.questions,
              QStringList{QStringLiteral("2 readings are not saved. Save them before closing?")});
    ASSERT_EQ(win.messages.size(), 1u);
    EXPECT_TRUE(win.messages[0].text.startsWith(
        QStringLiteral("3 readings recorded while the table was being chosen and opened are not in it")))
        << win.messages[0].text.toStdString();
    TableStore carried;
    ASSERT_TRUE(carried.openFile(win.dir.filePath(QStringLiteral("Vs500db-recovery.db"))))
        << carried.lastError().toStdString();
    ASSERT_EQ(carried.rowCount(), 3);
    for (int64_t r = 0; r < 3; ++r)
        EXPECT_EQ(carried.fieldText(r, TableColumn::No), QString::number(r + 3));
    // The table opened goes on after its highest number.
    win.feed(encodeOr200(volts('6', '0', '0', '0')));
    EXPECT_EQ(win.w->readingTable()->fieldText(1, TableColumn::No), QStringLiteral("501"));
}

TEST(WindowUnsaved, ARemovedRecoveryFileIsSaidAndWrittenAgainWithEveryUnsavedReading)
{
    const struct
    {
        const char *name;
        bool folderGoes;       // the whole folder goes, and comes back later
        const char *rewritten; // where the readings are then
        const char *said;
    } cases[] = {
        {"folder removed", true, "Vs500db-recovery.db", "Crash protection is back"},
        {"file replaced", false, "Vs500db-recovery-2.db", "The recovery file in "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir parent;
        const QString folder = parent.filePath(QStringLiteral("run"));
        ASSERT_TRUE(QDir().mkpath(folder));
        Window win({ModelSelector::IFOR210}, folder);
        const QString first = QDir(folder).filePath(QStringLiteral("Vs500db-recovery.db"));
        recordTwo(win);
        ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(first); }));
        if (c.folderGoes) {
            ASSERT_TRUE(QDir(folder).removeRecursively());
            ASSERT_TRUE(waitFor(
                [&] { return win.w->statusText().startsWith(QStringLiteral("Crash protection is off: ")); }));
            EXPECT_TRUE(win.w->statusText().contains(QDir::toNativeSeparators(folder)));
            win.feed(encodeOr200(volts('3', '0', '0', '0')));
            ASSERT_TRUE(QDir().mkpath(folder));
        } else {
            ASSERT_TRUE(QFile::remove(first));
            QFile stranger(first);
            ASSERT_TRUE(stranger.open(QIODevice::WriteOnly));
            stranger.write("someone else's");
            stranger.close();
        }
        ASSERT_TRUE(waitFor([&] { return win.w->statusText().startsWith(QLatin1String(c.said)); }))
            << win.w->statusText().toStdString();
        EXPECT_TRUE(win.messages.empty()) << "no box";
        win.w.reset(); // ends without a word, as at a kill: the file keeps what was pending
        TableStore kept;
        ASSERT_TRUE(kept.openFile(QDir(folder).filePath(QLatin1String(c.rewritten))))
            << kept.lastError().toStdString();
        EXPECT_EQ(kept.rowCount(), c.folderGoes ? 3 : 2);
        if (!c.folderGoes) {
            QFile stranger(first);
            ASSERT_TRUE(stranger.open(QIODevice::ReadOnly));
            EXPECT_EQ(stranger.readAll(), QByteArray("someone else's")) << "another's file is left alone";
        }
    }
}

TEST(WindowUnsaved, WhileFramesStreamTheRecoveryCommitComesWithAFrame)
{
    const struct
    {
        int waitMs; // after the first reading, without events
        bool committed;
    } cases[] = {{0, false}, {UnsavedReadings::kCommitWithFrameMs, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.waitMs);
        Window win;
        const QString file = win.dir.filePath(QStringLiteral("Vs500db-recovery.db"));
        win.feed(encodeOr200(volts('1', '0', '0', '0')));
        QThread::msleep(c.waitMs);
        win.feed(encodeOr200(volts('2', '0', '0', '0')));
        EXPECT_EQ(QFileInfo::exists(file), c.committed);
        // Otherwise the timer commits them.
        EXPECT_TRUE(waitFor([&] { return QFileInfo::exists(file); }));
    }
}

// ---- Keyboard ----

TEST(WindowKeyboard, TabReachesEveryControlThatTakesAClick)
{
    Window win;
    TFCOMM &w = *win.w;
    // Enough points for three pages, so that every paging button is enabled.
    w.Chtshow->Maxrecord->setText(QStringLiteral("2"));
    for (int i = 0; i < 5; ++i)
        w.Chtshow->addPoint(i);
    w.Chtshow->BTPreviousClick();
    // More cells in the grid than Tab presses: Tab passes through it instead of from cell to cell.
    for (char tens = '0'; tens <= '2'; ++tens) {
        for (char units = '0'; units <= '9'; ++units)
            win.feed(encodeOr200(volts('1', '2', tens, units)));
    }
    ASSERT_TRUE(
        waitFor([&] { return w.DBGrid1->model()->rowCount() * w.DBGrid1->model()->columnCount() > 80; }));
    ASSERT_TRUE(win.showActive());

    QSet<QWidget *> reached;
    for (int i = 0; i < 80; ++i) {
        QWidget *focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        reached.insert(focused);
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    const QList<QWidget *> clickable = {w.BtCOM[0],
                                        w.BTCon,
                                        w.BtExit,
                                        w.Panel3->SetMaxB,
                                        w.Panel3->Setmax,
                                        w.Panel3->SetMinB,
                                        w.Panel3->SetMin,
                                        w.RepeatSet,
                                        w.RecordSI,
                                        w.RecordSITime,
                                        w.RecordNew,
                                        w.OpenDataFiles,
                                        w.saveas,
                                        w.BtPrint,
                                        w.DBGrid1,
                                        w.Chtshow->BtFill,
                                        w.Chtshow->Maxrecord,
                                        w.Chtshow->BtNew,
                                        w.Chtshow->BtSave,
                                        w.Chtshow->BtFirst,
                                        w.Chtshow->BTPrevious,
                                        w.Chtshow->BtNext,
                                        w.Chtshow->BTlast,
                                        w.Chtshow->TbFd};
    for (QWidget *control : clickable)
        EXPECT_TRUE(reached.contains(control)) << control->objectName().toStdString();
}

TEST(WindowKeyboard, TabLeavesTheGridArrowsMoveInsideAndAnEmptyGridShowsItsFocus)
{
    Window win;
    TFCOMM &w = *win.w;
    ASSERT_TRUE(win.showActive());
    w.BtPrint->setFocus(Qt::TabFocusReason);
    const QImage unfocused = w.DBGrid1->grab().toImage();
    w.DBGrid1->setFocus(Qt::TabFocusReason);
    EXPECT_NE(w.DBGrid1->grab().toImage(), unfocused);

    for (char d : {'1', '2', '3'})
        win.feed(encodeOr200(volts('1', '2', '3', d)));
    ASSERT_TRUE(waitFor([&] { return w.DBGrid1->model()->rowCount() == 3; }));
    const struct
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } leaving[] = {
        {Qt::Key_Tab, Qt::NoModifier},
        {Qt::Key_Backtab, Qt::ShiftModifier},
        {Qt::Key_Tab, Qt::ControlModifier},
        {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier},
    };
    for (const auto &k : leaving) {
        w.DBGrid1->setFocus(Qt::TabFocusReason);
        w.DBGrid1->setCurrentIndex(w.DBGrid1->model()->index(1, 1));
        QTest::keyClick(w.DBGrid1, k.key, k.modifiers);
        EXPECT_NE(QApplication::focusWidget(), w.DBGrid1) << k.key << " " << k.modifiers.toInt();
    }
    w.DBGrid1->setFocus(Qt::TabFocusReason);
    w.DBGrid1->setCurrentIndex(w.DBGrid1->model()->index(0, 0));
    QTest::keyClick(w.DBGrid1, Qt::Key_Down);
    QTest::keyClick(w.DBGrid1, Qt::Key_Right);
    EXPECT_EQ(QApplication::focusWidget(), w.DBGrid1);
    EXPECT_EQ(w.DBGrid1->currentIndex(), w.DBGrid1->model()->index(1, 1));
}

TEST(WindowKeyboard, ACaptionPanelWithTheFocusDrawsAFrameAndClicksOnSpace)
{
    Window win;
    TFCOMM &w = *win.w;
    ASSERT_TRUE(win.showActive());
    CaptionPanel *panel = w.BtCOM[0];
    w.BTCon->setFocus(Qt::TabFocusReason);
    const QImage unfocused = panel->grab().toImage();
    panel->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(panel->hasFocus());
    EXPECT_NE(panel->grab().toImage(), unfocused);
    QTest::keyClick(panel, Qt::Key_Space);
    EXPECT_EQ(w.COMM2->ComPort(), pnCOM2);
}

TEST(WindowKeyboard, MenusOpenWithAltAndTheirLetterAndWithF10)
{
    Window win;
    TFCOMM &w = *win.w;
    ASSERT_TRUE(win.showActive());
    const struct
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QMenu *menu;
    } rows[] = {
        {Qt::Key_C, Qt::AltModifier, w.ComSetup1},  {Qt::Key_O, Qt::AltModifier, w.Connect1},
        {Qt::Key_G, Qt::AltModifier, w.Graphic},    {Qt::Key_R, Qt::AltModifier, w.RecordMenu},
        {Qt::Key_F10, Qt::NoModifier, w.ComSetup1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.menu->objectName().toStdString());
        QTest::keyClick(&w, row.key, row.modifiers);
        EXPECT_TRUE(waitFor([&] { return row.menu->isVisible(); }, 2000));
        row.menu->close();
        QTest::keyClick(&w, Qt::Key_Escape);
        ASSERT_TRUE(waitFor([&] { return !row.menu->isVisible(); }, 2000));
    }
    // The captions read as before; the ampersand only underlines the letter.
    EXPECT_EQ(w.ComSetup1->title().remove(QLatin1Char('&')), QStringLiteral("ComSetup"));
    EXPECT_EQ(w.EXIT1->text().remove(QLatin1Char('&')), QStringLiteral("Exit"));
}

TEST(WindowKeyboard, UsualShortcutsOpenSaveNewAndPrint)
{
    Window win;
    TFCOMM &w = *win.w;
    EXPECT_EQ(w.New1->shortcut(), QKeySequence(QKeySequence::New));
    EXPECT_EQ(w.Save1->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(w.BtPrint->shortcut(), QKeySequence(QKeySequence::Print));
    ASSERT_TRUE(win.showActive());
    std::vector<FileRequest::Kind> asked;
    w.setFileHook([&asked](const FileRequest &request) {
        asked.push_back(request.kind);
        return QString();
    });
    // A button's shortcut clicks it visibly, a moment later.
    QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(waitFor([&asked] { return asked.size() == 1; }, 2000));
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(asked, (std::vector<FileRequest::Kind>{FileRequest::Kind::Open, FileRequest::Kind::Save}));
    QTest::keyClick(&w, Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(win.messages.size(), 1u);
    EXPECT_EQ(win.messages[0].text, QStringLiteral(" Record deleted "));
}

TEST(WindowPorts, ComItemsAndPanelsShowTheDeviceTheyStandFor)
{
    QTemporaryDir dir;
    const QString gone = dir.filePath(QStringLiteral("ttyGone"));
    qputenv("METERLINK_COM3", QFile::encodeName(gone));
    Window win;
    qunsetenv("METERLINK_COM3");
    const QString hint = gone + QStringLiteral(": not present");
    EXPECT_EQ(win.w->COM31->toolTip(), hint);
    EXPECT_EQ(win.w->BtCOM[2]->toolTip(), hint);
    EXPECT_TRUE(win.w->ComSetup1->toolTipsVisible());
    // Looked up again when shown: the variable is gone, so COM3 is the default device again.
    QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), QPoint(2, 2));
    QApplication::sendEvent(win.w->BtCOM[2], &tip);
    EXPECT_TRUE(win.w->BtCOM[2]->toolTip().startsWith(TSerialPortDriver::devicePathFor(pnCOM3)));
    EXPECT_NE(win.w->BtCOM[2]->toolTip(), hint);
}

TEST(WindowLayout, TheNarrowestWindowStillHoldsTheChartsControls)
{
    Window win;
    TFCOMM &w = *win.w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.resize(100, w.height());
    QTest::qWait(50);
    EXPECT_GE(w.Chtshow->width(), TrendChart::kControlsRowWidth);
    const QRect icon = w.Chtshow->TbFd->geometry();
    EXPECT_LE(icon.right(), w.Chtshow->width() - 1);
    EXPECT_FALSE(icon.intersects(w.Chtshow->Bt10->geometry()));
}

TEST(WindowRecording, TheHeadlessLoggerRecordsTheSameRowsAsTheWindow)
{
    QByteArray stream;
    for (long i = 0; i < 1500; ++i) {
        const std::vector<uint8_t> f = or200ScenarioFrame(i);
        stream.append(reinterpret_cast<const char *>(f.data()), qsizetype(f.size()));
    }
    const struct
    {
        bool repeat;
        bool limit1000;
        QStringList options;
    } cases[] = {
        {true, false, {}},
        {false, false, {QStringLiteral("--no-repeat-filter")}},
        {true, true, {QStringLiteral("--limit"), QStringLiteral("1000")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.options.join(QLatin1Char(' ')).toStdString());
        Window win;
        win.w->RepeatSet->setChecked(c.repeat);
        if (c.limit1000)
            win.w->N10001Click();
        else
            win.w->limitessClick();
        win.feed(std::vector<uint8_t>(stream.begin(), stream.end()));
        QProcess log;
        log.start(QStringLiteral(METERLINK_CLI_PATH),
                  QStringList{QStringLiteral("log"), QStringLiteral("--model"), QStringLiteral("IFOR210"),
                              QStringLiteral("--input"), QStringLiteral("-")} +
                      c.options);
        log.write(stream);
        log.closeWriteChannel();
        ASSERT_TRUE(log.waitForFinished(10000));
        const QList<QByteArray> lines = log.readAllStandardOutput().trimmed().split('\n');
        const TableStore &table = *win.w->readingTable();
        ASSERT_EQ(lines.size(), table.rowCount());
        for (int64_t row = 0; row < table.rowCount(); ++row) {
            // The logger's line: time, value, unit, DC/AC, Auto, Nval.
            const QList<QByteArray> f = lines[int(row)].split('\t');
            const QStringList expected = {
                table.fieldText(row, TableColumn::Value), table.fieldText(row, TableColumn::Unit),
                table.fieldText(row, TableColumn::DCAC), table.fieldText(row, TableColumn::AUTO)};
            const QStringList got = {QString::fromLatin1(f.value(1)), QString::fromLatin1(f.value(2)),
                                     QString::fromLatin1(f.value(3)), QString::fromLatin1(f.value(4))};
            ASSERT_EQ(got, expected) << "row " << row;
        }
    }
}

TEST(WindowPainting, StreamedFramesLeaveOnScreenWhatAFullRepaintShows)
{
    // Each frame repaints only what it changed; built up that way, the screen must show what painting
    // the whole window shows. The bar is left out: it repaints only steps wide enough to see, so on
    // screen it may stay a step behind.
    Window win;
    TFCOMM &w = *win.w;
    w.ConTimer->stop();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    if (QWidget *focus = QApplication::focusWidget())
        focus->clearFocus(); // no blinking cursor
    const QRect bar(w.PBar2->mapTo(&w, QPoint()), w.PBar2->size());
    auto withoutBar = [&bar](const QImage &image) {
        QImage copy = image.convertToFormat(QImage::Format_RGB32);
        QPainter(&copy).fillRect(bar, Qt::magenta);
        return copy;
    };
    // The scenario's cycle: drifting volts, a range change, negative volts, AC, ohms, an overload and
    // the frequency scale, over three pages of the chart.
    for (long i = 0; i < 240; ++i) {
        win.feed(or200ScenarioFrame(i));
        if (i % 3 != 0)
            w.readingModel()->flushPendingRows(); // rows reach the grid one or two at a time
        QCoreApplication::processEvents();
        if (i % 30 == 29) {
            // Frames this close together are painted at the screen's pace: the last pass comes a
            // moment later.
            QTest::qWait(2 * PaintPacer::kMaxDelayMs);
            const QImage screen = withoutBar(w.screen()->grabWindow(w.winId()).toImage());
            const QImage whole = withoutBar(w.grab().toImage());
            ASSERT_EQ(screen.size(), whole.size());
            EXPECT_TRUE(screen == whole) << "after frame " << i;
        }
    }
}
