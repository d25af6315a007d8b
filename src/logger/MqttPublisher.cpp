#include "logger/MqttPublisher.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUrl>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Short enough that a broker notices a dead logger (and sends its will) within 15 s; the pings
// cost nothing worth counting.
constexpr int kKeepAliveSeconds = 10;
constexpr int kAnswerTimeoutMs = 10000;
constexpr int kFirstRetryMs = 500;
constexpr int kLastRetryMs = 5000;
// Readings handed to the library at once; the next goes when the broker acknowledges one.
constexpr int kMaxInFlight = 16;
constexpr char kOffline[] = "offline";

void initLibrary()
{
    static const int done = mosquitto_lib_init();
    Q_UNUSED(done);
}

} // namespace

QString defaultMqttTopic(const QString &modelSelector, const QString &device)
{
    QString name = device == QLatin1String("-") ? QStringLiteral("stdin") : QFileInfo(device).fileName();
    // A topic level holds no wildcard.
    name.replace(QLatin1Char('+'), QLatin1Char('_')).replace(QLatin1Char('#'), QLatin1Char('_'));
    return QStringLiteral("meterlink/%1/%2")
        .arg(modelSelector, name.isEmpty() ? QStringLiteral("device") : name);
}

size_t MqttPublisher::queueCapacityFor(int megabytes)
{
    return size_t(megabytes) * 1024 * 1024 / PendingReadings::kBytesPerReading;
}

MqttPublisher::MqttPublisher(QObject *parent, size_t queueCapacity) : QObject(parent), m_queue(queueCapacity)
{
    initLibrary();
    connect(&m_readNotifier, &QSocketNotifier::activated, this, &MqttPublisher::readable);
    connect(&m_writeNotifier, &QSocketNotifier::activated, this, &MqttPublisher::writable);
    m_housekeeping.setInterval(1000);
    connect(&m_housekeeping, &QTimer::timeout, this, &MqttPublisher::housekeeping);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttPublisher::connectToBroker);
}

MqttPublisher::~MqttPublisher()
{
    closeClient();
}

bool MqttPublisher::configure(const MqttOptions &options, QString *error)
{
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    const QUrl url(options.url, QUrl::StrictMode);
    const bool tls = url.scheme() == QLatin1String("mqtts");
    if (!url.isValid() || (url.scheme() != QLatin1String("mqtt") && !tls) || url.host().isEmpty() ||
        !url.userInfo().isEmpty() || (!url.path().isEmpty() && url.path() != QLatin1String("/")) ||
        url.hasQuery() || url.hasFragment() || url.port() == 0)
        return fail(tr("'%1' is not a broker address: use mqtt://HOST[:PORT] or mqtts://HOST[:PORT].")
                        .arg(options.url));
    if (tls && options.caFile.isEmpty())
        return fail(tr("%1 needs the CA certificate that signed the broker's certificate: give it with "
                       "--mqtt-ca FILE.")
                        .arg(options.url));
    if (!tls && !options.caFile.isEmpty())
        return fail(tr("--mqtt-ca is for encrypted links: use mqtts://%1 instead of %2.")
                        .arg(url.authority(), options.url));
    const QByteArray topic = options.topic.toUtf8();
    if (topic.isEmpty() || mosquitto_pub_topic_check(topic.constData()) != MOSQ_ERR_SUCCESS ||
        mosquitto_validate_utf8(topic.constData(), int(topic.size())) != MOSQ_ERR_SUCCESS)
        return fail(tr("'%1' is not a topic to publish to: give one without '+' and '#', such as "
                       "lab/meter1.")
                        .arg(options.topic));
    if (!options.passwordFile.isEmpty() && options.user.isEmpty())
        return fail(tr("A password file needs a user name: give it with --mqtt-user NAME."));

    QByteArray password;
    if (!options.passwordFile.isEmpty()) {
        QFile file(options.passwordFile);
        if (!file.open(QIODevice::ReadOnly))
            return fail(
                tr("Cannot read the password file %1: %2.").arg(options.passwordFile, file.errorString()));
        password = file.readLine(4096);
        while (password.endsWith('\n') || password.endsWith('\r'))
            password.chop(1);
        if (password.isEmpty())
            return fail(tr("The password file %1 is empty: put the password on its first line.")
                            .arg(options.passwordFile));
    }
    if (tls) {
        QFile file(options.caFile);
        if (!file.open(QIODevice::ReadOnly))
            return fail(tr("Cannot read the CA file %1: %2.").arg(options.caFile, file.errorString()));
        if (!file.readAll().contains("-----BEGIN CERTIFICATE-----"))
            return fail(tr("The CA file %1 holds no certificate: give the CA's certificate in PEM form.")
                            .arg(options.caFile));
    }

    m_url = options.url;
    m_host = url.host(QUrl::FullyEncoded).toUtf8();
    m_tls = tls;
    m_port = url.port(tls ? 8883 : 1883);
    m_caFile = QFile::encodeName(options.caFile);
    m_user = options.user.toUtf8();
    m_password = password;
    m_clientId =
        options.clientId.isEmpty()
            ? QByteArray("meterlink-") + QByteArray::number(QRandomGenerator::global()->generate(), 16)
            : options.clientId.toUtf8();
    m_readingTopic = topic + "/reading";
    m_statusTopic = topic + "/status";
    m_configured = true;
    return true;
}

