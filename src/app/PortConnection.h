#pragma once

#include <QObject>

#include <array>
#include <functional>

class CaptionPanel;
class QAction;
class QLabel;
class QMenu;
class QTimer;
class StatusLine;
class TSerialPortDriver;

// The controls of the meter link, with the layout's names.
struct PortControls
{
    TSerialPortDriver *COMM2 = nullptr;
    QMenu *ComSetup1 = nullptr;
    QAction *COM11 = nullptr;
    QAction *COM21 = nullptr;
    QAction *COM31 = nullptr;
    QAction *COM41 = nullptr;
    QAction *START1 = nullptr; // Connect
    QAction *STOP1 = nullptr;  // Disconnect
    std::array<CaptionPanel *, 4> BtCOM{};
    CaptionPanel *BTCon = nullptr;
    CaptionPanel *BtDiscon = nullptr;
    QLabel *CONok = nullptr;  // frames arrive
    QLabel *CONokN = nullptr; // no frames
};

// The meter link as the window shows it: which of COM1..COM4 is chosen, Connect and Disconnect with
// the controls they enable, the link pictures that say whether frames arrive, and the port's news
// when a connected adapter goes away and comes back.
class PortConnection : public QObject
{
    Q_OBJECT

public:
    // Link-timer ticks without a frame after which the link picture says "no frames".
    static constexpr int kIdleTicks = 2;

    using ErrorSink = std::function<void(const QString &)>;
    PortConnection(const PortControls &ui, StatusLine &status, ErrorSink showError,
                   QObject *parent = nullptr);

    // 0..3 for COM1..COM4: checks its menu item and shows its panel.
    void selectPort(int index);
    // Opens the chosen port; a port that cannot be opened is said so and nothing changes.
    bool connectPort();
    void disconnectPort();

    // A complete frame arrived (whether it converted or not): the meter is talking.
    void frameArrived();
    // A tick of the link timer ConTimer. The timer runs only while the pictures say frames arrive:
    // each frame starts it afresh, so that it ticks only once frames stop (a meter streaming costs
    // no wakeups of its own), and the tick that turns the pictures back stops it.
    void linkTick();
    void setLinkTimer(QTimer *timer) { m_linkTimer = timer; }
    int idleTicks() const { return m_idleTicks; }

    // Shows, as the tooltip of each COM menu item and port panel, the device it stands for here.
    void refreshPortHints();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showConnected(bool connected);

    const PortControls m_ui;
    StatusLine &m_status;
    ErrorSink m_showError;
    int m_idleTicks = 0;
    QTimer *m_linkTimer = nullptr;
};
