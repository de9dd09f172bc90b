#include "app/commandline.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

namespace kelvara {

namespace {

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

}  // namespace

void describeProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral("Kelvara"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVARA_VERSION));
    // Window managers match the window to its menu entry, and so to its icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kelvara.Kelvara"));
}

bool asksForHelpOrVersion(const QStringList &arguments)
{
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--"))
            break;
        for (const char *name : {"-h", "--help", "-v", "--version"}) {
            if (argument == QLatin1String(name))
                return true;
        }
    }
    return false;
}

CommandLine readCommandLine(const QStringList &arguments)
{
    describeProgram();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Keeps a record of each bee-swarm removal job."));
    // Not addHelpOption(): its --help-all lists the toolkit's options, which are not ours to explain.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption data(
        QStringLiteral("data"),
        QStringLiteral("Keep the records in <folder> (made when missing). Without it: the folder started in when it "
                       "holds kelvara.db, else the folder last used, else ~/.local/share/Kelvara."),
        QStringLiteral("folder"));
    parser.addOption(data);

    CommandLine line;
    if (!parser.parse(arguments)) {
        print(stderr, QStringLiteral("kelvara: %1\nTry 'kelvara --help'.\n").arg(parser.errorText()));
        line.answered = true;
        line.exitCode = 1;
    } else if (parser.isSet(help)) {
        const QString name = QFileInfo(arguments.value(0, QStringLiteral("kelvara"))).fileName();
        print(stdout, parser.helpText().replace(QStringLiteral("<executable_name>"), name));
        line.answered = true;
    } else if (parser.isSet(version)) {
        print(
            stdout,
            QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion()));
        line.answered = true;
    } else if (!parser.positionalArguments().isEmpty()) {
        print(stderr,
              QStringLiteral("kelvara: unexpected argument '%1'\nTry 'kelvara --help'.\n")
                  .arg(parser.positionalArguments().constFirst()));
        line.answered = true;
        line.exitCode = 1;
    } else if (parser.isSet(data)) {
        line.dataFolder = parser.value(data);
        if (line.dataFolder.isEmpty()) {
            print(stderr, QStringLiteral("kelvara: --data needs a folder\n"));
            line.answered = true;
            line.exitCode = 1;
        }
    }
    return line;
}

}  // namespace kelvara
