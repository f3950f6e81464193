#include "HaproxyProcess.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Whether a GET /healthz through the proxy answers "ok".
bool healthy(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(500))
        return false;
    socket.write("GET /healthz HTTP/1.1\r\nHost: test\r\nConnection: close\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(500))
        reply += socket.readAll();
    return reply.startsWith("HTTP/1.1 200") && reply.endsWith("ok");
}

} // namespace

HaproxyProcess::~HaproxyProcess()
{
    m_process.kill();
    m_process.waitForFinished(3000);
}

bool HaproxyProcess::start(const QList<quint16> &nodePorts)
{
    m_port = freePort();
    QString config = uR"(global
    maxconn 2000
defaults
    mode http
    option http-server-close
    option redispatch
    retries 3
    timeout connect 2s
    timeout client 65s
    timeout server 30s
    timeout tunnel 1h
frontend tosswick
    bind 127.0.0.1:%1
    option forwardfor
    default_backend nodes
backend nodes
    balance roundrobin
    option httpchk GET /healthz
    http-check expect string ok
    default-server inter 300ms fall 2 rise 1
)"_s.arg(m_port);
    for (qsizetype i = 0; i < nodePorts.size(); ++i)
        config += u"    server node%1 127.0.0.1:%2 check\n"_s.arg(i + 1).arg(nodePorts.at(i));
    QFile file(m_dir.filePath(u"haproxy.cfg"_s));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        m_error = u"cannot write the configuration"_s;
        return false;
    }
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(u"haproxy"_s, { u"-db"_s, u"-f"_s, file.fileName() });
    if (!m_process.waitForStarted(5000)) {
        m_error = u"cannot start haproxy: %1"_s.arg(m_process.errorString());
        return false;
    }
    if (!QTest::qWaitFor([this] { return healthy(m_port); }, 10000)) {
        m_error = u"no healthy node behind haproxy: %1"_s.arg(
            QString::fromUtf8(m_process.readAll()));
        return false;
    }
    return true;
}

QUrl HaproxyProcess::httpUrl() const
{
    return QUrl(u"http://127.0.0.1:%1"_s.arg(m_port));
}

QUrl HaproxyProcess::wsUrl() const
{
    return QUrl(u"ws://127.0.0.1:%1"_s.arg(m_port));
}
