// The headless logger's cost.
//
//   bench_log                 10M frames through decoding, recording and a table file: resident
//                             memory growth after the first million
//   bench_log --cpu [S]       meterlink-cli log reading a pseudo-terminal fed 174 frames/s for S
//                             seconds (default 20), recording every one: its share of one core
//   bench_log --cpu S --mqtt  the same, also publishing to a mosquitto of its own on 127.0.0.1, from
//                             the table (the outbox); the table's share of readings with a time of
//                             their own
//   bench_log --cpu S --text [--mqtt]  into a text file instead: the broker's queue in memory
#include "decode/FrameEncoders.h"
#include "logger/LogSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <pty.h>
#include <sqlite3.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

long residentKb()
{
    FILE *f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f && std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
        resident = 0;
    if (f)
        std::fclose(f);
    return resident * 4;
}

void memory(long frames)
{
    QTemporaryDir dir;
    LogSettings settings;
    settings.selectors.set(size_t(ModelSelector::IFOR210));
    settings.profile = profileFor(settings.selectors);
    settings.range = rangeConstantsFor(settings.profile.rangeClass);
    settings.repeatFilter = false;
    LogSession session(settings);
    OutputStart start;
    session.addOutput(openOutputFile(dir.filePath(QStringLiteral("log.db")), false, &start));
    long afterFirstMillion = 0;
    QElapsedTimer clock;
    clock.start();
    for (long i = 0; i < frames; ++i) {
        const std::vector<uint8_t> f = or200VoltsFrame(int(1000 + i % 2900));
        session.receive(f.data(), f.size());
        // Committed in batches as the logger's timer would; each commit waits for the disk.
        if (i % 2000 == 1999)
            session.flush();
        if (i + 1 == std::min(frames, 1000000L))
            afterFirstMillion = residentKb();
    }
    session.flush();
    std::printf("log memory: %ld frames, %lld readings, %.2f us per frame, resident growth after the first "
                "million %ld KB\n",
                frames, static_cast<long long>(session.recorded()),
                double(clock.nsecsElapsed()) / 1000.0 / double(frames), residentKb() - afterFirstMillion);
}

long cpuTicks(qint64 pid)
{
    FILE *f = std::fopen(QStringLiteral("/proc/%1/stat").arg(pid).toLocal8Bit().constData(), "r");
    if (!f)
        return -1;
    char buffer[4096] = {};
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
    std::fclose(f);
    buffer[n] = 0;
    // Fields after the command's closing parenthesis: state is the 3rd, utime the 14th, stime the 15th.
    const char *p = std::strrchr(buffer, ')');
    long utime = 0, stime = 0;
    if (!p || std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld", &utime, &stime) != 2)
        return -1;
    return utime + stime;
}

// A broker of the bench's own on a free loopback port; 0 when none could be started.
int startBroker(QProcess &broker, const QTemporaryDir &dir)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    QFile conf(dir.filePath(QStringLiteral("mosquitto.conf")));
    if (port == 0 || !conf.open(QIODevice::WriteOnly))
        return 0;
    conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n%2")
                   .arg(port)
                   .arg(::geteuid() == 0 ? QStringLiteral("user root\n") : QString())
                   .toUtf8());
    conf.close();
    broker.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), conf.fileName()});
    if (!broker.waitForStarted(5000))
        return 0;
    QThread::msleep(500);
    return port;
}

// How many of the table's readings have a time of their own, and whether any goes back.
void reportTimes(const QString &table)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *s = nullptr;
    long count = 0, distinct = 0, backwards = 0;
    if (sqlite3_open_v2(QFile::encodeName(table).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT Time FROM Readings ORDER BY rowid", -1, &s, nullptr) == SQLITE_OK) {
        std::string last;
        while (sqlite3_step(s) == SQLITE_ROW) {
            const std::string time = reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
            ++count;
            distinct += time != last ? 1 : 0;
            backwards += time < last ? 1 : 0;
            last = time;
        }
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    std::printf(
        "log times: %ld readings, %.1f %% with a time of their own, %ld earlier than the one before\n", count,
        count ? 100.0 * double(distinct) / double(count) : 0.0, backwards);
}

void cpu(int seconds, const char *cli, bool mqtt, bool text)
{
    int master = -1, slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    QTemporaryDir dir;
    QStringList arguments = {QStringLiteral("log"),
                             QStringLiteral("--model"),
                             QStringLiteral("IFOR250"),
                             QStringLiteral("--device"),
                             QString::fromLocal8Bit(name),
                             QStringLiteral("--no-repeat-filter"),
                             QStringLiteral("--out"),
                             dir.filePath(text ? QStringLiteral("log.txt") : QStringLiteral("log.db"))};
    QProcess broker;
    if (mqtt) {
        const int port = startBroker(broker, dir);
        if (port == 0) {
            std::printf("log: no mosquitto could be started\n");
            return;
        }
        arguments << QStringLiteral("--mqtt") << QStringLiteral("mqtt://127.0.0.1:%1").arg(port);
    }
    QProcess log;
    log.start(QString::fromLocal8Bit(cli), arguments);
    if (!log.waitForStarted(5000))
        return;
    QThread::msleep(500);
    const long before = cpuTicks(log.processId());
    ModelSelectors selectors;
    selectors.set(size_t(ModelSelector::IFOR250));
    QElapsedTimer clock;
    clock.start();
    long sent = 0;
    while (clock.elapsed() < seconds * 1000) {
        // 174 frames a second: the next frame's time on a fixed schedule.
        const qint64 due = sent * 1000 / 174;
        if (clock.elapsed() < due) {
            QThread::usleep(1000);
            continue;
        }
        const std::vector<uint8_t> f = vs500ScenarioFrame(sent++, selectors);
        if (::write(master, f.data(), f.size()) < 0)
            break;
    }
    const long used = cpuTicks(log.processId()) - before;
    const double share =
        double(used) / double(sysconf(_SC_CLK_TCK)) / (double(clock.elapsed()) / 1000.0) * 100.0;
    log.terminate();
    log.waitForFinished(5000);
    broker.kill();
    broker.waitForFinished(5000);
    std::printf("log%s%s: %.2f %% of one core at 174 frames/s (%ld frames in %d s)\n", text ? " --text" : "",
                mqtt ? (text ? " --mqtt (queue in memory)" : " --mqtt (outbox in the table)") : "", share,
                sent, seconds);
    if (!text)
        reportTimes(dir.filePath(QStringLiteral("log.db")));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--cpu") == 0) {
        const QString cli =
            QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/meterlink-cli");
        const auto has = [&](const char *option) {
            for (int i = 3; i < argc; ++i)
                if (std::strcmp(argv[i], option) == 0)
                    return true;
            return false;
        };
        cpu(argc >= 3 ? std::atoi(argv[2]) : 20, cli.toLocal8Bit().constData(), has("--mqtt"), has("--text"));
        return 0;
    }
    memory(argc >= 2 ? std::atol(argv[1]) : 10000000L);
    return 0;
}
