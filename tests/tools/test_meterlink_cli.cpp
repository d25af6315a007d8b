#include "decode/FrameEncoders.h"
#include "decode/MeterDecoder.h"
#include "support/FileBytes.h"
#include "support/PseudoTerminal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kVoltFrame = {0x17, 0x20, 0x35, 0x4D, 0x5B, 0x61, 0x7F, 0x82, 0x97, 0xA0, 0xB0, 0xC0, 0xD4, 0xE0};
const Bytes kMegaOhmOverloadFrame = {0x12, 0x20, 0x30, 0x4F, 0x5D, 0x66, 0x78,
                                     0x80, 0x90, 0xA0, 0xB2, 0xC4, 0xD0, 0xE0};

QString cliPath()
{
    return QStringLiteral(METERLINK_CLI_PATH);
}

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
    QByteArray outBytes; // out as written
};

CliRun runCli(const QStringList &args, const Bytes &input = {}, const QString &folder = QString())
{
    QProcess p;
    if (!folder.isEmpty())
        p.setWorkingDirectory(folder);
    p.start(cliPath(), args);
    CliRun r;
    if (!p.waitForStarted(5000)) {
        r.err = p.errorString();
        return r;
    }
    p.write(reinterpret_cast<const char *>(input.data()), static_cast<qint64>(input.size()));
    p.closeWriteChannel();
    p.waitForFinished(10000);
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.outBytes = p.readAllStandardOutput();
    r.out = QString::fromUtf8(r.outBytes);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes blankDigitsFrame()
{
    Or200Display d;
    d.volt = true;
    return encodeOr200(d);
}

class MeterlinkCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(cliPath()).isExecutable())
            << "meterlink-cli not built at " << cliPath().toStdString();
    }
};

} // namespace

TEST_F(MeterlinkCli, DecodePrintsOneLinePerFrame)
{
    const Bytes stream = concat({kVoltFrame, blankDigitsFrame(), kMegaOhmOverloadFrame});
    const CliRun r = runCli({QStringLiteral("decode")}, stream);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), "1.234\tV\tDC\tAUTO\t1234\n"
                                   "error\t'' is not a valid integer value\n"
                                   ".0L\tM*\t\tAUTO\t4000\n");
}

TEST_F(MeterlinkCli, DecodeVerboseAddsInputsCaptionsAndSortedElements)
{
    const CliRun r = runCli({QStringLiteral("decode"), QStringLiteral("--verbose")},
                            concat({kVoltFrame, kMegaOhmOverloadFrame}));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), "1.234\tV\tDC\tAUTO\t1234\t523\t12\t1234\t1|2|3|4\t"
                                   "LCD232C,LCDRS,LcdAuto,LcdDa,LcdDb,LcdDc,LcdDd,LcdP1,LcdV\n"
                                   ".0L\tM*\t\tAUTO\t4000\t800\t40\t4000\t|0|@|\t"
                                   "LCDM1,LCDohm,LcdAuto,LcdDa,LcdDb,LcdDc,LcdDd,LcdP1\n");
}

TEST_F(MeterlinkCli, SelectorsBindFamilyAndRangeAsAtStartUp)
{
    const struct
    {
        const char *models;
        const char *expected;
    } rows[] = {
        {"IFOR210", ".0L\tM*\t\tAUTO\t4000\n"},
        {"IFOther", ".0L\tM*\t\tAUTO\t4000\n"},
        {"IFOR220", ""},         // VS500 bound: the OR200 bytes are no frame
        {"IFOR250,IF7740x", ""}, // the variant keeps the VS500 family
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.models);
        const CliRun r =
            runCli({QStringLiteral("decode"), QStringLiteral("--model"), QString::fromLatin1(row.models)},
                   kMegaOhmOverloadFrame);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.out.toStdString(), row.expected);
    }
}

TEST_F(MeterlinkCli, DecodeReadsAFile)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    const Bytes stream = concat({Bytes{0x11, 0x22}, kVoltFrame, kVoltFrame});
    file.write(reinterpret_cast<const char *>(stream.data()), static_cast<qint64>(stream.size()));
    file.close();
    const CliRun r = runCli({QStringLiteral("decode"), file.fileName()});
    EXPECT_EQ(r.exitCode, 0);
    // The stray bytes spoil the first frame only.
    EXPECT_EQ(r.out.toStdString(), "1.234\tV\tDC\tAUTO\t1234\n");
}

