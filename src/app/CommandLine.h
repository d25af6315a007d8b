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
    // --model-folder: work in the model's own folder under the documents folder (modelFolderPath),
    // as the desktop entry asks, instead of the current folder.
    bool modelFolder = false;
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
// The selectors the window starts with: --model's, else the build's.
ModelSelectors startModel(const WindowCommandLine &commandLine);

// Where --model-folder works: <documents>/MeterLink/<model>, the model named by its selectors
// without their "IF" ("OR250", "VS500-7740x"), so that two models started from the launcher never
// share a working table or a recovery file.
QString modelFolderPath(const QString &documentsFolder, const ModelSelectors &selectors);

// Makes the model's folder under the user's documents folder (the XDG documents folder, else
// ~/Documents) the current one, creating it on first use. Returns what went wrong and what to do,
// or an empty text.
QString enterModelFolder(const ModelSelectors &selectors);

// The text --help prints.
QString windowUsage();

// Prints the answer to --help, --version or a mistake and returns the exit status: 0, or 2 for a
// command line the program cannot act on.
int answerCommandLine(const WindowCommandLine &commandLine);
