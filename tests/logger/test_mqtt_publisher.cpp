// The publisher against a real broker: a mosquitto of the test's own on a free loopback port,
// configured in the test's folder, and a subscriber made with the same client library.
#include "decode/FrameEncoders.h"
#include "logger/MqttPublisher.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <mosquitto.h>

#include <arpa/inet.h>
#include <csignal>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int freeLoopbackPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

bool listening(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const bool ok = ::connect(s, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(s);
    return ok;
}

QStringList latin1(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list << QString::fromLatin1(text);
    return list;
}

bool run(const QString &program, const QStringList &arguments, const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A mosquitto of the test's own, on 127.0.0.1 only, that keeps nothing across restarts.
class Broker
{
public:
    Broker(const QString &folder, const QStringList &settings = {QStringLiteral("allow_anonymous true")})
        : m_folder(folder)
    {
        QStringList lines = {QStringLiteral("listener %1 127.0.0.1").arg(port),
                             QStringLiteral("persistence false"), QStringLiteral("max_queued_messages 0"),
                             QStringLiteral("log_dest stderr"), QStringLiteral("log_type error")};
        // As root mosquitto would run as its own user, who cannot read the test's folder.
        if (::geteuid() == 0)
            lines << QStringLiteral("user root");
        QFile conf(folder + QStringLiteral("/mosquitto.conf"));
        if (conf.open(QIODevice::WriteOnly))
            conf.write((lines + settings).join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    ~Broker() { kill(); }

    // Returns once the broker takes connections, without running the event loop: no client of
    // the test reconnects before the test is ready for it.
    bool start()
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("mosquitto"),
                        {QStringLiteral("-c"), m_folder + QStringLiteral("/mosquitto.conf")});
        if (!m_process.waitForStarted(5000))
            return false;
        for (int i = 0; i < 500; ++i) {
            if (listening(port))
                return true;
            ::usleep(10000);
        }
        return false;
    }
    void freeze() { ::kill(pid_t(m_process.processId()), SIGSTOP); }
    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), SIGKILL);
        m_process.waitForFinished(5000);
    }

    const int port = freeLoopbackPort();

private:
    QString m_folder;
    QProcess m_process;
};

struct Message
{
    std::string topic;
    std::string payload;
    bool retained;
};

// Subscribes with QoS 1 and is pumped by hand between turns of the event loop.
class Subscriber
{
public:
    Subscriber(int port, const char *filter)
    {
        m_client = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(m_client, [](mosquitto *, void *self, const mosquitto_message *m) {
            static_cast<Subscriber *>(self)->messages.push_back(
                {m->topic, std::string(static_cast<const char *>(m->payload), size_t(m->payloadlen)),
                 m->retain});
        });
        mosquitto_subscribe_callback_set(m_client, [](mosquitto *, void *self, int, int, const int *) {
            static_cast<Subscriber *>(self)->m_subscribed = true;
        });
        if (mosquitto_connect(m_client, "127.0.0.1", port, 60) == MOSQ_ERR_SUCCESS &&
            mosquitto_subscribe(m_client, nullptr, filter, 1) == MOSQ_ERR_SUCCESS) {
            for (int i = 0; i < 50 && !m_subscribed; ++i)
                mosquitto_loop(m_client, 100, 1);
        }
    }
    ~Subscriber() { mosquitto_destroy(m_client); }

    bool subscribed() const { return m_subscribed; }
    void pump()
    {
        for (int i = 0; i < 1000; ++i) {
            pollfd p{mosquitto_socket(m_client), POLLIN, 0};
            if (p.fd < 0 || ::poll(&p, 1, 0) <= 0)
                break;
            mosquitto_loop(m_client, 0, 1);
        }
        if (mosquitto_socket(m_client) >= 0 && mosquitto_want_write(m_client))
            mosquitto_loop(m_client, 0, 1);
    }
    std::vector<std::string> payloads(const std::string &topic) const
    {
        std::vector<std::string> found;
        for (const Message &m : messages) {
            if (m.topic == topic)
                found.push_back(m.payload);
        }
        return found;
    }

