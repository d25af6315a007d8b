#include "CliOptions.h"

#include "decode/IntegerText.h"
#include "logger/LogSession.h"
#include "logger/MqttPublisher.h"
#include "logger/Outbox.h"
#include "platform/File.h"
#include "serial/QuitOnSignals.h"
#include "serial/SerialDriver.h"
#include "store/DataFiles.h"
#include "store/FileKind.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kLogUsage[] =
    "Usage:\n"
    "  meterlink-cli log --model SEL (--device PATH | --port COMn | --input FILE) [--interval S]\n"
    "                    [--no-repeat-filter] [--limit N] [--samples N] [--time DURATION]\n"
    "                    [--out FILE [--append]] [--format tsv|jsonl|csv] [--header]\n"
    "                    [--mqtt mqtt://HOST[:PORT] [--topic TOPIC] [--client-id ID] [--mqtt-queue MB]\n"
    "                     [--mqtt-user NAME --mqtt-password-file FILE] [--mqtt-ca FILE]]\n"
    "\n"
    "Records a meter's readings without the window, by the window's recording rules. Each reading's\n"
    "time is its own frame's arrival, to the millisecond. Options take --opt VALUE or --opt=VALUE.\n"
    "\n"
    "  --model SEL         the meter model's selector (as for decode), e.g. IFOR210 or IFOR250\n"
    "  --device PATH       read the serial device at PATH with the model's line settings; an\n"
    "                      unplugged adapter is opened again about once a second\n"
    "  --port COMn         the same for COM1..COM4, mapped as the window maps them\n"
    "  --input FILE        read a captured byte stream instead (\"-\" for standard input)\n"
    "  --interval S        record one reading every S seconds (the Sampling Interval box);\n"
    "                      without it every frame is a candidate\n"
    "  --no-repeat-filter  record a reading even when it equals the last one recorded\n"
    "  --limit N           end the log after N+1 readings, as the window's record limit N keeps\n"
    "                      N+1 rows; default no limit\n"
    "  --samples N         end the log after N readings\n"
    "  --time DURATION     end the log after DURATION: 90s, 15m, 2h (a plain number is seconds)\n"
    "  --out FILE          a name ending in .db writes a table (the seven fields, readable by other\n"
    "                      programs while the log runs); any other name the text export's format\n"
    "                      (header, TAB, CR LF, Latin-1). Written at least once a second.\n"
    "  --append            continue an existing --out file written by log, numbering on; without it an\n"
    "                      existing file is refused\n"
    "  --format tsv|jsonl|csv\n"
    "                      without --out, one line per reading on standard output: tab-separated\n"
    "                      time, value, unit, DC/AC, Auto, Nval (tsv, the default); one JSON object\n"
    "                      with time, no, value, unit, dcac, auto, nval, si (the value in its SI unit,\n"
    "                      null on overload), si_unit, overload (jsonl); or RFC 4180 CSV in UTF-8 with\n"
    "                      a header line: time (ISO 8601 with the date and UTC offset), no, value,\n"
    "                      unit, si, si_unit, dcac, auto, nval, overload (csv)\n"
    "  --header            with tsv, a first line naming the columns\n"
    "  --mqtt URL          also publish each reading, as the JSON object of jsonl, to a broker:\n"
    "                      mqtt://HOST[:PORT], or mqtts://HOST[:PORT] with --mqtt-ca; QoS 1 to\n"
    "                      TOPIC/reading, the link state retained to TOPIC/status (\"offline\" when\n"
    "                      the logger ends or dies). Readings wait, in order, while the broker is away:\n"
    "                      with --out FILE.db in the table itself, also across a kill and a later\n"
    "                      --append run (FILE.db.unsent holds the first number not acknowledged);\n"
    "                      otherwise in memory\n"
    "  --topic TOPIC       default meterlink/<model selector>/<device's base name>\n"
    "  --mqtt-queue MB     without a .db output, the memory the waiting readings may take; past it\n"
    "                      the oldest go and are counted (summary, TOPIC/status); default 459\n"
    "                      (24 hours at 174 readings a second)\n"
    "  --client-id ID      the client's name at the broker; default one of its own\n"
    "  --mqtt-user NAME    log in as NAME, with the password read from --mqtt-password-file FILE\n"
    "                      (never from the command line, where other users could see it)\n"
    "  --mqtt-ca FILE      the CA certificate that signed the broker's (PEM), for mqtts://\n"
    "\n"
    "On a terminal, standard error shows one status line. Ctrl+C, SIGTERM and SIGHUP end the log\n"
    "cleanly with a summary; so do the end of --input, --limit, --samples and --time.\n"
    "\n"
    "Exit status:\n"
    "  0  the log ended as asked and every reading recorded is in the output\n"
    "  1  the port, the input or the output failed: a full disk, a file that cannot be written, a\n"
    "     table another program still held locked 5 s after the end; standard error says how\n"
    "     many readings were not written\n"
    "  2  the command line is wrong\n"
    "  3  with --mqtt, readings the broker had not taken 5 s after the end (they are in the output);\n"
    "     when 1 applies as well, the status is 1\n";

