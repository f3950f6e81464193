#pragma once

#include <QList>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

// HAProxy on a free loopback port in front of game-server nodes, configured as the shipped
// deployment is (round robin, health checks on /healthz, X-Forwarded-For, WebSocket tunnels).
class HaproxyProcess {
public:
    HaproxyProcess() = default;
    ~HaproxyProcess();
    HaproxyProcess(const HaproxyProcess &) = delete;
    HaproxyProcess &operator=(const HaproxyProcess &) = delete;

    // Starts it for the nodes on these loopback ports and waits until one of them is healthy;
    // false with errorText() on failure.
    bool start(const QList<quint16> &nodePorts);
    QUrl httpUrl() const;
    QUrl wsUrl() const;
    QString errorText() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
