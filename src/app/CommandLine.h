#pragma once

#include "decode/ModelProfile.h"

#include <QString>
#include <QStringList>

#include <optional>

// What `meterlink` was asked on its command line.
struct WindowCommandLine
{
    enum class Action
    {
        Run,
        Help,
        Version,
        Error
    };
    Action action = Action::Run;
    // --model: the selectors to check instead of the build's.
    std::optional<ModelSelectors> model;
    // For Error: what was wrong and what to do, one or two lines.
    QString error;
};

// Reads the arguments after the program name. Before the application object exists the window
// system's own options (-platform, -style ...) are still among them, so `strict` is off and
// anything not ours is passed over; once the application has taken its own, strict parsing refuses
// whatever is left.
WindowCommandLine parseWindowCommandLine(const QStringList &arguments, bool strict);

// The selector this build checks when no --model is given.
QString buildModelSelector();

// The text --help prints.
QString windowUsage();

// Prints the answer to --help, --version or a mistake and returns the exit status: 0, or 2 for a
// command line the program cannot act on.
int answerCommandLine(const WindowCommandLine &commandLine);
