// A MeterLink window that records from the device given, for tests that end it from outside
// (signals, kills): recording_child FOLDER DEVICE. Prints "recording" once connected.
#include "serial/QuitOnSignals.h"
#include "app/VS500F.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    qputenv("METERLINK_COM1", argv[2]);
    QApplication app(argc, argv);
    const QuitOnSignals quitOnSignals;
    TFCOMM window;
    window.setWorkingFolder(QString::fromLocal8Bit(argv[1]));
    window.setMessageHook([](QMessageBox::Icon, const QString &text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    });
    window.FormCreate();
    window.limitessClick();
    window.BTCon1Click();
    std::printf("recording\n");
    std::fflush(stdout);
    return QApplication::exec();
}