TEST_F(MeterlinkCli, DecodesACapturedCrLfStreamAsItsCrOnlyTwin)
{
    // 26 OR250 lines captured from the simulator, each ended with CR LF.
    QFile capture(qEnvironmentVariable("METERLINK_TEST_DATA") + QStringLiteral("/or250_crlf.bin"));
    ASSERT_TRUE(capture.open(QIODevice::ReadOnly)) << capture.fileName().toStdString();
    const QByteArray crlf = capture.readAll();
    QByteArray crOnly = crlf;
    crOnly.replace("\r\n", "\r");
    ASSERT_EQ(crlf.count('\n'), 26);

    const QStringList args = {QStringLiteral("decode"), QStringLiteral("--model"), QStringLiteral("IFOR250"),
                              QStringLiteral("--verbose")};
    const CliRun withLineFeeds = runCli(args, Bytes(crlf.begin(), crlf.end()));
    const CliRun without = runCli(args, Bytes(crOnly.begin(), crOnly.end()));
    EXPECT_EQ(withLineFeeds.exitCode, 0) << withLineFeeds.err.toStdString();
    EXPECT_EQ(withLineFeeds.out.count(QLatin1Char('\n')), 26);
    EXPECT_FALSE(withLineFeeds.out.contains(QStringLiteral("error")));
    EXPECT_EQ(withLineFeeds.out, without.out);
}

TEST_F(MeterlinkCli, HelpAndVersionExitWithZero)
{
    const struct
    {
        const char *arg;
        const char *startsWith;
    } rows[] = {
        {"--help", "Usage:\n"}, {"-h", "Usage:\n"}, {"--version", "meterlink-cli " METERLINK_VERSION "\n"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.arg);
        const CliRun r = runCli({QLatin1String(row.arg)});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.out.startsWith(QLatin1String(row.startsWith))) << r.out.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    }
}

TEST_F(MeterlinkCli, EachCommandsHelpExitsWithZero)
{
    for (const char *command : {"simulate", "log"}) {
        const CliRun r = runCli({QLatin1String(command), QStringLiteral("--help")});
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_TRUE(
            r.out.startsWith(QStringLiteral("Usage:\n  meterlink-cli %1").arg(QLatin1String(command))))
            << r.out.toStdString();
    }
}

TEST_F(MeterlinkCli, PortsTellWhichComNameEachDeviceIsAndWhetherItOpens)
{
    PseudoTerminal pty;
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("ttyGone"));
    qputenv("METERLINK_COM2", QFile::encodeName(pty.slavePath()));
    qputenv("METERLINK_COM4", QFile::encodeName(missing));
    const CliRun r = runCli({QStringLiteral("ports")});
    qunsetenv("METERLINK_COM2");
    qunsetenv("METERLINK_COM4");
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(QLatin1Char('\n'));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("DEVICE"))) << r.out.toStdString();
    const auto lineFor = [&lines](const QString &device) {
        for (const QString &line : lines)
            if (line.startsWith(device + QLatin1Char(' ')))
                return line.simplified().split(QLatin1Char(' '));
        return QStringList();
    };
    const QStringList present = lineFor(pty.slavePath());
    ASSERT_GE(present.size(), 6) << r.out.toStdString();
    EXPECT_EQ(present.at(1), QStringLiteral("COM2"));
    EXPECT_EQ(present.last(), QStringLiteral("yes"));
    const QStringList gone = lineFor(missing);
    ASSERT_GE(gone.size(), 6) << r.out.toStdString();
    EXPECT_EQ(gone.at(1), QStringLiteral("COM4"));
    EXPECT_TRUE(r.out.contains(QStringLiteral("no: not present")));
}

