#include "app/CommandLine.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

ModelSelectors selectors(std::initializer_list<ModelSelector> list)
{
    ModelSelectors s;
    for (ModelSelector m : list)
        s.set(static_cast<size_t>(m));
    return s;
}

} // namespace

TEST(WindowCommandLine, ReadsHelpVersionAndModel)
{
    using Action = WindowCommandLine::Action;
    const struct
    {
        QStringList args;
        bool strict;
        Action action;
        std::optional<ModelSelectors> model;
        const char *inError;
    } rows[] = {
        {{}, true, Action::Run, std::nullopt, ""},
        {{QStringLiteral("--model"), QStringLiteral("IFOR250")},
         true,
         Action::Run,
         selectors({ModelSelector::IFOR250}),
         ""},
        {{QStringLiteral("--model=IFVS500,IF7740x")},
         true,
         Action::Run,
         selectors({ModelSelector::IFVS500, ModelSelector::IF7740x}),
         ""},
        {{QStringLiteral("--model"), QStringLiteral("IFOR250"), QStringLiteral("--help")},
         true,
         Action::Help,
         std::nullopt,
         ""},
        {{QStringLiteral("-h")}, true, Action::Help, std::nullopt, ""},
        {{QStringLiteral("--version")}, true, Action::Version, std::nullopt, ""},
        // Unknown selectors name the valid ones.
        {{QStringLiteral("--model"), QStringLiteral("OR250")},
         false,
         Action::Error,
         std::nullopt,
         "'OR250'; use one of: IFOR210, IFOR230"},
        {{QStringLiteral("--model")}, false, Action::Error, std::nullopt, "needs a selector"},
        // IF7740x alone would bind no decoder.
        {{QStringLiteral("--model"), QStringLiteral("IF7740x")},
         false,
         Action::Error,
         std::nullopt,
         "IFVS500,IF7740x"},
        // Before the application has taken its own options they pass; afterwards they are mistakes.
        {{QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("--model"),
          QStringLiteral("IFOR220")},
         false,
         Action::Run,
         selectors({ModelSelector::IFOR220}),
         ""},
        {{QStringLiteral("--bogus")}, true, Action::Error, std::nullopt, "'--bogus'"},
        // A contradiction is refused wherever it stands, before --help or --version is answered.
        {{QStringLiteral("--bogus"), QStringLiteral("--version")},
         false,
         Action::Error,
         std::nullopt,
         "'--bogus'"},
        {{QStringLiteral("--version"), QStringLiteral("--bogus")},
         false,
         Action::Error,
         std::nullopt,
         "'--bogus'"},
        {{QStringLiteral("--model"), QStringLiteral("IFOR250,IFOR210")},
         false,
         Action::Error,
         std::nullopt,
         "2 meter models (IFOR210 and IFOR250)"},
        {{QStringLiteral("--model"), QStringLiteral("IFOR210,IF7740x")},
         false,
         Action::Error,
         std::nullopt,
         "cannot go with IFOR210"},
        {{QStringLiteral("--model=IFOR250"), QStringLiteral("--model=IFOR210")},
         false,
         Action::Error,
         std::nullopt,
         "--model is given twice"},
        // The window system's options and their values pass, in either spelling.
        {{QStringLiteral("--platform"), QStringLiteral("offscreen"), QStringLiteral("-style=fusion"),
          QStringLiteral("-reverse"), QStringLiteral("--version")},
         false,
         Action::Version,
         std::nullopt,
         ""},
        {{QStringLiteral("-bogus"), QStringLiteral("--help")},
         false,
         Action::Error,
         std::nullopt,
         "'-bogus'"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.args.join(QLatin1Char(' ')).toStdString());
        const WindowCommandLine got = parseWindowCommandLine(row.args, row.strict);
        EXPECT_EQ(got.action, row.action);
        EXPECT_EQ(got.model, row.model);
        EXPECT_TRUE(got.error.contains(QLatin1String(row.inError))) << got.error.toStdString();
    }
}

