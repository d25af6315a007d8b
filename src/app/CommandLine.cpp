#include "app/CommandLine.h"

#include <cstdio>

namespace {

constexpr int kUsageExitCode = 2;

WindowCommandLine failure(const QString &error)
{
    WindowCommandLine result;
    result.action = WindowCommandLine::Action::Error;
    result.error = error;
    return result;
}

WindowCommandLine readModel(const QString &list)
{
    ModelSelectors selectors;
    std::string unknown;
    const QString names = QString::fromStdString(modelSelectorNames());
    if (!parseModelSelectors(list.toStdString(), &selectors, &unknown))
        return failure(QStringLiteral("unknown model selector '%1'; use one of: %2")
                           .arg(QString::fromStdString(unknown), names));
    // IF7740x only modifies a VS500-family model: checked alone it would leave the window deaf.
    if (profileFor(selectors).family == DecoderFamily::None)
        return failure(QStringLiteral("'%1' selects no meter model; give IF7740x together with a model, "
                                      "for example IFVS500,IF7740x")
                           .arg(list));
    WindowCommandLine result;
    result.model = selectors;
    return result;
}

// The names joined by ", " in lines of at most `width` characters, each after `indent`.
QString wrappedNames(const QString &indent, int width)
{
    QString text = indent;
    int lineLength = int(indent.size());
    const QStringList names = QString::fromStdString(modelSelectorNames()).split(QStringLiteral(", "));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString item = names.at(i) + (i + 1 < names.size() ? QStringLiteral(",") : QStringLiteral("."));
        if (lineLength > indent.size() && lineLength + 1 + item.size() > width) {
            text += QLatin1Char('\n') + indent;
            lineLength = int(indent.size());
        } else if (lineLength > indent.size()) {
            text += QLatin1Char(' ');
            ++lineLength;
        }
        text += item;
        lineLength += int(item.size());
    }
    return text;
}

} // namespace

WindowCommandLine parseWindowCommandLine(const QStringList &arguments, bool strict)
{
    WindowCommandLine result;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
            return WindowCommandLine{WindowCommandLine::Action::Help, std::nullopt, QString()};
        if (arg == QLatin1String("--version"))
            return WindowCommandLine{WindowCommandLine::Action::Version, std::nullopt, QString()};
        QString list;
        if (arg == QLatin1String("--model")) {
            if (i + 1 >= arguments.size())
                return failure(QStringLiteral("--model needs a selector, for example --model IFOR250"));
            list = arguments.at(++i);
        } else if (arg.startsWith(QLatin1String("--model="))) {
            list = arg.mid(8);
        } else {
            if (strict)
                return failure(QStringLiteral("unknown argument '%1'; see meterlink --help").arg(arg));
            continue;
        }
        const WindowCommandLine model = readModel(list);
        if (model.action == WindowCommandLine::Action::Error)
            return model;
        result.model = model.model;
    }
    return result;
}

QString buildModelSelector()
{
    return QStringLiteral(METERLINK_MODEL_SELECTOR);
}

QString windowUsage()
{
    return QStringLiteral(
               "Usage: meterlink [--model SEL[,SEL...]]\n"
               "\n"
               "Mirrors a digital multimeter connected to COM1..COM4: its LCD, a bar and a gauge, MIN/MAX "
               "and\n"
               "limit alarms; records, plots, saves and prints its readings.\n"
               "\n"
               "  --model SEL  start as the meter model SEL instead of %1:\n"
               "%2\n"
               "               IF7740x switches a VS500-family model to its 7740x variant and is given\n"
               "               together with it, for example --model IFVS500,IF7740x.\n"
               "  --help       show this text and exit\n"
               "  --version    show the version and exit\n"
               "\n"
               "On Linux COMn is the device named by $METERLINK_COMn, else /dev/ttyUSB<n-1>, "
               "/dev/ttyACM<n-1>\n"
               "or /dev/ttyS<n-1>, the first that exists. 'meterlink-cli ports' lists the ports.\n")
        .arg(buildModelSelector(), wrappedNames(QStringLiteral("               "), 80));
}

int answerCommandLine(const WindowCommandLine &commandLine)
{
    switch (commandLine.action) {
    case WindowCommandLine::Action::Help:
        std::fputs(windowUsage().toLocal8Bit().constData(), stdout);
        return 0;
    case WindowCommandLine::Action::Version:
        std::printf("meterlink %s\n", METERLINK_VERSION);
        return 0;
    case WindowCommandLine::Action::Error:
        std::fprintf(stderr, "meterlink: %s\n", commandLine.error.toLocal8Bit().constData());
        return kUsageExitCode;
    case WindowCommandLine::Action::Run:
        break;
    }
    return 0;
}
