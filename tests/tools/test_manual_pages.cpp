// Every option and command that a program's --help lists is described in its manual page. The help
// texts are read from the programs as built, so an option added later is checked too.

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace {

// Standard output of a run that succeeded; empty otherwise.
QString helpOf(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The page as a reader sees it: roff's escaped hyphens plain, font changes gone.
QString manualText(const QString &name)
{
    QFile file(QStringLiteral(METERLINK_MANUAL_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QLatin1String("\\-"), QLatin1String("-"));
    text.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")));
    return text;
}

QSet<QString> matches(const QString &text, const QString &pattern)
{
    QSet<QString> found;
    QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext())
        found.insert(it.next().captured(1));
    return found;
}

bool mentions(const QString &page, const QString &word)
{
    return page.contains(QRegularExpression(QStringLiteral("(?<![\\w-])") + QRegularExpression::escape(word) +
                                            QStringLiteral("(?![\\w-])")));
}

const QString kOption = QStringLiteral("(?<![\\w-])(--[a-z][a-z0-9-]*)");

} // namespace

TEST(ManualPages, DescribeEveryOptionAndCommandTheHelpLists)
{
    const QString cli = QStringLiteral(METERLINK_CLI_PATH);
    const QString cliHelp = helpOf(cli, {QStringLiteral("--help")});
    ASSERT_FALSE(cliHelp.isEmpty());
    QString cliHelps = cliHelp;
    // Each command of the usage lines, and the help of those that have their own.
    const QSet<QString> commands = matches(cliHelp, QStringLiteral("meterlink-cli ([a-z]+)"));
    ASSERT_GE(commands.size(), 5);
    for (const QString &command : commands)
        cliHelps += helpOf(cli, {command, QStringLiteral("--help")});

    const struct
    {
        const char *page;
        QString help;
        QSet<QString> words;
    } pages[] = {
        {"meterlink.1", helpOf(QStringLiteral(METERLINK_PATH), {QStringLiteral("--help")}), {}},
        {"meterlink-cli.1", cliHelps, commands},
    };
    for (const auto &page : pages) {
        SCOPED_TRACE(page.page);
        const QString text = manualText(QLatin1String(page.page));
        ASSERT_FALSE(text.isEmpty());
        const QSet<QString> options = matches(page.help, kOption);
        EXPECT_GE(options.size(), 3) << page.help.toStdString();
        for (const QString &word : options + page.words)
            EXPECT_TRUE(mentions(text, word)) << word.toStdString() << " is not in the page";
    }
}