TEST_F(MeterlinkCli, BadArgumentsExitWithTwoAndSayWhy)
{
    const struct
    {
        QStringList args;
        const char *inMessage;
    } rows[] = {
        {{QStringLiteral("decode"), QStringLiteral("--model"), QStringLiteral("IFOR210,IFXYZ")}, "IFXYZ"},
        {{QStringLiteral("decode"), QStringLiteral("/nonexistent/capture.bin")}, "/nonexistent/capture.bin"},
        {{QStringLiteral("decode"), QStringLiteral("--fast")}, "--fast"},
        {{QStringLiteral("simulate"), QStringLiteral("--model"), QStringLiteral("OR210")}, "OR210"},
        {{QStringLiteral("simulate"), QStringLiteral("--model"), QStringLiteral("IF7740x")}, "IF7740x"},
        // Two models, or the VS500 variant with an OR200 model, would leave frames undecoded.
        {{QStringLiteral("decode"), QStringLiteral("--model"), QStringLiteral("IFOR250,IFOR210")},
         "2 meter models (IFOR210 and IFOR250)"},
        {{QStringLiteral("decode"), QStringLiteral("--model"), QStringLiteral("IF7740x")}, "IFVS500,IF7740x"},
        {{QStringLiteral("simulate"), QStringLiteral("--model"), QStringLiteral("IFOR210,IF7740x")},
         "cannot go with IFOR210"},
        {{QStringLiteral("log"), QStringLiteral("--model"), QStringLiteral("IFOther,IFOR220"),
          QStringLiteral("--input"), QStringLiteral("-")},
         "2 meter models"},
        {{QStringLiteral("--bogus"), QStringLiteral("--version")}, "--bogus"},
        {{QStringLiteral("--version"), QStringLiteral("--bogus")}, "--bogus"},
        {{QStringLiteral("--help"), QStringLiteral("decode")}, "decode"},
        {{QStringLiteral("simulate"), QStringLiteral("--rate"), QStringLiteral("0")}, "--rate"},
        {{QStringLiteral("frobnicate")}, "frobnicate"},
        {{QStringLiteral("convert")}, "convert IN OUT"},
        {{QStringLiteral("convert"), QStringLiteral("in.db")}, "convert IN OUT"},
        {{QStringLiteral("convert"), QStringLiteral("a.db"), QStringLiteral("b.db"), QStringLiteral("c.db")},
         "convert IN OUT"},
        {{QStringLiteral("convert"), QStringLiteral("--force"), QStringLiteral("a.db"),
          QStringLiteral("b.db")},
         "--force"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.args.join(QLatin1Char(' ')).toStdString());
        const CliRun r = runCli(row.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.contains(QString::fromLatin1(row.inMessage))) << r.err.toStdString();
    }
}

namespace {

struct Received
{
    int ok = 0;
    int failed = 0;
    int sentSaid = -1; // the count the simulator gave when it ended
};

// Starts the simulator, leaves its pseudo-terminal unread for a while (no reader yet must not stop
// it), then reads it for readMs and decodes what arrives.
Received simulateAndDecode(const QString &model, int readMs, int *exitCode)
{
    Received got;
    QProcess sim;
    sim.start(cliPath(), {QStringLiteral("simulate"), QStringLiteral("--model"), model});
    if (!sim.waitForStarted(5000))
        return got;
    QElapsedTimer wait;
    wait.start();
    while (!sim.canReadLine() && wait.elapsed() < 5000)
        sim.waitForReadyRead(100);
    const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();
    EXPECT_TRUE(path.startsWith(QStringLiteral("/dev/"))) << path.toStdString();

    ::usleep(700 * 1000);
    EXPECT_EQ(sim.state(), QProcess::Running);

    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path.toStdString() << ": " << std::strerror(errno);
    if (fd >= 0) {
        ModelSelector selector;
        modelSelectorFromName(model.toStdString(), &selector);
        ModelSelectors selectors;
        selectors.set(static_cast<size_t>(selector));
        const ModelProfile profile = profileFor(selectors);
        MeterDecoder decoder(profile.family, DecodeContext{selectors, rangeConstantsFor(profile.rangeClass)});
        QElapsedTimer reading;
        reading.start();
        uint8_t buffer[256];
        while (reading.elapsed() < readMs) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                decoder.receive(buffer, static_cast<size_t>(n),
                                [&got](const FrameOutcome &o) { ++(o.ok ? got.ok : got.failed); });
            }
        }
        ::close(fd);
    }
    sim.terminate();
    EXPECT_TRUE(sim.waitForFinished(5000));
    const QRegularExpressionMatch said = QRegularExpression(QStringLiteral("(\\d+) frames sent"))
                                             .match(QString::fromUtf8(sim.readAllStandardError()));
    got.sentSaid = said.hasMatch() ? said.captured(1).toInt() : -1;
    *exitCode = sim.exitStatus() == QProcess::NormalExit ? sim.exitCode() : -1;
    return got;
}

} // namespace

