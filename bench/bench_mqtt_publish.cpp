// Cost of publishing readings to a broker at 174 readings a second, the fastest meter's rate:
// the process's CPU time over the wall time, first with the readings made and dropped, then with
// each published, and the resident memory along the way. Runs a mosquitto of its own on a free
// loopback port: bench_mqtt_publish [SECONDS] (20 by default).
#include "logger/MqttPublisher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>
#include <QTimer>

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kRate = 174;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long residentKb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

int freeLoopbackPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

LoggedReading readingFor(int64_t i)
{
    LoggedReading r;
    r.time = QDateTime::currentDateTime();
    r.no = i + 1;
    const int counts = int(i % 8000) - 3999;
    r.value = std::to_string(counts / 1000) + "." + std::to_string(std::abs(counts % 1000));
    r.unit = "mV";
    r.dcac = "DC";
    r.autoText = "AUTO";
    r.nval = counts;
    return r;
}

// Runs the event loop for the given seconds, making readings at kRate and handing each to use;
// prints the CPU share and the resident memory at the start and the end. Readings come in a
// batch every 50 ms, as the serial driver's poll delivers the frames that arrived meanwhile.
void measure(const char *what, int seconds, const std::function<void(const LoggedReading &)> &use)
{
    int64_t made = 0;
    QElapsedTimer clock;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        while (made < clock.elapsed() * kRate / 1000)
            use(readingFor(made++));
        if (clock.elapsed() >= seconds * 1000)
            QCoreApplication::quit();
    });
    const long rssBefore = residentKb();
    const double cpuBefore = cpuSeconds();
    clock.start();
    tick.start(50);
    QCoreApplication::exec();
    const double cpu = cpuSeconds() - cpuBefore;
    const double wall = double(clock.elapsed()) / 1000;
    std::printf("%-26s %7lld readings %6.2f s CPU in %5.1f s = %5.2f %% of one core, RSS %ld -> %ld kB\n",
                what, static_cast<long long>(made), cpu, wall, 100 * cpu / wall, rssBefore, residentKb());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QTemporaryDir dir;
    const int port = freeLoopbackPort();
    QFile conf(dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!conf.open(QIODevice::WriteOnly))
        return 1;
    conf.write(
        QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest none\n%2")
            .arg(port)
            .arg(geteuid() == 0 ? QStringLiteral("user root\n") : QString())
            .toUtf8());
    conf.close();
    QProcess broker;
    broker.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), conf.fileName()});
    if (!broker.waitForStarted(5000)) {
        std::fprintf(stderr, "bench_mqtt_publish: cannot start mosquitto (apt-get install mosquitto)\n");
        return 1;
    }
    QThread::msleep(300);

    MqttPublisher publisher;
    MqttOptions options;
    options.url = QStringLiteral("mqtt://127.0.0.1:%1").arg(port);
    options.topic = QStringLiteral("bench/meter");
    QString error;
    if (!publisher.configure(options, &error) || !publisher.start(&error) || !publisher.isConnected()) {
        std::fprintf(stderr, "bench_mqtt_publish: %s\n",
                     qPrintable(error.isEmpty() ? publisher.problem() : error));
        return 1;
    }
    publisher.setStatus(QStringLiteral("receiving"));
    measure("readings only", seconds, [](const LoggedReading &) {});
    measure("readings published", seconds, [&](const LoggedReading &r) { publisher.publish(r); });
    publisher.stop(5000);
    std::printf("delivered %lld, waiting %lld, dropped %lld\n", static_cast<long long>(publisher.delivered()),
                static_cast<long long>(publisher.waiting()), static_cast<long long>(publisher.dropped()));
    broker.kill();
    broker.waitForFinished();
    return 0;
}
