#include "app/QuitOnSignals.h"
#include "app/VS500F.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("MeterLink"));
    QApplication::setOrganizationDomain(QStringLiteral("meterlink.example.org"));
    QApplication::setDesktopFileName(QStringLiteral("org.example.MeterLink"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.example.MeterLink.png")));

    const QuitOnSignals quitOnSignals;
    TFCOMM FCOMM;
    FCOMM.FormCreate();
    FCOMM.show();
    return QApplication::exec();
}
