#include "XvfbDisplay.h"

#include <QByteArray>

#include <csignal>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

XvfbDisplay::~XvfbDisplay()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}

bool XvfbDisplay::start(const QString &screen)
{
    int fds[2];
    if (::pipe(fds) != 0) {
        m_error = QStringLiteral("pipe failed");
        return false;
    }
    const QByteArray screenArg = screen.toLocal8Bit();
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
        // Xvfb writes its display number to fd 3 once it accepts connections.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
        ::close(fds[0]);
        ::dup2(fds[1], 3);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screenArg.constData(),
            "-nolisten", "tcp", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    if (m_pid < 0) {
        ::close(fds[0]);
        m_error = QStringLiteral("fork failed");
        return false;
    }
    QByteArray number;
    pollfd readable { fds[0], POLLIN, 0 };
    char buffer[16];
    while (!number.endsWith('\n') && ::poll(&readable, 1, 20000) > 0) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        number.append(buffer, n);
    }
    ::close(fds[0]);
    bool ok = false;
    number.trimmed().toInt(&ok);
    if (!ok) {
        m_error = QStringLiteral("Xvfb did not start (is it installed?)");
        return false;
    }
    m_name = u':' + QString::fromLatin1(number.trimmed());
    qputenv("DISPLAY", m_name.toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    return true;
}