    std::vector<Message> messages;

private:
    mosquitto *m_client = nullptr;
    bool m_subscribed = false;
};

bool waitUntil(const std::function<bool()> &done, std::initializer_list<Subscriber *> subscribers,
               int timeoutMs = 15000)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        for (Subscriber *s : subscribers)
            s->pump();
        if (done())
            return true;
        if (clock.hasExpired(timeoutMs))
            return false;
        QTest::qWait(5);
    }
}

// What a subscriber that comes now learns first: the status the broker retained.
void expectRetainedOffline(int port, const char *statusTopic)
{
    Subscriber late(port, statusTopic);
    ASSERT_TRUE(waitUntil([&] { return !late.messages.empty(); }, {&late}));
    EXPECT_EQ(late.messages[0].payload, "offline");
    EXPECT_TRUE(late.messages[0].retained);
}

LoggedReading readingNo(int64_t no)
{
    LoggedReading r;
    r.time = QDateTime(QDate(2026, 12, 8), QTime(14, 3), QTimeZone(3600)).addMSecs(no * 100);
    r.no = no;
    r.value = std::to_string(no % 4000) + ".0";
    r.unit = no % 2 ? "mV" : "k*";
    r.dcac = no % 3 ? "DC" : "";
    r.autoText = "AUTO";
    r.nval = double(no % 4000);
    return r;
}

std::vector<std::string> expectedJson(int64_t first, int64_t last)
{
    std::vector<std::string> json;
    for (int64_t no = first; no <= last; ++no)
        json.push_back(readingJson(readingNo(no)).toStdString());
    return json;
}

MqttOptions options(const QString &url, const QString &topic)
{
    MqttOptions o;
    o.url = url;
    o.topic = topic;
    return o;
}

QString plainUrl(int port)
{
    return QStringLiteral("mqtt://127.0.0.1:%1").arg(port);
}