TEST(WindowCommandLine, HelpListsEverySelectorAndTheBuildsDefault)
{
    const QString usage = windowUsage();
    EXPECT_TRUE(usage.contains(QStringLiteral("instead of ") + buildModelSelector()));
    for (int i = 0; i < kModelSelectorCount; ++i)
        EXPECT_TRUE(usage.contains(QLatin1String(modelSelectorName(static_cast<ModelSelector>(i)))));
    for (const QString &line : usage.split(QLatin1Char('\n')))
        EXPECT_LE(line.size(), 100) << line.toStdString();
}

TEST(WindowCommandLine, ModelFolderIsPerModelAndAskedForByItsOption)
{
    EXPECT_TRUE(parseWindowCommandLine({QStringLiteral("--model-folder")}, true).modelFolder);
    EXPECT_FALSE(parseWindowCommandLine({}, true).modelFolder);
    ModelSelectors variant;
    variant.set(size_t(ModelSelector::IFVS500)).set(size_t(ModelSelector::IF7740x));
    EXPECT_EQ(modelFolderPath(QStringLiteral("/d"), variant), QStringLiteral("/d/MeterLink/VS500-7740x"));
}

// The real program, as the desktop menu and a terminal start it, with HOME in a folder of the test's
// own: the working table appears where the start asked for it, and nowhere else.
TEST(WindowCommandLine, StartsWorkInTheLaunchersFolderOrTheCurrentOne)
{
    const QString buildModel = buildModelSelector().mid(2);
    const struct
    {
        QStringList args;
        const char *userDirs; // the XDG user-dirs.dirs line, if any
        QString folder;       // where the table must appear, under the temporary folder
    } rows[] = {
        {{QStringLiteral("--model-folder"), QStringLiteral("--model"), QStringLiteral("IFOR250")},
         nullptr,
         QStringLiteral("home/Documents/MeterLink/OR250")},
        {{QStringLiteral("--model-folder")},
         nullptr,
         QStringLiteral("home/Documents/MeterLink/") + buildModel},
        {{QStringLiteral("--model=IFVS500,IF7740x"), QStringLiteral("--model-folder")},
         "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n",
         QStringLiteral("home/Dokumente/MeterLink/VS500-7740x")},
        {{QStringLiteral("--model"), QStringLiteral("IFOR250")}, nullptr, QStringLiteral("work")},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.args.join(QLatin1Char(' ')).toStdString());
        QTemporaryDir tmp;
        ASSERT_TRUE(tmp.isValid());
        const QDir root(tmp.path());
        ASSERT_TRUE(root.mkpath(QStringLiteral("home/.config")) && root.mkpath(QStringLiteral("work")));
        if (row.userDirs) {
            QFile dirs(root.filePath(QStringLiteral("home/.config/user-dirs.dirs")));
            ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
            dirs.write(row.userDirs);
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), root.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath(QStringLiteral("home/.config")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess window;
        window.setProcessEnvironment(env);
        window.setWorkingDirectory(root.filePath(QStringLiteral("work")));
        window.start(QStringLiteral(METERLINK_PATH), row.args);
        const QString table = root.filePath(row.folder + QStringLiteral("/Vs500db.DB"));
        for (int i = 0; i < 600 && !QFile::exists(table) && window.state() != QProcess::NotRunning; ++i)
            window.waitForFinished(50);
        EXPECT_TRUE(QFile::exists(table)) << window.readAllStandardError().toStdString();
        window.terminate();
        EXPECT_TRUE(window.waitForFinished(30000));
        const QStringList tables = [&] {
            QStringList found;
            QDirIterator it(root.path(), {QStringLiteral("Vs500db.DB")}, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext())
                found << root.relativeFilePath(it.next());
            return found;
        }();
        EXPECT_EQ(tables, QStringList{row.folder + QStringLiteral("/Vs500db.DB")});
    }
}