// How long the end of the log waits for a table another program holds locked, and for the broker.
constexpr int kEndWaitMs = 5000;

int usageError(const std::string &message)
{
    std::fprintf(stderr, "meterlink-cli log: %s\n", message.c_str());
    std::fputs("Try 'meterlink-cli log --help'.\n", stderr);
    return kUsageExitCode;
}

// "90s", "15m", "2h" or a plain number of seconds.
std::optional<qint64> parseDurationMs(std::string text)
{
    qint64 unitMs = 1000;
    if (!text.empty() && (text.back() == 's' || text.back() == 'm' || text.back() == 'h')) {
        unitMs = text.back() == 'h' ? 3600000 : text.back() == 'm' ? 60000 : 1000;
        text.pop_back();
    }
    const std::optional<int32_t> count = parseInteger(text);
    if (!count || *count < 1)
        return std::nullopt;
    return *count * unitMs;
}

QString duration(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

// What the command line asked for.
struct LogOptions
{
    LogSettings settings;
    std::string model;
    int sources = 0;
    QString out;
    bool append = false;
    std::string format;
    MqttOptions mqttOptions;
    bool mqtt = false;
    std::optional<qint64> durationMs;
    std::optional<int32_t> samples;
    std::optional<int32_t> queueMegabytes;
    bool header = false;
};

// Reads the options one by one; an exit status when the command ends here (help, a wrong option).
std::optional<int> readLogOptions(int argc, char **argv, LogOptions *o)
{
    LogSettings &settings = o->settings;
    MqttOptions &mqttOptions = o->mqttOptions;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        // --opt=value and --opt value alike.
        std::optional<std::string> attached;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            attached = arg.substr(eq + 1);
            arg.resize(eq);
        }
        const auto value = [&](std::string *into) {
            if (attached) {
                *into = *std::exchange(attached, std::nullopt);
                return true;
            }
            if (i + 1 >= argc)
                return false;
            *into = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kLogUsage, stdout);
            return 0;
        } else if (arg == "--model") {
            if (!value(&o->model))
                return usageError("--model needs a selector");
        } else if (arg == "--device" || arg == "--input") {
            if (!value(&v) || v.empty())
                return usageError(arg + " needs a path");
            settings.source = arg == "--device" ? LogSettings::Source::Device : LogSettings::Source::Input;
            settings.device = QString::fromLocal8Bit(v.c_str());
            ++o->sources;
        } else if (arg == "--port") {
            if (!value(&v) || v.size() != 4 || v.compare(0, 3, "COM") != 0 || v[3] < '1' || v[3] > '4')
                return usageError("--port takes COM1, COM2, COM3 or COM4");
            settings.source = LogSettings::Source::Port;
            settings.port = v[3] - '1';
            ++o->sources;
        } else if (arg == "--interval") {
            const std::optional<int32_t> seconds = value(&v) ? parseInteger(v) : std::nullopt;
            if (!seconds || *seconds < 0)
                return usageError("--interval takes a whole number of seconds");
            settings.intervalSeconds = *seconds;
        } else if (arg == "--limit") {
            const std::optional<int32_t> limit = value(&v) ? parseInteger(v) : std::nullopt;
            if (!limit || *limit < 0)
                return usageError("--limit takes a whole number of readings");
            settings.limit = *limit;
        } else if (arg == "--samples") {
            o->samples = value(&v) ? parseInteger(v) : std::nullopt;
            if (!o->samples || *o->samples < 1)
                return usageError("--samples takes a number of readings from 1");
        } else if (arg == "--time") {
            o->durationMs = value(&v) ? parseDurationMs(v) : std::nullopt;
            if (!o->durationMs)
                return usageError("--time takes a duration such as 90s, 15m or 2h");
        } else if (arg == "--mqtt-queue") {
            o->queueMegabytes = value(&v) ? parseInteger(v) : std::nullopt;
            if (!o->queueMegabytes || *o->queueMegabytes < 1)
                return usageError("--mqtt-queue takes a whole number of megabytes from 1");
        } else if (arg == "--out") {
            if (!value(&v) || v.empty())
                return usageError("--out needs a file name");
            o->out = QString::fromLocal8Bit(v.c_str());
        } else if (arg == "--mqtt" || arg == "--topic" || arg == "--client-id" || arg == "--mqtt-user" ||
                   arg == "--mqtt-password-file" || arg == "--mqtt-ca") {
            if (!value(&v))
                return usageError(arg + " needs a value");
            const QString text = QString::fromLocal8Bit(v.c_str());
            if (arg == "--mqtt") {
                o->mqtt = true;
                mqttOptions.url = text;
            } else if (arg == "--topic") {
                mqttOptions.topic = text;
            } else if (arg == "--client-id") {
                mqttOptions.clientId = text;
            } else if (arg == "--mqtt-user") {
                mqttOptions.user = text;
            } else if (arg == "--mqtt-password-file") {
                mqttOptions.passwordFile = text;
            } else {
                mqttOptions.caFile = text;
            }
        } else if (arg == "--format") {
            if (!value(&o->format) || (o->format != "tsv" && o->format != "jsonl" && o->format != "csv"))
                return usageError("--format takes tsv, jsonl or csv");
        } else if (arg == "--append" || arg == "--no-repeat-filter" || arg == "--header") {
            if (attached)
                return usageError(arg + " takes no value");
            if (arg == "--append")
                o->append = true;
            else if (arg == "--header")
                o->header = true;
            else
                settings.repeatFilter = false;
        } else {
            return usageError("unknown option '" + arg + "'");
        }
    }
    return std::nullopt;
}

