#pragma once

#include "logger/LoggedReading.h"
#include "logger/PendingReadings.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <functional>

struct mosquitto;

struct MqttOptions
{
    QString url;          // mqtt://HOST[:PORT] or mqtts://HOST[:PORT]
    QString topic;        // readings go to TOPIC/reading, the link state to TOPIC/status
    QString clientId;     // empty: one made up for this run
    QString user;         // empty: no login
    QString passwordFile; // the password on its first line, never on the command line
    QString caFile;       // the CA that signed the broker's certificate; mqtts only
};

// "meterlink/<model selector>/<device's base name>", where readings go when no topic is given, so
// that two meters of one model do not share it; "stdin" for standard input.
QString defaultMqttTopic(const QString &modelSelector, const QString &device);

// Publishes recorded readings to an MQTT broker, each as its JSON object with QoS 1, and the link
// state, retained, with a last will of "offline". Runs on the caller's event loop (no threads):
// the library's socket is watched by notifiers, its keepalive by a timer. The broker may come and
// go: readings wait in order in a bounded queue and leave it only when the broker acknowledged
// them; the connection is retried after 0.5 s, doubling up to 5 s. Once a client exists the
// library ignores SIGPIPE for the whole process: a closed pipe shows as a failed write.
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    explicit MqttPublisher(QObject *parent = nullptr,
                           size_t queueCapacity = PendingReadings::kDefaultCapacity);
    // The readings a queue of this many megabytes holds.
    static size_t queueCapacityFor(int megabytes);
    ~MqttPublisher() override;

    // Checks the address and topic and reads the password and CA files. False with a message
    // saying what to fix.
    bool configure(const MqttOptions &options, QString *error);
    // Connects and waits for the broker's answer (at most about 10 s). False with a message when
    // the broker refuses the login or the client, the TLS handshake fails or the host is unknown:
    // the caller should give up before recording anything. A broker that is down or does not
    // answer is no error: the publisher keeps trying and the readings wait.
    bool start(QString *error);
    // Queues the reading for TOPIC/reading and sends it as soon as the broker is there.
    void publish(const LoggedReading &reading);
    // Takes the readings from `next` instead, as the broker has room for them (a durable outbox):
    // next gives the oldest reading not handed out yet, or false when there is none for now.
    void setSource(std::function<bool(LoggedReading *)> next) { m_source = std::move(next); }
    // The source may have more: send what the broker has room for.
    void sendMore() { service(); }
    // "receiving", "waiting" or "port lost", retained on TOPIC/status (sent again after a
    // reconnection), followed by " (N readings dropped)" once the queue had to drop some.
    void setStatus(const QString &state);
    // Delivers what it can within timeoutMs, marks the status "offline" and disconnects cleanly,
    // so the broker drops the last will. Nothing is sent afterwards. Runs the event loop while it
    // waits (as start() does): stop the reading source first.
    void stop(int timeoutMs);

    bool isConnected() const { return m_state == State::Connected; }
    // Why the last connection attempt failed or the connection ended; empty while all is well.
    QString problem() const { return m_problem; }
    qint64 waiting() const { return m_queue.waiting(); }
    // Readings handed to the publisher that the broker has not acknowledged, and every later one.
    qint64 queued() const { return m_queue.queued(); }
    qint64 delivered() const { return m_queue.delivered(); }
    qint64 dropped() const { return m_queue.dropped(); }

signals:
    void connectionChanged(bool connected);

private:
    enum class State
    {
        Idle,
        Connecting,
        Connected,
        Retrying,
        Stopped
    };

    static void onConnect(mosquitto *client, void *self, int result);
    static void onDisconnect(mosquitto *client, void *self, int result);
    static void onPublish(mosquitto *client, void *self, int messageId);

    void connectToBroker();
    // A new library client with the will, login and TLS set; the error, or empty.
    QString prepareClient();
    void readable();
    void writable();
    void housekeeping();
    void noteResult(int result);
    // After every call into the library: notices a lost connection, sends what waits and asks
    // for the socket's writability only while the library has bytes to write.
    void service();
    void sendWaiting();
    void endConnection(const QString &why, bool fatal);
    void closeClient();
    QString connectionFailure() const;
    bool waitFor(const std::function<bool()> &done, int timeoutMs);

    QString m_url;
    QByteArray m_host;
    int m_port = 0;
    bool m_tls = false;
    QByteArray m_caFile;
    QByteArray m_user;
    QByteArray m_password;
    QByteArray m_clientId;
    QByteArray m_readingTopic;
    QByteArray m_statusTopic;
    bool m_configured = false;

    mosquitto *m_client = nullptr;
    State m_state = State::Idle;
    QSocketNotifier m_readNotifier{QSocketNotifier::Read};
    QSocketNotifier m_writeNotifier{QSocketNotifier::Write};
    QTimer m_housekeeping;
    QTimer m_retry;
    int m_retryMs = 0;
    QElapsedTimer m_attempt;

    // What the library's callbacks reported during the last call into it.
    int m_connack = -1;
    bool m_lost = false;
    int m_lostResult = 0;
    int m_lostErrno = 0;

    // Moves one reading from the source into the queue; false when it has none.
    bool pull();

    PendingReadings m_queue;
    std::function<bool(LoggedReading *)> m_source;
    QString m_link; // the state setStatus was given
    QByteArray m_status;
    bool m_statusSent = false;
    int m_statusMessageId = 0;
    QString m_problem;
    bool m_fatal = false;
};
