#include "support/PseudoTerminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    // A program the test starts must not hold the line open: closing the master is the unplug.
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    termios raw{};
    if (::tcgetattr(m_slave, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(m_slave, TCSANOW, &raw);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal()
{
    closeMaster();
}

qint64 PseudoTerminal::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return -1;
    const ssize_t written = ::write(m_master, bytes.constData(), size_t(bytes.size()));
    if (written < 0)
        return errno == EAGAIN ? 0 : -1;
    return written;
}

bool PseudoTerminal::writeAll(const QByteArray &bytes, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = write(bytes.mid(done));
        if (written < 0)
            return false;
        done += written;
        if (done < bytes.size()) {
            if (clock.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(2);
        }
    }
    return true;
}

QByteArray PseudoTerminal::readMaster()
{
    QByteArray result;
    if (m_master < 0)
        return result;
    char chunk[256];
    for (;;) {
        const ssize_t count = ::read(m_master, chunk, sizeof chunk);
        if (count <= 0)
            break;
        result.append(chunk, qsizetype(count));
    }
    return result;
}

int PseudoTerminal::pendingOnSlave() const
{
    int count = 0;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &count) != 0)
        return -1;
    return count;
}

bool PseudoTerminal::slaveSettings(termios *settings) const
{
    return m_slave >= 0 && ::tcgetattr(m_slave, settings) == 0;
}

bool PseudoTerminal::setSlaveSettings(const termios &settings)
{
    return m_slave >= 0 && ::tcsetattr(m_slave, TCSANOW, &settings) == 0;
}

void PseudoTerminal::closeMaster()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_master = m_slave = -1;
}
