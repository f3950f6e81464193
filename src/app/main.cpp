#include "ApplicationShell.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // The overlay's click-through needs X11 input shapes: under Wayland the game runs on
    // XWayland, unless the user chose a platform.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"tosswick"_s);
    // No display name: Qt would append it to every window title, and the controls window is
    // titled "TOSSWICK" alone.
    QApplication::setApplicationVersion(QStringLiteral(TOSSWICK_VERSION));
    QApplication::setDesktopFileName(u"tosswick"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Basketball across desktops"_s);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        u"links"_s, u"Join links (tosswick://join?...) to open."_s, u"[link...]"_s);
    parser.process(app);
    const QStringList links = parser.positionalArguments();

    SingleInstance instance;
    if (!instance.becomePrimary()) {
        if (instance.handOver(links))
            return 0;
        std::fputs("tosswick: another instance holds the lock but does not answer\n", stderr);
        return 1;
    }

    // The defaults: the user's preferences, logind, and the overlay over the desktop.
    ApplicationShell shell { AppModel::Setup() };
    QObject::connect(
        &instance, &SingleInstance::linksReceived, &shell, &ApplicationShell::openLinks);
    TerminationSignals termination;
    QObject::connect(
        &termination, &TerminationSignals::terminationRequested, &shell, &ApplicationShell::quit);
    // As on every platform: launch finishes first, then the links it was started with arrive.
    shell.launched();
    if (!links.isEmpty())
        shell.openLinks(links);
    return QApplication::exec();
}