// The options that must or must not go together, then the model's line settings and ranges.
std::optional<int> checkLogOptions(LogOptions *o)
{
    const MqttOptions &mqttOptions = o->mqttOptions;
    if (o->samples)
        o->settings.limit = std::min(o->settings.limit.value_or(*o->samples - 1), *o->samples - 1);
    if (o->model.empty())
        return usageError("--model is needed");
    if (o->sources != 1)
        return usageError("give one of --device, --port and --input");
    if (o->append && o->out.isEmpty())
        return usageError("--append goes with --out");
    if (!o->mqtt &&
        (!mqttOptions.topic.isEmpty() || !mqttOptions.clientId.isEmpty() || !mqttOptions.user.isEmpty() ||
         !mqttOptions.passwordFile.isEmpty() || !mqttOptions.caFile.isEmpty()))
        return usageError("the broker's options go with --mqtt");
    if (!o->format.empty() && !o->out.isEmpty())
        return usageError("--format is for standard output; --out chooses the file's format by its name");
    if (o->header && o->format != "tsv" && !(o->format.empty() && o->out.isEmpty()))
        return usageError("--header goes with --format tsv (csv always has one)");
    if (o->queueMegabytes && !o->mqtt)
        return usageError("--mqtt-queue goes with --mqtt");
    if (o->queueMegabytes && isTableCopyName(o->out))
        return usageError(
            "--mqtt-queue bounds the queue in memory; with --out FILE.db the readings wait in the file");
    const std::string problem = readModelChoice(o->model, &o->settings.selectors);
    if (!problem.empty())
        return usageError(problem);
    const MeterSetup setup = meterSetupFor(o->settings.selectors);
    o->settings.profile = setup.profile;
    o->settings.range = setup.range;
    return std::nullopt;
}

