#pragma once

#include "wire/Expected.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLatin1StringView>
#include <QList>
#include <QString>

#include <optional>

// Reads the members of one JSON object into a record, strictly: a required member must be
// present, non-null and of its type; an optional one may be absent or null (none) but not of
// another type; integers are JSON numbers with integral values. The first fault is kept as a
// path and a problem ("round.hoop: required member is missing"); once a fault is kept the
// remaining reads return empty values that result() throws away.
class JsonFields {
public:
    explicit JsonFields(const QJsonObject &object)
        : m_object(object)
    {
    }

    qint64 integer(QLatin1StringView key);
    std::optional<qint64> optionalInteger(QLatin1StringView key);
    double real(QLatin1StringView key);
    QString text(QLatin1StringView key);
    std::optional<QString> optionalText(QLatin1StringView key);

    // Records read with R::fromJson; a fault inside keeps the nested path.
    template <typename R> R record(QLatin1StringView key)
    {
        const auto value = present(key, QJsonValue::Object, u"an object");
        return value ? nested<R>(key, value->toObject()) : R {};
    }
    template <typename R> std::optional<R> optionalRecord(QLatin1StringView key)
    {
        const auto value = presentOrNone(key, QJsonValue::Object, u"an object");
        return value ? std::optional<R>(nested<R>(key, value->toObject())) : std::nullopt;
    }
    template <typename R> QList<R> list(QLatin1StringView key)
    {
        const auto value = present(key, QJsonValue::Array, u"an array");
        if (!value)
            return {};
        auto items = readList<R>(value->toArray());
        if (!items) {
            fail(QString(key) + items.error());
            return {};
        }
        return std::move(items).value();
    }

    // The record built from the reads, or the first fault.
    template <typename R> Expected<R, QString> result(R record) const
    {
        if (m_error)
            return *m_error;
        return record;
    }

    // Every element of the array as a record R; one faulty element fails the whole list.
    template <typename R> static Expected<QList<R>, QString> readList(const QJsonArray &array)
    {
        QList<R> items;
        items.reserve(array.size());
        for (qsizetype i = 0; i < array.size(); ++i) {
            const QString index = u'[' + QString::number(i) + u']';
            if (!array.at(i).isObject())
                return QString(index + u": expected an object, found " + kindName(array.at(i)));
            auto item = R::fromJson(array.at(i).toObject());
            if (!item)
                return QString(index + u'.' + item.error());
            items.append(std::move(item).value());
        }
        return items;
    }

    static QString kindName(const QJsonValue &value);

private:
    // The member's value when it is present, non-null and of the given type; otherwise a fault.
    std::optional<QJsonValue> present(
        QLatin1StringView key, QJsonValue::Type type, QStringView typeName);
    // As present(), but absent and null are none rather than a fault.
    std::optional<QJsonValue> presentOrNone(
        QLatin1StringView key, QJsonValue::Type type, QStringView typeName);
    std::optional<qint64> integral(QLatin1StringView key, const QJsonValue &value);
    void fail(const QString &error);

    template <typename R> R nested(QLatin1StringView key, const QJsonObject &object)
    {
        auto inner = R::fromJson(object);
        if (!inner) {
            fail(QString(key) + u'.' + inner.error());
            return R {};
        }
        return std::move(inner).value();
    }

    QJsonObject m_object;
    std::optional<QString> m_error;
};