class MqttPublisherTest : public ::testing::Test
{
protected:
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    bool write(const char *name, const QByteArray &text) const
    {
        QFile file(path(name));
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(MqttPublisherTest, DeliversEveryReadingOnceInOrderAndKeepsTheStatus)
{
    Broker broker(m_dir.path());
    ASSERT_TRUE(broker.start());
    Subscriber readings(broker.port, "lab/m1/reading");
    ASSERT_TRUE(readings.subscribed());

    MqttPublisher publisher;
    QString error;
    ASSERT_TRUE(publisher.configure(options(plainUrl(broker.port), QStringLiteral("lab/m1")), &error))
        << error.toStdString();
    ASSERT_TRUE(publisher.start(&error)) << error.toStdString();
    EXPECT_TRUE(publisher.isConnected());
    publisher.setStatus(QStringLiteral("receiving"));
    // A burst far beyond what may be in flight at once.
    for (int64_t no = 1; no <= 1000; ++no)
        publisher.publish(readingNo(no));
    ASSERT_TRUE(
        waitUntil([&] { return readings.messages.size() >= 1000 && publisher.waiting() == 0; }, {&readings}));
    EXPECT_EQ(readings.payloads("lab/m1/reading"), expectedJson(1, 1000));
    EXPECT_EQ(publisher.delivered(), 1000);
    EXPECT_EQ(publisher.dropped(), 0);

    // A subscriber that comes later learns the link state from the retained message.
    Subscriber status(broker.port, "lab/m1/status");
    ASSERT_TRUE(waitUntil([&] { return !status.messages.empty(); }, {&status}));
    EXPECT_EQ(status.messages[0].payload, "receiving");
    EXPECT_TRUE(status.messages[0].retained);
    publisher.setStatus(QStringLiteral("port lost"));
    ASSERT_TRUE(waitUntil([&] { return status.messages.size() >= 2; }, {&status}));
    EXPECT_EQ(status.messages[1].payload, "port lost");

    // Ending on purpose leaves "offline" behind as well.
    publisher.stop(5000);
    expectRetainedOffline(broker.port, "lab/m1/status");
}

TEST_F(MqttPublisherTest, TheWillSaysOfflineWhenTheLoggerIsKilled)
{
    Broker broker(m_dir.path());
    ASSERT_TRUE(broker.start());
    Subscriber status(broker.port, "lab/m2/status");
    ASSERT_TRUE(status.subscribed());

    QProcess child;
    child.start(QStringLiteral(MQTT_PUBLISHER_CHILD), {plainUrl(broker.port), QStringLiteral("lab/m2")});
    ASSERT_TRUE(child.waitForReadyRead(15000)) << child.readAllStandardError().toStdString();
    ASSERT_TRUE(waitUntil([&] { return !status.messages.empty(); }, {&status}));
    EXPECT_EQ(status.messages.back().payload, "receiving");

    ::kill(pid_t(child.processId()), SIGKILL);
    child.waitForFinished(5000);
    ASSERT_TRUE(waitUntil([&] { return status.messages.back().payload == "offline"; }, {&status}));
    expectRetainedOffline(broker.port, "lab/m2/status");
}

TEST_F(MqttPublisherTest, ABrokerDownAtStartOrRestartedLosesNoReading)
{
    Broker broker(m_dir.path());
    MqttPublisher publisher;
    std::vector<bool> changes;
    QObject::connect(&publisher, &MqttPublisher::connectionChanged, &publisher,
                     [&](bool connected) { changes.push_back(connected); });
    QString error;
    ASSERT_TRUE(publisher.configure(options(plainUrl(broker.port), QStringLiteral("lab/m3")), &error));
    // Down at start: no error; the readings wait.
    ASSERT_TRUE(publisher.start(&error)) << error.toStdString();
    EXPECT_FALSE(publisher.isConnected());
    EXPECT_EQ(
        publisher.problem(),
        QStringLiteral("Cannot reach the broker at %1: Connection refused.").arg(plainUrl(broker.port)));
    int64_t no = 0;
    while (no < 50)
        publisher.publish(readingNo(++no));
    EXPECT_EQ(publisher.waiting(), 50);

    ASSERT_TRUE(broker.start());
    Subscriber before(broker.port, "lab/m3/reading");
    ASSERT_TRUE(before.subscribed());
    ASSERT_TRUE(waitUntil([&] { return before.messages.size() == 50; }, {&before}));

    // Readings sent to a broker that never reads them, then the broker gone for 3 s: they and
    // those recorded meanwhile must go again once it is back.
    broker.freeze();
    while (no < 70)
        publisher.publish(readingNo(++no));
    QTest::qWait(200);
    broker.kill();
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, &publisher, [&] {
        if (no < 220)
            publisher.publish(readingNo(++no));
    });
    feed.start(20);
    ASSERT_TRUE(waitUntil([&] { return no == 220; }, {}));
    feed.stop();
    EXPECT_FALSE(publisher.isConnected());
    EXPECT_EQ(publisher.waiting(), 170);

    ASSERT_TRUE(broker.start());
    Subscriber after(broker.port, "lab/m3/reading");
    ASSERT_TRUE(after.subscribed());
    while (no < 250)
        publisher.publish(readingNo(++no));
    ASSERT_TRUE(
        waitUntil([&] { return publisher.waiting() == 0 && after.messages.size() >= 200; }, {&after}));
    std::vector<std::string> received = before.payloads("lab/m3/reading");
    const std::vector<std::string> later = after.payloads("lab/m3/reading");
    received.insert(received.end(), later.begin(), later.end());
    EXPECT_EQ(received, expectedJson(1, 250));
    EXPECT_EQ(publisher.delivered(), 250);
    EXPECT_EQ(changes, (std::vector<bool>{true, false, true}));
}

TEST_F(MqttPublisherTest, ARefusedLoginFailsTheStartWithAClearMessage)
{
    ASSERT_TRUE(run(QStringLiteral("mosquitto_passwd"), latin1({"-b", "-c", "passwords", "meter", "right"}),
                    m_dir.path()));
    Broker broker(m_dir.path(), {QStringLiteral("allow_anonymous false"),
                                 QStringLiteral("password_file ") + path("passwords")});
    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(write("right", "right\n"));
    ASSERT_TRUE(write("wrong", "wrong\n"));
    const QString url = plainUrl(broker.port);

    struct Case
    {
        const char *user;
        const char *passwordFile;
        bool starts;
        QString error;
    } cases[] = {
        {"meter", "right", true, {}},
        {"meter", "wrong", false,
         QStringLiteral(
             "The broker at %1 refused the user name meter or its password: check --mqtt-user and the "
             "password file.")
             .arg(url)},
        {"", "", false,
         QStringLiteral(
             "The broker at %1 refused the connection: it wants a user name and password (--mqtt-user, "
             "--mqtt-password-file).")
             .arg(url)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.passwordFile);
        MqttPublisher publisher;
        MqttOptions o = options(url, QStringLiteral("lab/m4"));
        o.user = QString::fromLatin1(c.user);
        o.passwordFile = *c.passwordFile ? path(c.passwordFile) : QString();
        QString error;
        ASSERT_TRUE(publisher.configure(o, &error)) << error.toStdString();
        EXPECT_EQ(publisher.start(&error), c.starts);
        EXPECT_EQ(error, c.error);
        publisher.stop(1000);
    }
}

TEST_F(MqttPublisherTest, PublishesOverTlsOnlyToTheBrokerItsCaVouchesFor)
{
    // A CA with a certificate for 127.0.0.1, and another CA that vouches for nothing here.
    const auto openssl = [this](const QStringList &arguments) {
        return run(QStringLiteral("openssl"), arguments, m_dir.path());
    };
    const QStringList newKey =
        latin1({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days", "2"});
    ASSERT_TRUE(write("san.cnf", "subjectAltName=IP:127.0.0.1\n"));
    ASSERT_TRUE(
        openssl(newKey + latin1({"-x509", "-keyout", "ca.key", "-out", "ca.crt", "-subj", "/CN=Test CA"})));
    ASSERT_TRUE(openssl(
        newKey + latin1({"-x509", "-keyout", "other.key", "-out", "other.crt", "-subj", "/CN=Other"})));
    ASSERT_TRUE(
        openssl(newKey + latin1({"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"})));
    ASSERT_TRUE(
        openssl(latin1({"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                        "-CAcreateserial", "-days", "2", "-extfile", "san.cnf", "-out", "server.crt"})));
    const int tlsPort = freeLoopbackPort();
    Broker broker(m_dir.path(), {QStringLiteral("allow_anonymous true"),
                                 QStringLiteral("listener %1 127.0.0.1").arg(tlsPort),
                                 QStringLiteral("cafile ") + path("ca.crt"),
                                 QStringLiteral("certfile ") + path("server.crt"),
                                 QStringLiteral("keyfile ") + path("server.key")});
    ASSERT_TRUE(broker.start());
    Subscriber readings(broker.port, "lab/m5/reading");
    ASSERT_TRUE(readings.subscribed());
    const QString tlsUrl = QStringLiteral("mqtts://127.0.0.1:%1").arg(tlsPort);

    struct Case
    {
        QString url;
        const char *ca;
        bool starts;
    } cases[] = {{tlsUrl, "ca.crt", true},
                 {tlsUrl, "other.crt", false},
                 {QStringLiteral("mqtts://127.0.0.1:%1").arg(broker.port), "ca.crt", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.url.toStdString() + " " + c.ca);
        MqttPublisher publisher;
        MqttOptions o = options(c.url, QStringLiteral("lab/m5"));
        o.caFile = path(c.ca);
        QString error;
        ASSERT_TRUE(publisher.configure(o, &error)) << error.toStdString();
        EXPECT_EQ(publisher.start(&error), c.starts) << error.toStdString();
        if (!c.starts) {
            EXPECT_TRUE(error.startsWith(QStringLiteral("The encrypted link to %1 failed").arg(c.url)))
                << error.toStdString();
            continue;
        }
        for (int64_t no = 1; no <= 5; ++no)
            publisher.publish(readingNo(no));
        ASSERT_TRUE(waitUntil([&] { return readings.messages.size() >= 5; }, {&readings}));
        EXPECT_EQ(readings.payloads("lab/m5/reading"), expectedJson(1, 5));
        publisher.stop(1000);
    }
}

TEST_F(MqttPublisherTest, ConfigureSaysWhatToFixBeforeAnythingStarts)
{
    ASSERT_TRUE(write("password", "secret\n"));
    ASSERT_TRUE(write("empty", "\n"));
    ASSERT_TRUE(write("notpem", "just text\n"));
    struct Case
    {
        const char *url;
        const char *topic;
        const char *user;
        const char *passwordFile;
        const char *caFile;
        const char *says;
    } cases[] = {
        {"http://127.0.0.1", "lab", "", "", "", "use mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"},
        {"mqtt://", "lab", "", "", "", "use mqtt://HOST[:PORT]"},
        {"mqtt://127.0.0.1:0", "lab", "", "", "", "use mqtt://HOST[:PORT]"},
        {"mqtt://127.0.0.1:70000", "lab", "", "", "", "use mqtt://HOST[:PORT]"},
        {"mqtt://me@127.0.0.1", "lab", "", "", "", "use mqtt://HOST[:PORT]"},
        {"mqtt://127.0.0.1/lab", "lab", "", "", "", "use mqtt://HOST[:PORT]"},
        {"mqtts://127.0.0.1", "lab", "", "", "", "give it with --mqtt-ca FILE"},
        {"mqtt://127.0.0.1", "lab", "", "", "password", "use mqtts://127.0.0.1 instead"},
        {"mqtt://127.0.0.1", "lab/#", "", "", "", "without '+' and '#'"},
        {"mqtt://127.0.0.1", "", "", "", "", "without '+' and '#'"},
        {"mqtt://127.0.0.1", "lab", "", "password", "", "needs a user name"},
        {"mqtt://127.0.0.1", "lab", "meter", "missing", "", "Cannot read the password file"},
        {"mqtt://127.0.0.1", "lab", "meter", "empty", "", "is empty"},
        {"mqtts://127.0.0.1", "lab", "", "", "missing", "Cannot read the CA file"},
        {"mqtts://127.0.0.1", "lab", "", "", "notpem", "holds no certificate"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.url) + " " + c.topic + " " + c.passwordFile + " " + c.caFile);
        MqttOptions o = options(QString::fromLatin1(c.url), QString::fromLatin1(c.topic));
        o.user = QString::fromLatin1(c.user);
        o.passwordFile = *c.passwordFile ? path(c.passwordFile) : QString();
        o.caFile = *c.caFile ? path(c.caFile) : QString();
        MqttPublisher publisher;
        QString error;
        EXPECT_FALSE(publisher.configure(o, &error));
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.says))) << error.toStdString();
        EXPECT_FALSE(publisher.start(&error));
    }
}

// The whole logger: what it records reaches the broker, as jsonl has it, and the status follows.
TEST_F(MqttPublisherTest, TheLoggerPublishesWhatItRecordsAndRefusesABadLoginBeforeRecording)
{
    Broker broker(m_dir.path());
    ASSERT_TRUE(broker.start());
    Subscriber watcher(broker.port, "meterlink/IFOR210/stdin/#");
    ASSERT_TRUE(watcher.subscribed());
    QByteArray stream;
    for (long i = 0; i < 40; ++i) {
        const std::vector<uint8_t> f = or200ScenarioFrame(i);
        stream.append(reinterpret_cast<const char *>(f.data()), qsizetype(f.size()));
    }
    const QStringList common = {QStringLiteral("log"),     QStringLiteral("--model"),
                                QStringLiteral("IFOR210"), QStringLiteral("--input"),
                                QStringLiteral("-"),       QStringLiteral("--format"),
                                QStringLiteral("jsonl")};
    QProcess log;
    log.start(QStringLiteral(METERLINK_CLI_PATH),
              common + QStringList{QStringLiteral("--mqtt"), plainUrl(broker.port)});
    log.write(stream);
    log.closeWriteChannel();
    ASSERT_TRUE(log.waitForFinished(15000));
    EXPECT_EQ(log.exitCode(), 0) << log.readAllStandardError().toStdString();
    std::vector<std::string> printed;
    for (const QByteArray &line : log.readAllStandardOutput().trimmed().split('\n'))
        printed.push_back(line.toStdString());
    ASSERT_FALSE(printed.empty());
    ASSERT_TRUE(waitUntil(
        [&] { return watcher.payloads("meterlink/IFOR210/stdin/reading").size() >= printed.size(); },
        {&watcher}));
    EXPECT_EQ(watcher.payloads("meterlink/IFOR210/stdin/reading"), printed);
    EXPECT_EQ(watcher.payloads("meterlink/IFOR210/stdin/status").back(), "offline");

    Broker guarded(m_dir.path(), {QStringLiteral("allow_anonymous false")});
    ASSERT_TRUE(guarded.start());
    QProcess refused;
    refused.start(QStringLiteral(METERLINK_CLI_PATH),
                  common + QStringList{QStringLiteral("--mqtt"), plainUrl(guarded.port)});
    refused.write(stream);
    refused.closeWriteChannel();
    ASSERT_TRUE(refused.waitForFinished(15000));
    EXPECT_EQ(refused.exitCode(), 1);
    EXPECT_TRUE(refused.readAllStandardOutput().isEmpty()) << "nothing recorded";
}

// The logger on a pipe that stays open reaches a broker that comes late, and what the broker has
// not taken a while after the end is counted and ends the log with its own status.
TEST_F(MqttPublisherTest, TheLoggerOnAnOpenPipeReconnectsAndCountsWhatWasNotDelivered)
{
    Broker broker(m_dir.path());
    QProcess log;
    log.start(QStringLiteral(METERLINK_CLI_PATH),
              {QStringLiteral("log"), QStringLiteral("--model"), QStringLiteral("IFOR210"),
               QStringLiteral("--input"), QStringLiteral("-"), QStringLiteral("--format"),
               QStringLiteral("jsonl"), QStringLiteral("--mqtt"), plainUrl(broker.port)});
    ASSERT_TRUE(log.waitForStarted(5000));
    QTest::qWait(1000);
    ASSERT_TRUE(broker.start());
    Subscriber watcher(broker.port, "meterlink/IFOR210/stdin/reading");
    ASSERT_TRUE(watcher.subscribed());
    const auto send = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            const std::vector<uint8_t> f = or200VoltsFrame(1000 + i);
            log.write(reinterpret_cast<const char *>(f.data()), qsizetype(f.size()));
        }
    };
    send(0, 10);
    EXPECT_TRUE(waitUntil([&] { return watcher.payloads("meterlink/IFOR210/stdin/reading").size() == 10; },
                          {&watcher}))
        << "delivered while the pipe is open";
    broker.freeze();
    send(10, 15);
    QTest::qWait(500);
    log.closeWriteChannel();
    ASSERT_TRUE(log.state() == QProcess::NotRunning || log.waitForFinished(15000));
    EXPECT_EQ(log.exitCode(), 3);
    const QString err = QString::fromUtf8(log.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("5 readings not delivered"))) << err.toStdString();
}

