#include "CliOptions.h"

#include "store/DataFiles.h"
#include "store/FileKind.h"
#include "store/TableStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include "platform/File.h"
#include "platform/StopSignals.h"

#include <cstdio>
#include <cstring>

namespace {

// Progress on standard error, only where someone watches it (a terminal) and only for work that
// takes long enough to need it; Ctrl+C or a termination signal stops the work cleanly.
class TerminalProgress
{
public:
    static constexpr qint64 kShowAfterMs = 500;
    static constexpr qint64 kRedrawMs = 100;

    TerminalProgress() : m_terminal(platform::File::standardError().isTerminal()) {}
    ~TerminalProgress() { clearLine(); }

    WorkProgress start(const QString &what)
    {
        clearLine();
        m_what = what.toLocal8Bit();
        m_clock.start();
        m_lastDraw = -kRedrawMs;
        return [this](int64_t done, int64_t total) {
            return report(done, total);
        };
    }

private:
    bool report(int64_t done, int64_t total)
    {
        const qint64 elapsed = m_clock.elapsed();
        if (m_terminal && elapsed >= kShowAfterMs && elapsed - m_lastDraw >= kRedrawMs) {
            m_lastDraw = elapsed;
            std::fprintf(stderr, "\r%s %3d%%", m_what.constData(), total > 0 ? int(done * 100 / total) : 0);
            std::fflush(stderr);
            m_drawn = true;
        }
        return !platform::stopRequested();
    }

    void clearLine()
    {
        if (m_drawn)
            std::fputs("\r\033[K", stderr);
        m_drawn = false;
    }

    bool m_terminal;
    bool m_drawn = false;
    QByteArray m_what;
    QElapsedTimer m_clock;
    qint64 m_lastDraw = 0;
};

int failed(const QString &message)
{
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    return 1;
}

const char kConvertUsage[] =
    "Usage: meterlink-cli convert IN OUT\n"
    "Reads the table file IN with the checks of \"Open old data files\" and writes OUT. OUT's name\n"
    "decides what is written:\n"
    "  NAME.db (any letter case), NAME.sqlite, NAME.sqlite3   a table copy\n"
    "  -                                                      the tab-separated text, on standard output\n"
    "  any other name                                         the tab-separated text\n"
    "OUT must be a regular file or a new name, neither IN nor the working table Vs500db.DB of the\n"
    "current folder. It is replaced only once it is complete.\n"
    "Exit status: 0 written; 1 refused, failed or stopped (the message on standard error, OUT as it\n"
    "was); 2 usage.\n";

} // namespace

int runConvert(int argc, char **argv)
{
    QStringList files;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            for (++i; i < argc; ++i)
                files << QFile::decodeName(argv[i]);
            break;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kConvertUsage, stdout);
            return 0;
        }
        // "-" alone is standard output.
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "meterlink-cli convert: unknown option '%s'\n", argv[i]);
            return kUsageExitCode;
        }
        files << QFile::decodeName(argv[i]);
    }
    if (files.size() != 2) {
        std::fputs("meterlink-cli convert: give the table file to read and the file to write: "
                   "convert IN OUT\n",
                   stderr);
        return kUsageExitCode;
    }
    const QString &in = files[0];
    const QString &out = files[1];
    const bool toStandardOutput = out == QLatin1String("-");
    if (!toStandardOutput && sameFile(in, out))
        return failed(QStringLiteral("meterlink-cli convert: %1 and %2 are the same file: writing it would "
                                     "replace the table being read. Choose another OUT.")
                          .arg(in, out));

    // A window started here records into this table; convert leaves it alone whatever it would write.
    if (!toStandardOutput && isWorkingTableFile(out, QDir::currentPath()))
        return failed(QStringLiteral("meterlink-cli convert: %1 is the working table's file, which a window "
                                     "started here records into. Choose another OUT.")
                          .arg(out));

    platform::installStopHandlers(false);
    const auto cancelled = [] {
        return failed(QStringLiteral("meterlink-cli convert: stopped; nothing was written"));
    };

    TerminalProgress progress;
    TableStore table;
    if (!table.openFile(in, progress.start(QStringLiteral("Reading ") + in)))
        return table.wasCancelled() ? cancelled() : failed(table.lastError());
    if (toStandardOutput) {
        QString reason;
        platform::File standardOutput = platform::File::standardOutput();
        if (exportTableToStream(table, standardOutput, &reason, progress.start(QStringLiteral("Writing"))))
            return 0;
        return failed(reason.isEmpty() ? QStringLiteral("meterlink-cli convert: stopped")
                                       : QStringLiteral("meterlink-cli convert: standard output: ") + reason);
    }
    // The working table is the one a window started from here would record into.
    const SaveOutcome outcome = saveTableAs(table, out, isTableFileName(out), QDir::currentPath(),
                                            progress.start(QStringLiteral("Writing ") + out));
    switch (outcome.result) {
    case SaveOutcome::Result::Saved:
        return 0;
    case SaveOutcome::Result::Cancelled:
        return cancelled();
    case SaveOutcome::Result::Failed:
        break;
    }
    return failed(outcome.message);
}
