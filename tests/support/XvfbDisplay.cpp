#include "XvfbDisplay.h"

#include <QByteArray>

#include <csignal>
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
    const QByteArray screenArg = screen.toLocal8Bit();
    const pid_t parent = ::getpid();
    m_pid = ::pipe(fds) == 0 ? ::fork() : -1;
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
    QByteArray number;
    if (m_pid > 0) {
        ::close(fds[1]);
        // Ends at the newline, or when Xvfb exits without one.
        char c = 0;
        while (!number.endsWith('\n') && ::read(fds[0], &c, 1) == 1)
            number.append(c);
        ::close(fds[0]);
    }
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