// One log from its start to its summary, on the event loop of the program's QCoreApplication.
class LogRun
{
public:
    explicit LogRun(LogOptions *options)
        : m_o(*options), m_session(options->settings),
          m_publisher(nullptr, options->queueMegabytes
                                   ? MqttPublisher::queueCapacityFor(*options->queueMegabytes)
                                   : PendingReadings::kDefaultCapacity),
          // With a table, the broker's readings come from it: what the broker has not taken stays
          // there.
          m_useOutbox(options->mqtt && isTableCopyName(options->out)),
          // A run without the broker still dates its readings for the one that publishes them later.
          m_datesOnly(!options->mqtt && isTableCopyName(options->out) &&
                      QFileInfo::exists(Outbox::sideFileFor(options->out))),
          m_outName(options->out.isEmpty() ? QStringLiteral("standard output") : options->out),
          m_terminal(platform::File::standardError().isTerminal())
    {}

    // The broker is asked first: refused credentials or a bad address end the log before anything
    // is recorded. A broker that is merely away is no reason not to record.
    bool startBroker()
    {
        if (!m_o.mqtt)
            return true;
        MqttOptions &mqttOptions = m_o.mqttOptions;
        const LogSettings &settings = m_o.settings;
        if (mqttOptions.topic.isEmpty())
            mqttOptions.topic =
                defaultMqttTopic(QString::fromStdString(m_o.model),
                                 settings.source == LogSettings::Source::Port
                                     ? TSerialPortDriver::devicePathFor(TComPortNumber(settings.port))
                                     : settings.device);
        QString error;
        if (!m_publisher.configure(mqttOptions, &error) || !m_publisher.start(&error)) {
            std::fprintf(stderr, "meterlink-cli log: %s\n", qPrintable(error));
            return false;
        }
        if (!m_publisher.isConnected())
            std::fprintf(stderr, "meterlink-cli log: %s Readings wait until it is there.\n",
                         qPrintable(m_publisher.problem()));
        m_publisher.setStatus(LogSession::linkText(m_session.link()));
        QObject::connect(&m_session, &LogSession::linkChanged, &m_publisher, [this](LogSession::Link link) {
            m_publisher.setStatus(LogSession::linkText(link));
        });
        return true;
    }

    bool openOutput()
    {
        if (m_o.out.isEmpty()) {
            std::fflush(stdout);
            m_session.addOutput(
                std::make_unique<StreamOutput>(platform::File::standardOutput(),
                                               m_o.format == "jsonl" ? StreamOutput::Format::Jsonl
                                               : m_o.format == "csv" ? StreamOutput::Format::Csv
                                                                     : StreamOutput::Format::Tsv,
                                               m_o.header));
            return true;
        }
        if (const QString problem = saveTargetProblem(m_o.out); !problem.isEmpty()) {
            std::fprintf(stderr, "meterlink-cli log: %s: %s\n", qPrintable(m_o.out), qPrintable(problem));
            return false;
        }
        OutputStart start;
        std::unique_ptr<ReadingOutput> file = openOutputFile(m_o.out, m_o.append, &start);
        if (!file) {
            std::fprintf(stderr, "meterlink-cli log: %s\n", qPrintable(start.error));
            return false;
        }
        if (!start.notice.isEmpty())
            std::fprintf(stderr, "meterlink-cli log: %s\n", qPrintable(start.notice));
        m_lastNo = start.lastNo;
        m_session.continueAfter(start.lastNo);
        m_session.addOutput(std::move(file));
        return true;
    }