bool MqttPublisher::start(QString *error)
{
    if (!m_configured || m_state != State::Idle) {
        if (error)
            *error = m_configured ? tr("The MQTT publisher has been started already.")
                                  : tr("The MQTT publisher has no broker to go to: configure it first.");
        return false;
    }
    m_retryMs = kFirstRetryMs;
    m_housekeeping.start();
    connectToBroker();
    waitFor([this] { return m_state != State::Connecting; }, kAnswerTimeoutMs + 2000);
    if (!m_fatal)
        return true;
    m_retry.stop();
    m_housekeeping.stop();
    m_state = State::Stopped;
    if (error)
        *error = m_problem;
    return false;
}

void MqttPublisher::publish(const LoggedReading &reading)
{
    const qint64 dropped = m_queue.dropped();
    m_queue.push(reading);
    if (m_queue.dropped() != dropped && !m_link.isEmpty())
        setStatus(m_link); // with the new count
    service();
}

void MqttPublisher::setStatus(const QString &state)
{
    m_link = state;
    QString text = state;
    // Readings lost to a full queue are said while the logger runs; "offline" stays as the will has it.
    if (m_queue.dropped() > 0 && state != QLatin1String(kOffline))
        text += tr(" (%1 readings dropped)").arg(m_queue.dropped());
    const QByteArray status = text.toUtf8();
    if (status == m_status)
        return;
    m_status = status;
    m_statusSent = false;
    service();
}

void MqttPublisher::stop(int timeoutMs)
{
    if (m_state == State::Idle || m_state == State::Stopped) {
        m_state = State::Stopped;
        return;
    }
    QElapsedTimer clock;
    clock.start();
    setStatus(QString::fromLatin1(kOffline));
    if (!m_queue.hasUnsent())
        pull();
    if (m_state == State::Retrying && m_queue.waiting() > 0) {
        // One more try now rather than after the back-off.
        m_retry.stop();
        connectToBroker();
    }
    waitFor(
        [this] {
            return m_state == State::Connected
                       ? m_queue.waiting() == 0 && m_statusSent && m_statusMessageId == 0
                       : m_queue.waiting() == 0 && m_state != State::Connecting;
        },
        int(std::max<qint64>(0, timeoutMs - clock.elapsed())));
    m_retry.stop();
    m_housekeeping.stop();
    const bool wasConnected = m_state == State::Connected;
    if (wasConnected) {
        // A DISCONNECT tells the broker to forget the will: this logger ended on purpose.
        mosquitto_disconnect(m_client);
        for (int i = 0; i < 100 && mosquitto_want_write(m_client) && mosquitto_socket(m_client) >= 0; ++i)
            mosquitto_loop_write(m_client, 1);
    }
    closeClient();
    m_state = State::Stopped;
    if (wasConnected)
        emit connectionChanged(false);
}

void MqttPublisher::onConnect(mosquitto *, void *self, int result)
{
    static_cast<MqttPublisher *>(self)->m_connack = result;
}

void MqttPublisher::onDisconnect(mosquitto *, void *self, int result)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    if (!publisher->m_lost) {
        publisher->m_lost = true;
        publisher->m_lostResult = result;
        publisher->m_lostErrno = errno;
    }
}

void MqttPublisher::onPublish(mosquitto *, void *self, int messageId)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    if (messageId == publisher->m_statusMessageId)
        publisher->m_statusMessageId = 0;
    else
        publisher->m_queue.acknowledge(messageId);
}

