#include "GameServer.h"
#include "ServerOptions.h"
#include "game/SystemClock.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <utility>
#include <cstdio>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

int signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// Thousands of connections need as many descriptors: take what the hard limit allows.
void raiseDescriptorLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // Qt's own poll loop instead of GLib's: the server needs nothing from GLib.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"tosswick-server"_s);
    const ServerOptions options = ServerOptions::parse(QCoreApplication::arguments());
    raiseDescriptorLimit();
    std::signal(SIGPIPE, SIG_IGN);

    SystemClock clock;
    GameServer server(options, clock);
    if (!server.start()) {
        std::fprintf(stderr, "tosswick-server: %s\n", qPrintable(server.errorText()));
        return 1;
    }

    // SIGTERM and SIGINT end the event loop through a socket pair, so shutdown runs normally.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return 1;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    // The first signal drains (other nodes take over the clients); a second one ends at once.
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&server] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalPipe[0], &byte, 1);
        static bool draining = false;
        if (std::exchange(draining, true)) {
            QCoreApplication::quit();
            return;
        }
        std::fprintf(stderr, "draining\n");
        server.drain([] { QCoreApplication::quit(); });
    });
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    std::printf("%s\n", qPrintable(server.address()));
    std::fflush(stdout);
    std::fprintf(stderr, "started: listening on %s, database %s\n", qPrintable(server.address()),
        qPrintable(options.databasePath));
    const int status = app.exec();
    std::fprintf(stderr, "stopped\n");
    return status;
}