    // The table's side file of readings the broker has not taken, and the broker's feed from it.
    bool openOutbox()
    {
        if (m_useOutbox || m_datesOnly) {
            QString error;
            if (!m_outbox.open(m_o.out, m_lastNo, &error)) {
                std::fprintf(stderr, "meterlink-cli log: %s\n", qPrintable(error));
                return false;
            }
            QObject::connect(&m_session, &LogSession::readingRecorded, &m_session,
                             [this](const LoggedReading &reading) { m_outbox.noteRecorded(reading); });
        }
        if (m_useOutbox) {
            if (m_outbox.unacknowledged() > 0)
                std::fprintf(stderr,
                             "meterlink-cli log: %lld readings of %s wait for the broker, from number %lld\n",
                             static_cast<long long>(m_outbox.unacknowledged()), qPrintable(m_o.out),
                             static_cast<long long>(m_outbox.nextNo()));
            m_publisher.setSource([this](LoggedReading *reading) { return m_outbox.next(reading); });
            QObject::connect(&m_session, &LogSession::flushed, &m_session, [this] {
                m_outbox.acknowledgedAllBut(m_publisher.queued());
                m_publisher.sendMore();
            });
            m_publisher.sendMore();
        } else if (m_o.mqtt) {
            QObject::connect(&m_session, &LogSession::readingRecorded, &m_publisher, &MqttPublisher::publish);
        }
        return true;
    }

    // What happens while the log runs goes to standard error; a failure or the end of the input
    // ends the event loop.
    void reportNews()
    {
        QObject::connect(
            &m_session, &LogSession::outputFailed, &m_session, [this](const QString &message, bool noRoom) {
                say(noRoom ? QStringLiteral("disk full: %1 readings not written (%2: %3). "
                                            "Free some space, then %4.")
                                 .arg(m_session.unwritten())
                                 .arg(m_outName, message,
                                      m_o.out.isEmpty() ? QStringLiteral("start the log again")
                                                        : QStringLiteral("continue the log with --append"))
                           : QStringLiteral("%1: %2: %3 readings not written")
                                 .arg(m_outName, message)
                                 .arg(m_session.unwritten()));
                m_status = 1;
                QCoreApplication::quit();
            });
        QObject::connect(&m_session, &LogSession::writingDelayed, &m_session, [this](const QString &message) {
            m_writingWaits = true;
            say(QStringLiteral("%1 is locked by another program (%2): writing waits, the readings are "
                               "kept in memory")
                    .arg(m_outName, message));
        });
        QObject::connect(&m_session, &LogSession::writingResumed, &m_session, [this] {
            m_writingWaits = false;
            say(QStringLiteral("writing %1 again, with every reading kept meanwhile").arg(m_outName));
        });
        QObject::connect(
            &m_session, &LogSession::inputEnded, &m_session,
            [this] {
                if (!m_session.inputError().isEmpty()) {
                    say(m_session.inputError());
                    m_status = 1;
                }
                QCoreApplication::quit();
            },
            Qt::QueuedConnection);
        QObject::connect(&m_session, &LogSession::limitHit, QCoreApplication::instance(),
                         &QCoreApplication::quit, Qt::QueuedConnection);
        QObject::connect(&m_session, &LogSession::portLost, &m_session,
                         [this](const QString &message) { say(message); });
        QObject::connect(&m_session, &LogSession::portRestored, &m_session,
                         [this] { say(QStringLiteral("reconnected")); });
        QObject::connect(&m_statusLine, &QTimer::timeout, &m_session, [this] { showStatusLine(); });
    }

    // Records until a signal, the end of the input, the limit or the time ends the log.
    bool run()
    {
        QString error;
        if (!m_session.start(&error)) {
            std::fprintf(stderr, "meterlink-cli log: %s\n", qPrintable(error));
            return false;
        }
        if (m_terminal)
            m_statusLine.start(250);
        QTimer timeUp;
        timeUp.setSingleShot(true);
        QObject::connect(&timeUp, &QTimer::timeout, QCoreApplication::instance(), &QCoreApplication::quit);
        if (m_o.durationMs)
            timeUp.start(std::chrono::milliseconds(*m_o.durationMs));
        QCoreApplication::exec();
        m_statusLine.stop();
        m_session.stop();
        m_loggedMs = m_session.elapsedMs();
        return true;
    }

