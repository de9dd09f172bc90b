#pragma once

#include <QString>
#include <QStringList>

namespace kelvara {

// What the program was asked for on its command line.
struct CommandLine
{
    QString dataFolder;  // --data DIR; empty when not given
    // --help, --version and a mistake are answered on the terminal before any window opens;
    // the program then ends with this code.
    bool answered = false;
    int exitCode = 0;
};

// Whether the arguments ask for --help or --version, which are answered before the toolkit
// starts, so that they need no display.
bool asksForHelpOrVersion(const QStringList &arguments);

// Reads the arguments (the program's name first), once the toolkit took its own (-style,
// -platform …) out of them. Prints help, the version or what is wrong.
CommandLine readCommandLine(const QStringList &arguments);

// The program's name, version and desktop entry as the toolkit and the desktop see them.
void describeProgram();

}  // namespace kelvara
