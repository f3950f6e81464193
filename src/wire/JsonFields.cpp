#include "wire/JsonFields.h"

#include <QJsonValue>

using namespace Qt::StringLiterals;

qint64 JsonFields::integer(QLatin1StringView key)
{
    const auto value = present(key, QJsonValue::Double, u"an integer");
    return value ? integral(key, *value).value_or(0) : 0;
}

std::optional<qint64> JsonFields::optionalInteger(QLatin1StringView key)
{
    const auto value = presentOrNone(key, QJsonValue::Double, u"an integer");
    return value ? integral(key, *value) : std::nullopt;
}

double JsonFields::real(QLatin1StringView key)
{
    const auto value = present(key, QJsonValue::Double, u"a number");
    return value ? value->toDouble() : 0.0;
}

QString JsonFields::text(QLatin1StringView key)
{
    const auto value = present(key, QJsonValue::String, u"a string");
    return value ? value->toString() : QString();
}

std::optional<QString> JsonFields::optionalText(QLatin1StringView key)
{
    const auto value = presentOrNone(key, QJsonValue::String, u"a string");
    return value ? std::optional<QString>(value->toString()) : std::nullopt;
}

QString JsonFields::kindName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return u"null"_s;
    case QJsonValue::Bool:
        return u"a boolean"_s;
    case QJsonValue::Double:
        return u"a number"_s;
    case QJsonValue::String:
        return u"a string"_s;
    case QJsonValue::Array:
        return u"an array"_s;
    case QJsonValue::Object:
        return u"an object"_s;
    case QJsonValue::Undefined:
        break;
    }
    return u"nothing"_s;
}

std::optional<QJsonValue> JsonFields::present(
    QLatin1StringView key, QJsonValue::Type type, QStringView typeName)
{
    if (m_error)
        return std::nullopt;
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd()) {
        fail(QString(key) + u": required member is missing");
        return std::nullopt;
    }
    if (it->type() != type) {
        fail(QString(key) + u": expected " + typeName + u", found " + kindName(*it));
        return std::nullopt;
    }
    return *it;
}

std::optional<QJsonValue> JsonFields::presentOrNone(
    QLatin1StringView key, QJsonValue::Type type, QStringView typeName)
{
    if (m_error)
        return std::nullopt;
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd() || it->isNull())
        return std::nullopt;
    return present(key, type, typeName);
}

std::optional<qint64> JsonFields::integral(QLatin1StringView key, const QJsonValue &value)
{
    // toInteger() gives its default unless the number is integral and fits in 64 bits, so two
    // different defaults agree exactly when the value is a true integer.
    const qint64 low = value.toInteger(0);
    if (low != value.toInteger(1)) {
        fail(QString(key) + u": expected an integer, found " + QString::number(value.toDouble()));
        return std::nullopt;
    }
    return low;
}

void JsonFields::fail(const QString &error)
{
    if (!m_error)
        m_error = error;
}
