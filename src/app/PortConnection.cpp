#include "app/PortConnection.h"

#include "app/StatusLine.h"
#include "display/CaptionPanel.h"
#include "serial/PortInventory.h"
#include "serial/SerialDriver.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QTimer>

PortConnection::PortConnection(const PortControls &ui, StatusLine &status, ErrorSink showError,
                               QObject *parent)
    : QObject(parent), m_ui(ui), m_status(status), m_showError(std::move(showError))
{
    // A run that was killed leaves its lock on the port behind; it goes once the program is back.
    for (int port = pnCOM1; port <= pnCOM4; ++port)
        TSerialPortDriver::removeStaleLock(TSerialPortDriver::devicePathFor(TComPortNumber(port)));
    connect(m_ui.COMM2, &TSerialPortDriver::portLost, this,
            [this](const QString &message) { m_status.showPortNews(message); });
    connect(m_ui.COMM2, &TSerialPortDriver::portRestored, this, [this] {
        m_status.showPortNews(tr("%1: reconnected").arg(TSerialPortDriver::portName(m_ui.COMM2->ComPort())),
                              5000);
    });
    // Adapters come and go: the hints are looked up again whenever they are about to show.
    m_ui.ComSetup1->setToolTipsVisible(true);
    connect(m_ui.ComSetup1, &QMenu::aboutToShow, this, &PortConnection::refreshPortHints);
    for (CaptionPanel *panel : m_ui.BtCOM)
        panel->installEventFilter(this);
    refreshPortHints();
}

void PortConnection::refreshPortHints()
{
    const std::array<QAction *, 4> items = {m_ui.COM11, m_ui.COM21, m_ui.COM31, m_ui.COM41};
    const std::array<QString, 4> hints = comPortHints();
    for (size_t i = 0; i < hints.size(); ++i) {
        items[i]->setToolTip(hints[i]);
        m_ui.BtCOM[i]->setToolTip(hints[i]);
    }
}

bool PortConnection::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ToolTip)
        refreshPortHints();
    return QObject::eventFilter(watched, event);
}

void PortConnection::selectPort(int index)
{
    const std::array<QAction *, 4> items = {m_ui.COM11, m_ui.COM21, m_ui.COM31, m_ui.COM41};
    for (int i = 0; i < 4; ++i) {
        items[size_t(i)]->setChecked(i == index);
        m_ui.BtCOM[size_t(i)]->setVisible(i == index);
    }
    m_ui.COMM2->setComPort(static_cast<TComPortNumber>(index));
}

bool PortConnection::connectPort()
{
    // A port that cannot be opened is said so, and the window stays disconnected, rather than
    // showing a connection that delivers nothing.
    if (!m_ui.COMM2->Connect()) {
        m_ui.START1->setChecked(false);
        m_showError(m_ui.COMM2->lastErrorText());
        return false;
    }
    showConnected(true);
    return true;
}

void PortConnection::disconnectPort()
{
    showConnected(false);
    m_ui.COMM2->Disconnect();
    m_status.clearPortNews();
}

void PortConnection::showConnected(bool connected)
{
    m_ui.ComSetup1->menuAction()->setEnabled(!connected);
    m_ui.START1->setChecked(connected);
    m_ui.START1->setEnabled(!connected);
    m_ui.STOP1->setEnabled(connected);
    m_ui.STOP1->setChecked(!connected);
    m_ui.BTCon->setVisible(!connected);
    m_ui.BtDiscon->setVisible(connected);
    for (CaptionPanel *panel : m_ui.BtCOM)
        panel->setEnabled(!connected);
}

void PortConnection::frameArrived()
{
    m_ui.CONok->setVisible(true);
    m_ui.CONokN->setVisible(false);
    m_idleTicks = 0;
    if (m_linkTimer)
        m_linkTimer->start();
}

void PortConnection::linkTick()
{
    if (m_idleTicks == kIdleTicks) {
        m_ui.CONok->setVisible(false);
        m_ui.CONokN->setVisible(true);
        m_idleTicks = 0;
        if (m_linkTimer)
            m_linkTimer->stop();
    } else {
        ++m_idleTicks;
    }
}
