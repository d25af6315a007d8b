#include "app/CommandLine.h"

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