void MqttPublisher::connectToBroker()
{
    if (m_state == State::Stopped)
        return;
    m_connack = -1;
    m_lost = false;
    m_lostResult = MOSQ_ERR_SUCCESS;
    m_lostErrno = 0;
    m_attempt.start();
    m_state = State::Connecting;
    const QString unusable = prepareClient();
    if (!unusable.isEmpty()) {
        endConnection(unusable, true);
        return;
    }
    errno = 0;
    const int result = mosquitto_connect_async(m_client, m_host.constData(), m_port, kKeepAliveSeconds);
    if (result != MOSQ_ERR_SUCCESS) {
        m_lost = true;
        m_lostResult = result;
        m_lostErrno = errno;
        endConnection(connectionFailure(), result == MOSQ_ERR_EAI || result == MOSQ_ERR_TLS);
        return;
    }
    m_readNotifier.setSocket(mosquitto_socket(m_client));
    m_writeNotifier.setSocket(mosquitto_socket(m_client));
    m_readNotifier.setEnabled(true);
    service();
}

QString MqttPublisher::prepareClient()
{
    m_client = mosquitto_new(m_clientId.constData(), true, this);
    if (!m_client)
        return tr("Cannot make an MQTT client: %1.").arg(QString::fromLocal8Bit(std::strerror(errno)));
    mosquitto_connect_callback_set(m_client, &MqttPublisher::onConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttPublisher::onDisconnect);
    mosquitto_publish_callback_set(m_client, &MqttPublisher::onPublish);
    if (mosquitto_will_set(m_client, m_statusTopic.constData(), int(sizeof kOffline - 1), kOffline, 1,
                           true) != MOSQ_ERR_SUCCESS)
        return tr("Cannot set the last will on %1.").arg(QString::fromUtf8(m_statusTopic));
    if (!m_user.isEmpty() &&
        mosquitto_username_pw_set(m_client, m_user.constData(), m_password.constData()) != MOSQ_ERR_SUCCESS)
        return tr("Cannot use the user name %1.").arg(QString::fromUtf8(m_user));
    if (m_tls && mosquitto_tls_set(m_client, m_caFile.constData(), nullptr, nullptr, nullptr, nullptr) !=
                     MOSQ_ERR_SUCCESS)
        return tr("Cannot use the CA file %1.").arg(QFile::decodeName(m_caFile));
    return {};
}

void MqttPublisher::readable()
{
    if (!m_client)
        return;
    noteResult(mosquitto_loop_read(m_client, 1));
    service();
}

void MqttPublisher::writable()
{
    if (!m_client)
        return;
    noteResult(mosquitto_loop_write(m_client, 1));
    // The library drives a TLS handshake from its read path; a writable socket may be the only
    // news while one is under way.
    if (m_state == State::Connecting && !m_lost && mosquitto_socket(m_client) >= 0)
        noteResult(mosquitto_loop_read(m_client, 1));
    service();
}

void MqttPublisher::housekeeping()
{
    if (!m_client)
        return;
    if (m_state == State::Connecting && m_attempt.hasExpired(kAnswerTimeoutMs)) {
        endConnection(
            tr("The broker at %1 did not answer within %2 s.").arg(m_url).arg(kAnswerTimeoutMs / 1000),
            false);
        return;
    }
    noteResult(mosquitto_loop_misc(m_client));
    service();
}

void MqttPublisher::noteResult(int result)
{
    // Some failures (a TLS handshake refused) close the socket without the disconnect callback.
    if (result != MOSQ_ERR_SUCCESS && !m_lost && m_lostResult == MOSQ_ERR_SUCCESS) {
        m_lostResult = result;
        m_lostErrno = errno;
    }
}

void MqttPublisher::service()
{
    if (!m_client)
        return;
    if (!m_lost && mosquitto_socket(m_client) >= 0) {
        if (m_state == State::Connecting && m_connack == 0) {
            m_state = State::Connected;
            m_retryMs = kFirstRetryMs;
            m_problem.clear();
            m_lostResult = MOSQ_ERR_SUCCESS;
            m_statusSent = false;
            emit connectionChanged(true);
            if (!m_client)
                return;
        }
        if (m_state == State::Connected)
            sendWaiting();
    }
    if (m_lost || mosquitto_socket(m_client) < 0) {
        const bool refused = m_connack > 0 && m_connack != 3;
        endConnection(connectionFailure(), refused || m_lostResult == MOSQ_ERR_TLS);
        return;
    }
    m_writeNotifier.setEnabled(mosquitto_want_write(m_client));
}

