#include "app/CommandLine.h"
#include "app/VS500F.h"
#include "serial/QuitOnSignals.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

namespace {

QStringList argumentsAfterProgram(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

int main(int argc, char **argv)
{
    // Help, version and a wrong model are answered before a window system is needed.
    const WindowCommandLine early = parseWindowCommandLine(argumentsAfterProgram(argc, argv), false);
    if (early.action != WindowCommandLine::Action::Run)
        return answerCommandLine(early);
    QApplication app(argc, argv);
    const WindowCommandLine commandLine = parseWindowCommandLine(QApplication::arguments().mid(1), true);
    if (commandLine.action != WindowCommandLine::Action::Run)
        return answerCommandLine(commandLine);
    QApplication::setApplicationName(QStringLiteral("MeterLink"));
    QApplication::setOrganizationDomain(QStringLiteral("meterlink.github.io"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.meterlink.MeterLink"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/io.github.meterlink.MeterLink.png")));

    if (commandLine.modelFolder) {
        const QString problem = enterModelFolder(startModel(commandLine));
        if (!problem.isEmpty()) {
            QMessageBox::critical(nullptr, QStringLiteral("MeterLink"), problem);
            return 1;
        }
    }

    const QuitOnSignals quitOnSignals;
    TFCOMM FCOMM;
    QObject::connect(&quitOnSignals, &QuitOnSignals::received, &FCOMM, &TFCOMM::endBySignal);
    if (commandLine.model)
        FCOMM.checkModelSelectors(*commandLine.model);
    FCOMM.FormCreate();
    // A signal during a start-up message box ends the program before its event loop starts.
    if (FCOMM.isEnding())
        return 0;
    FCOMM.show();
    return QApplication::exec();
}
