#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QStringList>

#include <memory>

// One running program per user: the first process holds a lock file and listens on a local
// socket; later ones hand their links to it and exit. Both live in one directory, by default
// the user's runtime directory.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(
        const QString &directory = defaultDirectory(), QObject *parent = nullptr);
    ~SingleInstance() override;

    static QString defaultDirectory();

    // Takes the lock and starts listening; false when another process already holds it.
    bool becomePrimary();
    bool isPrimary() const { return m_server != nullptr; }

    // Sends the links to the primary process; false when none could be reached in time.
    bool handOver(const QStringList &links, int timeoutMs = 3000) const;

    QString socketPath() const;

signals:
    // A later process handed these links over (possibly none: it was started again).
    void linksReceived(const QStringList &links);

private:
    void acceptConnection();

    QString m_directory;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};
