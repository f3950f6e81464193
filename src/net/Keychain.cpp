#include "net/Keychain.h"

#include <QAbstractEventDispatcher>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

#include <QCoro/QCoroSignal>

#include <qt6keychain/keychain.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A session file is a few hundred bytes; anything much larger is not one of ours.
constexpr qint64 maxSessionFileSize = 65'536;

// Status codes in the save error: the Secret Service's failures are the negated QKeychain::Error
// (-3 access denied by the user, -4 access denied), those of the session files -100 minus the
// QFileDevice::FileError (-105 cannot open, -102 cannot write, -110 cannot rename into place).
int secretServiceStatus(QKeychain::Error error)
{
    return -int(error);
}
int fileStatus(QFileDevice::FileError error)
{
    return -100 - int(error);
}

NetworkError saveFailure(int status)
{
    return { status,
        u"Could not save session in Keychain ("_s + QString::number(status) + u")."_s };
}

// QtKeychain reaches the Secret Service through libsecret, whose replies are delivered by the GLib
// main loop: under Qt's own event loop (QT_NO_GLIB=1) its jobs would never finish.
bool secretServiceReachable()
{
    const QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher && dispatcher->inherits("QEventDispatcherGlib");
}

// Errors that mean nobody keeps secrets on this session bus (no bus, no service, or a service
// without a collection to store into), as opposed to a store that refused.
bool meansNoSecretService(QKeychain::Error error)
{
    return error == QKeychain::OtherError || error == QKeychain::NoBackendAvailable
        || error == QKeychain::NotImplemented;
}

// A job lives until the task that waits for it has resumed. (QCoro resumes the task through a
// queued call on the job itself: a job that deleted itself when it finished could be gone before
// that call is delivered, for instance when a test's wait loop flushes deferred deletions, and
// the task would never resume.)
struct LaterDeleter
{
    void operator()(QObject *object) const { object->deleteLater(); }
};
template <typename J> using JobHandle = std::unique_ptr<J, LaterDeleter>;

template <typename J> JobHandle<J> newJob(const QString &server)
{
    JobHandle<J> job(new J(Keychain::service.toString()));
    job->setAutoDelete(false);
    job->setKey(server);
    return job;
}

// Starts the job and waits for it.
QCoro::Task<QKeychain::Error> finish(QKeychain::Job &job)
{
    job.start();
    co_await qCoro(&job, &QKeychain::Job::finished);
    co_return job.error();
}

std::optional<QString> decodeUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// The session files: one per service and account, named by a hash of both and holding both, so
// that a file renamed or copied into another server's place does not read as that server's.
QString sessionDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + u"/tosswick/sessions"_s;
}

QString sessionFilePath(const QString &server)
{
    const QByteArray key = (Keychain::service.toString() + u'\n' + server).toUtf8();
    return sessionDirectory() + u'/'
        + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex());
}

std::optional<QString> readSessionFile(const QString &server)
{
    QFile file(sessionFilePath(server));
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxSessionFileSize)
        return std::nullopt;
    const QJsonObject item = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonValue token = item.value(u"token"_s);
    if (item.value(u"service"_s).toString() != Keychain::service
        || item.value(u"account"_s).toString() != server || !token.isString())
        return std::nullopt;
    return token.toString();
}

// Written to a temporary file that is renamed into place, so a crash leaves the old file or the
// new one, never a torn one.
std::optional<NetworkError> writeSessionFile(const QString &server, const QString &token)
{
    const QString directory = sessionDirectory();
    if (!QDir().mkpath(directory)
        || !QFile::setPermissions(
            directory, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        return saveFailure(fileStatus(QFileDevice::OpenError));

    const QJsonObject item { { u"service"_s, Keychain::service.toString() },
        { u"account"_s, server }, { u"token"_s, token } };
    QSaveFile file(sessionFilePath(server));
    // The permissions are narrowed before the token is written.
    if (!file.open(QIODevice::WriteOnly)
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(QJsonDocument(item).toJson(QJsonDocument::Compact)) < 0 || !file.commit())
        return saveFailure(fileStatus(file.error()));
    return std::nullopt;
}

} // namespace

namespace Keychain {

QCoro::Task<std::optional<QString>> read(QString server)
{
    if (secretServiceReachable()) {
        const auto job = newJob<QKeychain::ReadPasswordJob>(server);
        if (co_await finish(*job) == QKeychain::NoError)
            co_return decodeUtf8(job->binaryData());
    }
    // Saved while no Secret Service answered, if at all.
    co_return readSessionFile(server);
}

QCoro::Task<std::optional<NetworkError>> save(std::optional<QString> token, QString server)
{
    // Old items go from both places, whatever the outcome, so at most one token is ever kept.
    const bool secretService = secretServiceReachable();
    if (secretService) {
        const auto job = newJob<QKeychain::DeletePasswordJob>(server);
        co_await finish(*job);
    }
    QFile::remove(sessionFilePath(server));
    if (!token)
        co_return std::nullopt;

    if (secretService) {
        const auto job = newJob<QKeychain::WritePasswordJob>(server);
        job->setTextData(*token);
        const QKeychain::Error error = co_await finish(*job);
        if (error == QKeychain::NoError)
            co_return std::nullopt;
        if (!meansNoSecretService(error))
            co_return saveFailure(secretServiceStatus(error));
    }
    co_return writeSessionFile(server, *token);
}

} // namespace Keychain
