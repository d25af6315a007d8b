// The headless logger's cost.
//
//   bench_log                 10M frames through decoding, recording and a table file: resident
//                             memory growth after the first million
//   bench_log --cpu [S]       meterlink-cli log reading a pseudo-terminal fed 174 frames/s for S
//                             seconds (default 20): its share of one core
#include "decode/FrameEncoders.h"
#include "logger/LogSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
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

std::vector<uint8_t> voltFrame(long i)
{
    Or200Display d;
    const long count = 1000 + i % 2900;
    d.digits[0] = char('0' + count / 1000 % 10);
    d.digits[1] = char('0' + count / 100 % 10);
    d.digits[2] = char('0' + count / 10 % 10);
    d.digits[3] = char('0' + count % 10);
    d.pointAfter = 1;
    d.dc = true;
    d.volt = true;
    return encodeOr200(d);
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
        const std::vector<uint8_t> f = voltFrame(i);
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

void cpu(int seconds, const char *cli)
{
    int master = -1, slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    QTemporaryDir dir;
    QProcess log;
    log.start(QString::fromLocal8Bit(cli),
              {QStringLiteral("log"), QStringLiteral("--model"), QStringLiteral("IFOR250"),
               QStringLiteral("--device"), QString::fromLocal8Bit(name), QStringLiteral("--out"),
               dir.filePath(QStringLiteral("log.db"))});
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
    std::printf("log: %.2f %% of one core at 174 frames/s (%ld frames in %d s)\n", share, sent, seconds);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--cpu") == 0) {
        const QString cli =
            QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/meterlink-cli");
        cpu(argc >= 3 ? std::atoi(argv[2]) : 20, cli.toLocal8Bit().constData());
        return 0;
    }
    memory(argc >= 2 ? std::atol(argv[1]) : 10000000L);
    return 0;
}