TEST_F(MeterlinkCli, SimulatorFeedsAPseudoTerminalAtTheMetersPace)
{
    const struct
    {
        const char *model;
        int minFrames, maxFrames; // within 1.5 s of reading, including what waited unread
    } rows[] = {
        {"IFOR210", 4, 12},  // ~300 ms per frame
        {"IFOR240", 14, 30}, // 19200 baud: ~100 ms per frame
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.model);
        int exitCode = -1;
        const Received got = simulateAndDecode(QString::fromLatin1(row.model), 1500, &exitCode);
        EXPECT_EQ(got.failed, 0);
        EXPECT_GE(got.ok, row.minFrames);
        EXPECT_LE(got.ok, row.maxFrames);
        EXPECT_GE(got.sentSaid, got.ok) << "every frame read was sent";
        EXPECT_EQ(exitCode, 0);
    }
}

// ---- convert

namespace {

// A table file as another program writes it.
void writeTable(const QString &path, const std::string &rows)
{
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    const std::string sql =
        "CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, "
        "AUTO TEXT, Nval REAL);" +
        rows;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

} // namespace

TEST_F(MeterlinkCli, ConvertWritesATableCopyOrTheTextAsTheNameSays)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("run.db"));
    writeTable(in,
               "INSERT INTO Readings VALUES (1, '10:00:00.000', 'DC', '1.000', '\xc2\xb5V', 'AUTO', 1000);"
               "INSERT INTO Readings VALUES (2, '10:00:00.500', 'AC', '-0.5', 'k*', 'MANU', -500);");
    const QByteArray text = "No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n"
                            "1\t10:00:00.000\tDC\t1.000\t\xb5V\tAUTO\r\n"
                            "2\t10:00:00.500\tAC\t-0.5\tk*\tMANU\r\n";
    for (const char *name : {"out.xls", "out.Db.txt", "out"}) {
        SCOPED_TRACE(name);
        const CliRun r = runCli({QStringLiteral("convert"), in, dir.filePath(QLatin1String(name))});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        EXPECT_EQ(fileBytes(dir.filePath(QLatin1String(name))), text);
    }
    // "-" is standard output, never a file of that name.
    const CliRun toStdout = runCli({QStringLiteral("convert"), in, QStringLiteral("-")}, {}, dir.path());
    EXPECT_EQ(toStdout.exitCode, 0) << toStdout.err.toStdString();
    EXPECT_EQ(toStdout.outBytes, text);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("-"))));
    // Every usual table name gets a copy, which converts back to the same text.
    for (const char *name : {"copy.db", "copy.DB", "copy.Db", "copy.sqlite", "copy.SQLITE3"}) {
        SCOPED_TRACE(name);
        const QString copy = dir.filePath(QLatin1String(name));
        ASSERT_EQ(runCli({QStringLiteral("convert"), in, copy}).exitCode, 0);
        EXPECT_TRUE(fileBytes(copy).startsWith("SQLite format 3"));
        ASSERT_EQ(
            runCli({QStringLiteral("convert"), copy, dir.filePath(QStringLiteral("back.txt"))}).exitCode, 0);
        EXPECT_EQ(fileBytes(dir.filePath(QStringLiteral("back.txt"))), text);
    }
}

