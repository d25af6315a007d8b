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

} // namespace

int runLog(int argc, char **argv)
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
            if (!value(&model))
                return usageError("--model needs a selector");
        } else if (arg == "--device" || arg == "--input") {
            if (!value(&v) || v.empty())
                return usageError(arg + " needs a path");
            settings.source = arg == "--device" ? LogSettings::Source::Device : LogSettings::Source::Input;
            settings.device = QString::fromLocal8Bit(v.c_str());
            ++sources;
        } else if (arg == "--port") {
            if (!value(&v) || v.size() != 4 || v.compare(0, 3, "COM") != 0 || v[3] < '1' || v[3] > '4')
                return usageError("--port takes COM1, COM2, COM3 or COM4");
            settings.source = LogSettings::Source::Port;
            settings.port = v[3] - '1';
            ++sources;
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
            samples = value(&v) ? parseInteger(v) : std::nullopt;
            if (!samples || *samples < 1)
                return usageError("--samples takes a number of readings from 1");
        } else if (arg == "--time") {
            durationMs = value(&v) ? parseDurationMs(v) : std::nullopt;
            if (!durationMs)
                return usageError("--time takes a duration such as 90s, 15m or 2h");
        } else if (arg == "--mqtt-queue") {
            queueMegabytes = value(&v) ? parseInteger(v) : std::nullopt;
            if (!queueMegabytes || *queueMegabytes < 1)
                return usageError("--mqtt-queue takes a whole number of megabytes from 1");
        } else if (arg == "--out") {
            if (!value(&v) || v.empty())
                return usageError("--out needs a file name");
            out = QString::fromLocal8Bit(v.c_str());
        } else if (arg == "--mqtt" || arg == "--topic" || arg == "--client-id" || arg == "--mqtt-user" ||
                   arg == "--mqtt-password-file" || arg == "--mqtt-ca") {
            if (!value(&v))
                return usageError(arg + " needs a value");
            const QString text = QString::fromLocal8Bit(v.c_str());
            if (arg == "--mqtt") {
                mqtt = true;
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
            if (!value(&format) || (format != "tsv" && format != "jsonl" && format != "csv"))
                return usageError("--format takes tsv, jsonl or csv");
        } else if (arg == "--append" || arg == "--no-repeat-filter" || arg == "--header") {
            if (attached)
                return usageError(arg + " takes no value");
            if (arg == "--append")
                append = true;
            else if (arg == "--header")
                header = true;
            else
                settings.repeatFilter = false;
        } else {
            return usageError("unknown option '" + arg + "'");
        }
    }
    if (samples)
        settings.limit = std::min(settings.limit.value_or(*samples - 1), *samples - 1);
    if (model.empty())
        return usageError("--model is needed");
    if (sources != 1)
        return usageError("give one of --device, --port and --input");
    if (append && out.isEmpty())
        return usageError("--append goes with --out");
    if (!mqtt &&
        (!mqttOptions.topic.isEmpty() || !mqttOptions.clientId.isEmpty() || !mqttOptions.user.isEmpty() ||
         !mqttOptions.passwordFile.isEmpty() || !mqttOptions.caFile.isEmpty()))
        return usageError("the broker's options go with --mqtt");
    if (!format.empty() && !out.isEmpty())
        return usageError("--format is for standard output; --out chooses the file's format by its name");
    if (header && format != "tsv" && !(format.empty() && out.isEmpty()))
        return usageError("--header goes with --format tsv (csv always has one)");
    if (queueMegabytes && !mqtt)
        return usageError("--mqtt-queue goes with --mqtt");
    if (queueMegabytes && isTableCopyName(out))
        return usageError(
            "--mqtt-queue bounds the queue in memory; with --out FILE.db the readings wait in the file");
    const std::string problem = readModelChoice(model, &settings.selectors);
    if (!problem.empty())
        return usageError(problem);
    const MeterSetup setup = meterSetupFor(settings.selectors);
    settings.profile = setup.profile;
    settings.range = setup.range;

    int argc0 = 1;
    char name[] = "meterlink-cli";
    char *argv0[] = {name, nullptr};
    QCoreApplication app(argc0, argv0);
    const QuitOnSignals quitOnSignals;
    LogSession session(settings);

    // The broker is asked first: refused credentials or a bad address end the log before anything
    // is recorded. A broker that is merely away is no reason not to record.
    MqttPublisher publisher(nullptr, queueMegabytes ? MqttPublisher::queueCapacityFor(*queueMegabytes)
                                                    : PendingReadings::kDefaultCapacity);
    if (mqtt) {
        if (mqttOptions.topic.isEmpty())
            mqttOptions.topic =
                defaultMqttTopic(QString::fromStdString(model),
                                 settings.source == LogSettings::Source::Port
                                     ? TSerialPortDriver::devicePathFor(TComPortNumber(settings.port))
                                     : settings.device);
        QString error;
        if (!publisher.configure(mqttOptions, &error) || !publisher.start(&error)) {
            std::fprintf(stderr, "meterlink-cli log: %s\n", qPrintable(error));
            return 1;
        }
        if (!publisher.isConnected())
            std::fprintf(stderr, "meterlink-cli log: %s Readings wait until it is there.\n",
                         qPrintable(publisher.problem()));
        publisher.setStatus(LogSession::linkText(session.link()));
        QObject::connect(&session, &LogSession::linkChanged, &publisher,
                         [&](LogSession::Link link) { publisher.setStatus(LogSession::linkText(link)); });
    }
    // With a table, the broker's readings come from it: what the broker has not taken stays there.
    const bool useOutbox = mqtt && isTableCopyName(out);
    // A run without the broker still dates its readings for the one that publishes them later.
    const bool datesOnly = !mqtt && isTableCopyName(out) && QFileInfo::exists(Outbox::sideFileFor(out));
    Outbox outbox;
    const auto brokerWaiting = [&] {
        return useOutbox ? outbox.unacknowledged() : publisher.waiting();
    };
    const auto brokerCounts = [&] {
        return mqtt ? QStringLiteral("  mqtt %1 waiting, %2 delivered, %3 dropped")
                          .arg(brokerWaiting())
                          .arg(publisher.delivered())
                          .arg(publisher.dropped())
                    : QString();
    };

    int64_t lastNo = 0; // the continued file's
    if (out.isEmpty()) {
        std::fflush(stdout);
        session.addOutput(std::make_unique<StreamOutput>(platform::File::standardOutput(),
                                                         format == "jsonl" ? StreamOutput::Format::Jsonl
                                                         : format == "csv" ? StreamOutput::Format::Csv
                                                                           : StreamOutput::Format::Tsv,
                                                         header));
    } else {
        if (const QString problem = saveTargetProblem(out); !problem.isEmpty()) {
            std::fprintf(stderr, "meterlink-cli log: %s: %s\n", qPrintable(out), qPrintable(problem));
            return 1;
        }
        OutputStart start;
        std::unique_ptr<ReadingOutput> file = openOutputFile(out, append, &start);
        if (!file) {
            std::fprintf(stderr, "meterlink-cli log: %s\n", qPrintable(start.error));
            return 1;
        }
        if (!start.notice.isEmpty())
            std::fprintf(stderr, "meterlink-cli log: %s\n", qPrintable(start.notice));
        lastNo = start.lastNo;
        session.continueAfter(start.lastNo);
        session.addOutput(std::move(file));
    }
    if (useOutbox || datesOnly) {
        QString error;
        if (!outbox.open(out, lastNo, &error)) {
            std::fprintf(stderr, "meterlink-cli log: %s\n", qPrintable(error));
            return 1;
        }
        QObject::connect(&session, &LogSession::readingRecorded, &app,
                         [&outbox](const LoggedReading &reading) { outbox.noteRecorded(reading); });
    }
    if (useOutbox) {
        if (outbox.unacknowledged() > 0)
            std::fprintf(stderr,
                         "meterlink-cli log: %lld readings of %s wait for the broker, from number %lld\n",
                         static_cast<long long>(outbox.unacknowledged()), qPrintable(out),
                         static_cast<long long>(outbox.nextNo()));
        publisher.setSource([&outbox](LoggedReading *reading) { return outbox.next(reading); });
        QObject::connect(&session, &LogSession::flushed, &app, [&] {
            outbox.acknowledgedAllBut(publisher.queued());
            publisher.sendMore();
        });
        publisher.sendMore();
    } else if (mqtt) {
        QObject::connect(&session, &LogSession::readingRecorded, &publisher, &MqttPublisher::publish);
    }
    const QString outName = out.isEmpty() ? QStringLiteral("standard output") : out;

    const bool terminal = platform::File::standardError().isTerminal();
    // News goes on its own line, above the status line on a terminal.
    const auto say = [terminal](const QString &message) {
        std::fprintf(stderr, "%smeterlink-cli log: %s\n", terminal ? "\r\033[K" : "", qPrintable(message));
    };
    int status = 0;
    QObject::connect(&session, &LogSession::outputFailed, &app, [&](const QString &message, bool noRoom) {
        say(noRoom ? QStringLiteral("disk full: %1 readings not written (%2: %3). Free some space, then %4.")
                         .arg(session.unwritten())
                         .arg(outName, message,
                              out.isEmpty() ? QStringLiteral("start the log again")
                                            : QStringLiteral("continue the log with --append"))
                   : QStringLiteral("%1: %2: %3 readings not written")
                         .arg(outName, message)
                         .arg(session.unwritten()));
        status = 1;
        QCoreApplication::quit();
    });
    bool writingWaits = false;
    QObject::connect(&session, &LogSession::writingDelayed, &app, [&](const QString &message) {
        writingWaits = true;
        say(QStringLiteral("%1 is locked by another program (%2): writing waits, the readings are kept "
                           "in memory")
                .arg(outName, message));
    });
    QObject::connect(&session, &LogSession::writingResumed, &app, [&] {
        writingWaits = false;
        say(QStringLiteral("writing %1 again, with every reading kept meanwhile").arg(outName));
    });
    QObject::connect(
        &session, &LogSession::inputEnded, &app,
        [&] {
            if (!session.inputError().isEmpty()) {
                say(session.inputError());
                status = 1;
            }
            QCoreApplication::quit();
        },
        Qt::QueuedConnection);
    QObject::connect(&session, &LogSession::limitHit, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    QObject::connect(&session, &LogSession::portLost, &app, say);
    QObject::connect(&session, &LogSession::portRestored, &app, [&] { say(QStringLiteral("reconnected")); });
    QTimer statusLine;
    QObject::connect(&statusLine, &QTimer::timeout, &app, [&] {
        std::fprintf(
            stderr, "\r\033[K%s  %lld readings%s  %lld frames failed  last %s  %s%s",
            qPrintable(duration(session.elapsedMs())), static_cast<long long>(session.recorded()),
            writingWaits ? qPrintable(QStringLiteral(" (%1 wait to be written)").arg(session.unwritten()))
                         : "",
            static_cast<long long>(session.failedFrames()),
            qPrintable(session.lastReading().isEmpty() ? QStringLiteral("-") : session.lastReading()),
            qPrintable(LogSession::linkText(session.link())), qPrintable(brokerCounts()));
        std::fflush(stderr);
    });

    QString error;
    if (!session.start(&error)) {
        std::fprintf(stderr, "meterlink-cli log: %s\n", qPrintable(error));
        return 1;
    }
    if (terminal)
        statusLine.start(250);
    QTimer timeUp;
    timeUp.setSingleShot(true);
    QObject::connect(&timeUp, &QTimer::timeout, &app, &QCoreApplication::quit);
    if (durationMs)
        timeUp.start(std::chrono::milliseconds(*durationMs));
    QCoreApplication::exec();
    statusLine.stop();
    session.stop();
    const qint64 loggedMs = session.elapsedMs();
    // A table another program holds locked gets a little longer before its readings are given up.
    QElapsedTimer endWait;
    endWait.start();
    FlushResult flushed = session.flush();
    while (flushed == FlushResult::Delayed && endWait.elapsed() < kEndWaitMs) {
        QThread::msleep(50);
        flushed = session.flush();
    }
    if (flushed == FlushResult::Delayed) {
        say(QStringLiteral("%1 stayed locked by another program: %2 readings not written")
                .arg(outName)
                .arg(session.unwritten()));
        status = 1;
    }
    if (mqtt) {
        if (brokerWaiting() > 0)
            say(QStringLiteral("waiting up to %1 s for the broker to take %2 readings")
                    .arg(kEndWaitMs / 1000)
                    .arg(brokerWaiting()));
        publisher.stop(kEndWaitMs);
        if (useOutbox)
            outbox.acknowledgedAllBut(publisher.queued());
    }
    std::fprintf(stderr, "%smeterlink-cli log: %lld readings recorded in %s, %lld frames failed%s\n",
                 terminal ? "\r\033[K" : "", static_cast<long long>(session.recorded()),
                 qPrintable(duration(loggedMs)), static_cast<long long>(session.failedFrames()),
                 qPrintable(brokerCounts()));
    const qint64 notDelivered = mqtt ? brokerWaiting() + publisher.dropped() : 0;
    if (notDelivered > 0) {
        say(QStringLiteral("%1 readings not delivered to the broker (%2); they are in %3%4")
                .arg(notDelivered)
                .arg(publisher.problem().isEmpty() ? QStringLiteral("it did not acknowledge them in time")
                                                   : publisher.problem(),
                     outName,
                     useOutbox
                         ? QStringLiteral(", and the next log with --append and --mqtt publishes them first")
                         : QString()));
        if (status == 0)
            status = 3;
    }
    return status;
}
