#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

// A raw pseudo-terminal pair for serial tests: the slave path stands in for a serial device, the
// test plays the far end on the master. The helper keeps its own slave descriptor open, so the
// line exists until closeMaster() and its settings can be read back while another party has it.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Writes to the master without blocking; returns the count written (-1 on error).
    qint64 write(const QByteArray &bytes);
    // Writes everything, running the event loop while the line is full; false on error or timeout.
    bool writeAll(const QByteArray &bytes, int timeoutMs = 10000);
    // Whatever the slave side has sent to the master so far (never blocks).
    QByteArray readMaster();
    // Bytes written to the master that the slave side has not read yet.
    int pendingOnSlave() const;
    // The slave's current line settings.
    bool slaveSettings(termios *settings) const;
    bool setSlaveSettings(const termios &settings);
    // The far end goes away: the slave side is hung up.
    void closeMaster();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
