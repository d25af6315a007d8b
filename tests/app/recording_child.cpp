// A MeterLink window that records from the device given, for tests that act on it from outside
// (signals, kills, a full disk): recording_child FOLDER DEVICE [--boxes]. Prints "recording" once
// connected and shown. With --boxes every question and message is a real box; otherwise messages go to the
// standard error and questions are answered as the last command said. Commands on the standard
// input, one a line, each answered "done" on the standard output:
//   save PATH                    save the reading table to PATH
//   open PATH [save SAVED|discard] open PATH, answering the question as given
//   ask                          Exit, as the user clicks it (its question is a real box with --boxes)
//   fsize BYTES | unlimit        files may grow to BYTES from now on / as far as the system allows
//   status                       print the status line
#include "app/VS500F.h"
#include "serial/QuitOnSignals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void say(const char *text)
{
    std::printf("%s\n", text);
    std::fflush(stdout);
}

void limitFileSize(rlim_t bytes)
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = std::min(bytes, limit.rlim_max);
    setrlimit(RLIMIT_FSIZE, &limit);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    const bool boxes = argc > 3 && qstrcmp(argv[3], "--boxes") == 0;
    // The name a running MeterLink shows to other windows.
    prctl(PR_SET_NAME, "meterlink");
    // A file limit makes a write fail, as a full disk does, instead of ending the process.
    signal(SIGXFSZ, SIG_IGN);
    qputenv("METERLINK_COM1", argv[2]);
    QApplication app(argc, argv);
    const QuitOnSignals quitOnSignals;
    TFCOMM window;
    QObject::connect(&quitOnSignals, &QuitOnSignals::received, &window, &TFCOMM::endBySignal);
    window.setWorkingFolder(QString::fromLocal8Bit(argv[1]));
    WindowPrompts::Choice answer = WindowPrompts::Choice::Cancel;
    QString saveAs;
    if (!boxes) {
        window.setMessageHook([](QMessageBox::Icon, const QString &text) {
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
        });
        window.setChoiceHook([&](const QString &, const QList<WindowPrompts::Choice> &) { return answer; });
        window.setFileHook([&](const FileRequest &) { return saveAs; });
    }
    window.FormCreate();
    if (window.isEnding())
        return 0;
    window.limitessClick();
    window.BTCon1Click();
    // Shown, as a user's window is: its first show offers what earlier runs left.
    window.show();
    say("recording");

    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&commands, &QSocketNotifier::activated, &window, [&] {
        char line[4096];
        if (!std::fgets(line, sizeof line, stdin)) {
            commands.setEnabled(false);
            return;
        }
        const QStringList words = QString::fromLocal8Bit(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString command = words.value(0).trimmed();
        const QString argument = words.value(1).trimmed();
        if (command == QLatin1String("save")) {
            window.saveDataFile(argument);
        } else if (command == QLatin1String("open")) {
            answer = words.value(2).trimmed() == QLatin1String("save") ? WindowPrompts::Choice::Save
                                                                       : WindowPrompts::Choice::Discard;
            saveAs = words.value(3).trimmed();
            window.openDataFile(argument);
        } else if (command == QLatin1String("ask")) {
            say("asking");
            window.BtExit1Click();
        } else if (command == QLatin1String("fsize")) {
            limitFileSize(rlim_t(argument.toLongLong()));
        } else if (command == QLatin1String("unlimit")) {
            limitFileSize(RLIM_INFINITY);
        } else if (command == QLatin1String("status")) {
            say(qPrintable(window.statusText()));
        }
        say("done");
    });
    return QApplication::exec();
}