// The sqlite3 client's .import makes every field text; such a table converts as if typed.
TEST_F(MeterlinkCli, ConvertReadsATableTheCommandLineClientImported)
{
    const QString client = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (client.isEmpty())
        GTEST_SKIP() << "sqlite3 command-line client not installed";
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("run.csv"));
    writeBytes(csv, "No,Time,DC/AC,Value,Unit,AUTO,Nval\n"
                    "1,12:34:56.789,DC,1.000,V,AUTO,1000\n"
                    "2,23:59:59.999,AC,-0.000,mV,MANU,-0.1\n");
    const QString table = dir.filePath(QStringLiteral("imported.db"));
    QProcess p;
    p.start(client, {table, QStringLiteral(".import --csv %1 Readings").arg(csv)});
    ASSERT_TRUE(p.waitForFinished(10000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();

    const CliRun r = runCli({QStringLiteral("convert"), table, QStringLiteral("-")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.outBytes, QByteArray("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n"
                                     "1\t12:34:56.789\tDC\t1.000\tV\tAUTO\r\n"
                                     "2\t23:59:59.999\tAC\t-0.000\tmV\tMANU\r\n"));
}

// The refusals of the window's open and save, each with its message on standard error and OUT left
// as it was.
TEST_F(MeterlinkCli, ConvertRefusesAsTheWindowDoesAndLeavesOutAlone)
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.db"));
    writeTable(good, "INSERT INTO Readings VALUES (1, '10:00:00.000', 'DC', '1.000', 'V', 'AUTO', 1000);");
    const QString omega = dir.filePath(QStringLiteral("omega.db"));
    writeTable(
        omega,
        "INSERT INTO Readings VALUES (1, '', '', '1', 'V', '', 1), (2, '', '', '2', '\xe2\x84\xa6', '', 2);");
    const QString cut = dir.filePath(QStringLiteral("cut.db"));
    std::string many = "BEGIN;";
    for (int i = 1; i <= 500; ++i)
        many += "INSERT INTO Readings VALUES (" + std::to_string(i) +
                ", '10:00:00.000', 'DC', '1.000', 'V', 'AUTO', 1);";
    writeTable(cut, many + "COMMIT;");
    writeBytes(cut, fileBytes(cut).left(20000));
    const QString notes = dir.filePath(QStringLiteral("notes.db"));
    writeBytes(notes, "not a table");
    const QString working = dir.filePath(QStringLiteral("Vs500db.DB"));
    writeTable(working, "");

    const struct
    {
        QString in;
        const char *out;
        const char *message;
    } cases[] = {
        {notes, "out.db", "notes.db: file is not a database"},
        {cut, "out.db", "cut.db: the file is damaged and was not opened"},
        {omega, "out.xls", "The row with No 2: its field Unit holds"},
        {good, "Vs500db.DB", "working table"},
        {good, "link.txt", "are the same file"},
        {good, "link.db", "are the same file"},
        {good, "fifo.xls", "fifo.xls\nit is not a regular file but a FIFO"},
    };
    ASSERT_TRUE(QFile::link(good, dir.filePath(QStringLiteral("link.db"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo.xls"))).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(good, dir.filePath(QStringLiteral("link.txt"))));
    writeBytes(dir.filePath(QStringLiteral("out.db")), "older");
    writeBytes(dir.filePath(QStringLiteral("out.xls")), "older");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        const QString out = dir.filePath(QLatin1String(c.out));
        const QByteArray kept = QFileInfo(out).isFile() ? fileBytes(out) : QByteArray();
        const CliRun r = runCli({QStringLiteral("convert"), c.in, QLatin1String(c.out)}, {}, dir.path());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
        if (QFileInfo(out).isFile()) {
            EXPECT_EQ(fileBytes(out), kept);
        }
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
              (QStringList{QStringLiteral("Vs500db.DB"), QStringLiteral("cut.db"), QStringLiteral("fifo.xls"),
                           QStringLiteral("good.db"), QStringLiteral("link.db"), QStringLiteral("link.txt"),
                           QStringLiteral("notes.db"), QStringLiteral("omega.db"), QStringLiteral("out.db"),
                           QStringLiteral("out.xls")}));
    EXPECT_FALSE(QFileInfo(dir.filePath(QStringLiteral("fifo.xls"))).isFile()) << "the FIFO was replaced";
}
