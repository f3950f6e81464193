#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>

#include <optional>

// The program's preferences: an INI file, by default $XDG_CONFIG_HOME/tosswick/tosswick.conf.
// Only the keys below are ever stored. A value that is not of its key's form reads as absent
// (INI keeps no types: text holding commas comes back as a list, hand edits as anything).
class Preferences {
public:
    static inline const QString defaultServer = QStringLiteral("http://127.0.0.1:8088");
    static inline const QString defaultWebsocket = QStringLiteral("ws://127.0.0.1:8088");
    static inline const QString defaultAppKey = QStringLiteral("desk-hoops-sample");

    explicit Preferences(const QString &path = defaultPath());
    static QString defaultPath();

    QString path() const { return m_settings.fileName(); }

    // Connection settings, each falling back to its compiled-in default.
    QString server() const;
    QString websocket() const;
    QString appKey() const;
    void setConnection(const QString &server, const QString &websocket, const QString &appKey);

    // JSON documents stored as binary data.
    std::optional<QByteArray> pomodoroState() const;
    void setPomodoroState(const QByteArray &json);
    std::optional<QByteArray> basketResults() const;
    void setBasketResults(const QByteArray &json);

    QString lastBasketResult() const;
    void setLastBasketResult(const QString &text);

private:
    std::optional<QString> text(const QString &key) const;
    std::optional<QByteArray> data(const QString &key) const;
    void write(const QString &key, const QVariant &value);

    QSettings m_settings;
};