void MqttPublisher::sendWaiting()
{
    if (!m_statusSent && !m_status.isEmpty()) {
        int id = 0;
        if (mosquitto_publish(m_client, &id, m_statusTopic.constData(), int(m_status.size()),
                              m_status.constData(), 1, true) != MOSQ_ERR_SUCCESS) {
            m_lost = true;
            return;
        }
        m_statusSent = true;
        m_statusMessageId = id;
    }
    while (m_queue.inFlight() < kMaxInFlight && (m_queue.hasUnsent() || pull())) {
        const QByteArray json = readingJson(m_queue.nextUnsent());
        int id = 0;
        const int result = mosquitto_publish(m_client, &id, m_readingTopic.constData(), int(json.size()),
                                             json.constData(), 1, false);
        if (result != MOSQ_ERR_SUCCESS) {
            m_lost = true;
            m_lostResult = result;
            return;
        }
        m_queue.markSent(id);
    }
}

bool MqttPublisher::pull()
{
    LoggedReading reading;
    if (!m_source || !m_source(&reading))
        return false;
    m_queue.push(reading);
    return true;
}

void MqttPublisher::endConnection(const QString &why, bool fatal)
{
    const bool wasConnected = m_state == State::Connected;
    closeClient();
    m_queue.unsendAll();
    m_statusSent = false;
    m_statusMessageId = 0;
    m_problem = why;
    m_fatal = fatal;
    if (m_state != State::Stopped) {
        m_state = State::Retrying;
        m_retry.start(m_retryMs);
        m_retryMs = std::min(m_retryMs * 2, kLastRetryMs);
    }
    if (wasConnected)
        emit connectionChanged(false);
}

void MqttPublisher::closeClient()
{
    // The notifiers let go of the socket before the library closes it.
    m_readNotifier.setEnabled(false);
    m_writeNotifier.setEnabled(false);
    m_readNotifier.setSocket(-1);
    m_writeNotifier.setSocket(-1);
    if (m_client) {
        mosquitto_destroy(m_client);
        m_client = nullptr;
    }
}

QString MqttPublisher::connectionFailure() const
{
    switch (m_connack) {
    case 1:
        return tr("The broker at %1 does not accept MQTT 3.1.1.").arg(m_url);
    case 2:
        return tr("The broker at %1 refused the client id %2: choose another with --client-id.")
            .arg(m_url, QString::fromUtf8(m_clientId));
    case 3:
        return tr("The broker at %1 is unavailable just now.").arg(m_url);
    case 4:
    case 5:
        return m_user.isEmpty()
                   ? tr("The broker at %1 refused the connection: it wants a user name and password "
                        "(--mqtt-user, --mqtt-password-file).")
                         .arg(m_url)
                   : tr("The broker at %1 refused the user name %2 or its password: check --mqtt-user and "
                        "the password file.")
                         .arg(m_url, QString::fromUtf8(m_user));
    default:
        break;
    }
    QString reason;
    switch (m_lostResult) {
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
        return tr("The encrypted link to %1 failed: check that %2 is the CA that signed the broker's "
                  "certificate, that the certificate is for %3 and that the port speaks TLS.")
            .arg(m_url, QFile::decodeName(m_caFile), QString::fromUtf8(m_host));
    case MOSQ_ERR_EAI:
        return tr("Cannot find the broker's host %1: check the address %2.")
            .arg(QString::fromUtf8(m_host), m_url);
    case MOSQ_ERR_ERRNO:
        reason = QString::fromLocal8Bit(std::strerror(m_lostErrno));
        break;
    case MOSQ_ERR_CONN_LOST:
        reason = tr("the broker closed it");
        break;
    case MOSQ_ERR_KEEPALIVE:
        reason = tr("no answer to the keepalive");
        break;
    default:
        reason = QString::fromUtf8(mosquitto_strerror(m_lostResult));
        break;
    }
    return m_state == State::Connected ? tr("Lost the connection to the broker at %1: %2.").arg(m_url, reason)
                                       : tr("Cannot reach the broker at %1: %2.").arg(m_url, reason);
}

bool MqttPublisher::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.hasExpired(timeoutMs))
            loop.quit();
    });
    poll.start(10);
    if (!done())
        loop.exec();
    return done();
}