    // The last readings to the output and the broker, then the summary; the exit status.
    int finish()
    {
        // A table another program holds locked gets a little longer before its readings are given up.
        QElapsedTimer endWait;
        endWait.start();
        FlushResult flushed = m_session.flush();
        while (flushed == FlushResult::Delayed && endWait.elapsed() < kEndWaitMs) {
            QThread::msleep(50);
            flushed = m_session.flush();
        }
        if (flushed == FlushResult::Delayed) {
            say(QStringLiteral("%1 stayed locked by another program: %2 readings not written")
                    .arg(m_outName)
                    .arg(m_session.unwritten()));
            m_status = 1;
        }
        if (m_o.mqtt) {
            if (brokerWaiting() > 0)
                say(QStringLiteral("waiting up to %1 s for the broker to take %2 readings")
                        .arg(kEndWaitMs / 1000)
                        .arg(brokerWaiting()));
            m_publisher.stop(kEndWaitMs);
            if (m_useOutbox)
                m_outbox.acknowledgedAllBut(m_publisher.queued());
        }
        std::fprintf(stderr, "%smeterlink-cli log: %lld readings recorded in %s, %lld frames failed%s\n",
                     m_terminal ? "\r\033[K" : "", static_cast<long long>(m_session.recorded()),
                     qPrintable(duration(m_loggedMs)), static_cast<long long>(m_session.failedFrames()),
                     qPrintable(brokerCounts()));
        const qint64 notDelivered = m_o.mqtt ? brokerWaiting() + m_publisher.dropped() : 0;
        if (notDelivered > 0) {
            say(QStringLiteral("%1 readings not delivered to the broker (%2); they are in %3%4")
                    .arg(notDelivered)
                    .arg(m_publisher.problem().isEmpty()
                             ? QStringLiteral("it did not acknowledge them in time")
                             : m_publisher.problem(),
                         m_outName,
                         m_useOutbox ? QStringLiteral(
                                           ", and the next log with --append and --mqtt publishes them first")
                                     : QString()));
            if (m_status == 0)
                m_status = 3;
        }
        return m_status;
    }

private:
    // News goes on its own line, above the status line on a terminal.
    void say(const QString &message) const
    {
        std::fprintf(stderr, "%smeterlink-cli log: %s\n", m_terminal ? "\r\033[K" : "", qPrintable(message));
    }

    void showStatusLine() const
    {
        std::fprintf(
            stderr, "\r\033[K%s  %lld readings%s  %lld frames failed  last %s  %s%s",
            qPrintable(duration(m_session.elapsedMs())), static_cast<long long>(m_session.recorded()),
            m_writingWaits ? qPrintable(QStringLiteral(" (%1 wait to be written)").arg(m_session.unwritten()))
                           : "",
            static_cast<long long>(m_session.failedFrames()),
            qPrintable(m_session.lastReading().isEmpty() ? QStringLiteral("-") : m_session.lastReading()),
            qPrintable(LogSession::linkText(m_session.link())), qPrintable(brokerCounts()));
        std::fflush(stderr);
    }

    qint64 brokerWaiting() const { return m_useOutbox ? m_outbox.unacknowledged() : m_publisher.waiting(); }

    QString brokerCounts() const
    {
        return m_o.mqtt ? QStringLiteral("  mqtt %1 waiting, %2 delivered, %3 dropped")
                              .arg(brokerWaiting())
                              .arg(m_publisher.delivered())
                              .arg(m_publisher.dropped())
                        : QString();
    }

    LogOptions &m_o;
    LogSession m_session;
    MqttPublisher m_publisher;
    Outbox m_outbox;
    QTimer m_statusLine;
    const bool m_useOutbox;
    const bool m_datesOnly;
    const QString m_outName;
    const bool m_terminal;
    int64_t m_lastNo = 0; // the continued file's
    qint64 m_loggedMs = 0;
    bool m_writingWaits = false;
    int m_status = 0;
};

} // namespace

int runLog(int argc, char **argv)
{
    LogOptions options;
    if (const std::optional<int> exitStatus = readLogOptions(argc, argv, &options))
        return *exitStatus;
    if (const std::optional<int> exitStatus = checkLogOptions(&options))
        return *exitStatus;

    int argc0 = 1;
    char name[] = "meterlink-cli";
    char *argv0[] = {name, nullptr};
    QCoreApplication app(argc0, argv0);
    const QuitOnSignals quitOnSignals;
    LogRun run(&options);
    if (!run.startBroker() || !run.openOutput() || !run.openOutbox())
        return 1;
    run.reportNews();
    if (!run.run())
        return 1;
    return run.finish();
}
