#include "app/CommandLine.h"

#include <QDir>
#include <QStandardPaths>

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
    const std::string problem = readModelChoice(list.toStdString(), &selectors);
    if (!problem.empty())
        return failure(QString::fromStdString(problem));
    WindowCommandLine result;
    result.model = selectors;
    return result;
}

// The window system's own options, which the application object takes out of the arguments once it
// exists; before that they are passed over, with their value where they take one. Both "-name" and
// "--name" are accepted, and "-name=value" as well.
struct WindowSystemOption
{
    const char *name;
    bool takesValue;
};
constexpr WindowSystemOption kWindowSystemOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"session", true},
    {"display", true},
    {"geometry", true},
    {"name", true},
    {"title", true},
    {"visual", true},
    {"ncols", true},
    {"cmap", true},
    {"style", true},
    {"stylesheet", true},
    {"qmljsdebugger", false},
    {"reverse", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
};

// How many arguments the window-system option at `i` spans (1 or 2), or 0 when it is none.
int windowSystemOptionLength(const QStringList &arguments, qsizetype i)
{
    QString arg = arguments.at(i);
    if (!arg.startsWith(QLatin1Char('-')))
        return 0;
    arg.remove(0, arg.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype equals = arg.indexOf(QLatin1Char('='));
    const QString name = equals < 0 ? arg : arg.left(equals);
    for (const WindowSystemOption &option : kWindowSystemOptions) {
        if (name == QLatin1String(option.name))
            return option.takesValue && equals < 0 && i + 1 < arguments.size() ? 2 : 1;
    }
    return 0;
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
    // Every argument is read before --help or --version is answered: a mistake anywhere on the line
    // is refused rather than passed over.
    WindowCommandLine result;
    bool help = false;
    bool version = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            help = true;
            continue;
        }
        if (arg == QLatin1String("--version")) {
            version = true;
            continue;
        }
        if (arg == QLatin1String("--model-folder")) {
            result.modelFolder = true;
            continue;
        }
        QString list;
        if (arg == QLatin1String("--model")) {
            if (i + 1 >= arguments.size())
                return failure(QStringLiteral("--model needs a selector, for example --model IFOR250"));
            list = arguments.at(++i);
        } else if (arg.startsWith(QLatin1String("--model="))) {
            list = arg.mid(8);
        } else {
            const int length = strict ? 0 : windowSystemOptionLength(arguments, i);
            if (length == 0)
                return failure(QStringLiteral("unknown argument '%1'; see meterlink --help").arg(arg));
            i += length - 1;
            continue;
        }
        if (result.model)
            return failure(QStringLiteral("--model is given twice; give it once, with one model"));
        const WindowCommandLine model = readModel(list);
        if (model.action == WindowCommandLine::Action::Error)
            return model;
        result.model = model.model;
    }
    if (help || version) {
        WindowCommandLine answer;
        answer.action = help ? WindowCommandLine::Action::Help : WindowCommandLine::Action::Version;
        return answer;
    }
    return result;
}

QString buildModelSelector()
{
    return QStringLiteral(METERLINK_MODEL_SELECTOR);
}

ModelSelectors startModel(const WindowCommandLine &commandLine)
{
    if (commandLine.model)
        return *commandLine.model;
    ModelSelectors selectors;
    readModelChoice(buildModelSelector().toStdString(), &selectors);
    return selectors;
}

QString modelFolderPath(const QString &documentsFolder, const ModelSelectors &selectors)
{
    QStringList names;
    for (int i = 0; i < kModelSelectorCount; ++i) {
        if (selectors.test(size_t(i)))
            names << QString::fromLatin1(modelSelectorName(static_cast<ModelSelector>(i))).mid(2);
    }
    return QDir(documentsFolder).filePath(QStringLiteral("MeterLink/") + names.join(QLatin1Char('-')));
}

QString enterModelFolder(const ModelSelectors &selectors)
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        return QStringLiteral("MeterLink found no documents folder to work in. Set HOME, or start meterlink "
                              "from a terminal in the folder it should work in.");
    const QString folder = modelFolderPath(documents, selectors);
    if (!QDir().mkpath(folder) || !QDir::setCurrent(folder))
        return QStringLiteral("MeterLink cannot create or enter its folder %1. Make sure you may write "
                              "there, or start meterlink from a terminal in the folder it should work in.")
            .arg(QDir::toNativeSeparators(folder));
    return {};
}

QString windowUsage()
{
    const QString indent(18, QLatin1Char(' '));
    return QStringLiteral(
               "Usage: meterlink [--model SEL[,IF7740x]] [--model-folder]\n"
               "\n"
               "Mirrors a digital multimeter connected to COM1..COM4: its LCD, a bar and a gauge, MIN/MAX "
               "and\n"
               "limit alarms; records, plots, saves and prints its readings.\n"
               "\n"
               "  --model SEL     start as the meter model SEL instead of %1:\n"
               "%2\n"
               "%3IF7740x switches a VS500-family model to its 7740x variant and is given\n"
               "%3together with it, for example --model IFVS500,IF7740x. Two models are refused.\n"
               "  --model-folder  work in the model's own folder under the documents folder, for example\n"
               "%3~/Documents/MeterLink/OR250, created on first use, instead of the current\n"
               "%3folder; the desktop menu's entries start meterlink so\n"
               "  --help          show this text and exit\n"
               "  --version       show the version and exit\n"
               "\n"
               "On Linux COMn is the device named by $METERLINK_COMn, else /dev/ttyUSB<n-1>, "
               "/dev/ttyACM<n-1>\n"
               "or /dev/ttyS<n-1>, the first that exists. 'meterlink-cli ports' lists the ports.\n"
               "A command line meterlink cannot act on is refused with exit status 2.\n")
        .arg(buildModelSelector(), wrappedNames(indent, 96), indent);
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