namespace {

std::vector<int64_t> numbers(const std::vector<std::string> &payloads)
{
    std::vector<int64_t> found;
    for (const std::string &json : payloads)
        found.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(json))
                            .object()
                            .value(QStringLiteral("no"))
                            .toInteger());
    return found;
}

std::vector<int64_t> range(int64_t first, int64_t last)
{
    std::vector<int64_t> all;
    for (int64_t no = first; no <= last; ++no)
        all.push_back(no);
    return all;
}

} // namespace

// With a table the broker's readings come from the file: those recorded while the broker is away,
// also by a logger that was killed and a later one that continues the table, reach it in order.
TEST_F(MqttPublisherTest, TheLoggersTableIsAnOutboxAcrossABrokerStopAKillAndAnAppend)
{
    Broker broker(m_dir.path());
    ASSERT_TRUE(broker.start());
    const char *readings = "meterlink/IFOR210/stdin/reading";
    const QString table = path("log.db");
    const QStringList args = {QStringLiteral("log"),       QStringLiteral("--model=IFOR210"),
                              QStringLiteral("--input=-"), QStringLiteral("--no-repeat-filter"),
                              QStringLiteral("--out"),     table,
                              QStringLiteral("--mqtt"),    plainUrl(broker.port)};
    const auto send = [](QProcess &log, int from, int to) {
        for (int i = from; i < to; ++i) {
            const std::vector<uint8_t> f = or200VoltsFrame(1000 + i);
            log.write(reinterpret_cast<const char *>(f.data()), qsizetype(f.size()));
        }
    };
    {
        Subscriber watcher(broker.port, readings);
        ASSERT_TRUE(watcher.subscribed());
        QProcess first;
        first.start(QStringLiteral(METERLINK_CLI_PATH), args);
        ASSERT_TRUE(first.waitForStarted(5000));
        send(first, 0, 10);
        ASSERT_TRUE(waitUntil([&] { return watcher.payloads(readings).size() == 10; }, {&watcher}));
        EXPECT_EQ(numbers(watcher.payloads(readings)), range(1, 10));
        broker.kill();
        send(first, 10, 20);
        QTest::qWait(1500); // in the table, and the broker's acknowledgements noted
        ::kill(pid_t(first.processId()), SIGKILL);
        first.waitForFinished(5000);
    }
    QFile side(table + QStringLiteral(".unsent"));
    ASSERT_TRUE(side.open(QIODevice::ReadOnly));
    EXPECT_EQ(side.readLine(), "next 11\n");
    side.close();

    QProcess second;
    second.start(QStringLiteral(METERLINK_CLI_PATH), args + QStringList{QStringLiteral("--append")});
    ASSERT_TRUE(second.waitForStarted(5000));
    send(second, 20, 25);
    QTest::qWait(800);
    ASSERT_TRUE(broker.start());
    Subscriber watcher(broker.port, readings);
    ASSERT_TRUE(watcher.subscribed());
    EXPECT_TRUE(waitUntil([&] { return watcher.payloads(readings).size() >= 15; }, {&watcher}));
    EXPECT_EQ(numbers(watcher.payloads(readings)), range(11, 25)) << "in order, each once";
    second.closeWriteChannel();
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    ASSERT_TRUE(side.open(QIODevice::ReadOnly));
    EXPECT_EQ(side.readLine(), "next 26\n");
}

// A queue that had to drop readings says so on the status, where a dashboard sees it.
TEST_F(MqttPublisherTest, TheStatusCountsTheReadingsAFullQueueDropped)
{
    Broker broker(m_dir.path());
    MqttPublisher publisher(nullptr, 5);
    QString error;
    ASSERT_TRUE(publisher.configure(options(plainUrl(broker.port), QStringLiteral("lab/m9")), &error));
    ASSERT_TRUE(publisher.start(&error)) << error.toStdString();
    publisher.setStatus(QStringLiteral("receiving"));
    for (int64_t no = 1; no <= 12; ++no)
        publisher.publish(readingNo(no));
    EXPECT_EQ(publisher.dropped(), 7);
    ASSERT_TRUE(broker.start());
    Subscriber status(broker.port, "lab/m9/#");
    ASSERT_TRUE(status.subscribed());
    ASSERT_TRUE(waitUntil([&] { return status.payloads("lab/m9/reading").size() == 5; }, {&status}));
    EXPECT_EQ(status.payloads("lab/m9/reading"), expectedJson(8, 12)) << "the newest five";
    EXPECT_EQ(status.payloads("lab/m9/status").back(), "receiving (7 readings dropped)");
}
