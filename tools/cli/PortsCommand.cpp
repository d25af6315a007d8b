#include "CliOptions.h"

#include "serial/PortInventory.h"

#include <QCoreApplication>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string orDash(const QString &text)
{
    return text.isEmpty() ? std::string("-") : text.toStdString();
}

} // namespace

int runPorts(int argc, char **argv)
{
    if (argc > 0) {
        std::fprintf(stderr, "meterlink-cli ports: unknown argument '%s'\n", argv[0]);
        return kUsageExitCode;
    }
    // Opening a port watches it with a socket notifier, which wants an application object.
    int appArgc = 1;
    char appName[] = "meterlink-cli";
    char *appArgv[] = {appName, nullptr};
    QCoreApplication app(appArgc, appArgv);
    const std::vector<SerialPortEntry> entries = serialPortInventory(true);
    std::vector<std::vector<std::string>> rows = {
        {"DEVICE", "COM", "DESCRIPTION", "MAKER", "SERIAL", "OPENS"}};
    for (const SerialPortEntry &e : entries) {
        const std::string opens = e.opens ? "yes" : "no: " + e.openProblem.toStdString();
        rows.push_back({e.devicePath.toStdString(), orDash(e.comNames.join(QLatin1Char(','))),
                        orDash(e.description), orDash(e.manufacturer), orDash(e.serialNumber), opens});
    }
    // Columns padded to their widest cell; the last one runs to the end of the line.
    std::vector<size_t> widths(rows.front().size(), 0);
    for (const auto &row : rows)
        for (size_t c = 0; c + 1 < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    for (const auto &row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size())
                line += std::string(widths[c] - row[c].size() + 2, ' ');
        }
        std::printf("%s\n", line.c_str());
    }
    std::printf("\nCOMn is the device named by $METERLINK_COMn, else the first of /dev/ttyUSB<n-1> and\n"
                "/dev/ttyACM<n-1> that exists, else /dev/ttyS<n-1>.\n");
    return 0;
}
