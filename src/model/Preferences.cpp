#include "model/Preferences.h"

#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {
const auto serverKey = u"server"_s;
const auto websocketKey = u"websocket"_s;
const auto appKeyKey = u"appKey"_s;
const auto pomodoroKey = u"pomodoroState"_s;
const auto resultsKey = u"basketResults"_s;
const auto lastResultKey = u"lastBasketResult"_s;
} // namespace

Preferences::Preferences(const QString &path)
    : m_settings(path, QSettings::IniFormat)
{
}

QString Preferences::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + u"/tosswick/tosswick.conf"_s;
}

QString Preferences::server() const
{
    return text(serverKey).value_or(defaultServer);
}

QString Preferences::websocket() const
{
    return text(websocketKey).value_or(defaultWebsocket);
}

QString Preferences::appKey() const
{
    return text(appKeyKey).value_or(defaultAppKey);
}

void Preferences::setConnection(
    const QString &server, const QString &websocket, const QString &appKey)
{
    m_settings.setValue(serverKey, server);
    m_settings.setValue(websocketKey, websocket);
    m_settings.setValue(appKeyKey, appKey);
    m_settings.sync();
}

std::optional<QByteArray> Preferences::pomodoroState() const
{
    return data(pomodoroKey);
}

void Preferences::setPomodoroState(const QByteArray &json)
{
    write(pomodoroKey, json);
}

std::optional<QByteArray> Preferences::basketResults() const
{
    return data(resultsKey);
}

void Preferences::setBasketResults(const QByteArray &json)
{
    write(resultsKey, json);
}

QString Preferences::lastBasketResult() const
{
    return text(lastResultKey).value_or(QString());
}

void Preferences::setLastBasketResult(const QString &text)
{
    write(lastResultKey, text);
}

std::optional<QString> Preferences::text(const QString &key) const
{
    const QVariant value = m_settings.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

std::optional<QByteArray> Preferences::data(const QString &key) const
{
    const QVariant value = m_settings.value(key);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

void Preferences::write(const QString &key, const QVariant &value)
{
    m_settings.setValue(key, value);
    m_settings.sync();
}
