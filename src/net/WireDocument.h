#pragma once

#include "wire/Expected.h"
#include "wire/JsonFields.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QList>
#include <QString>

// Reads a whole reply body as one wire record (a JSON object) or a list of them (a JSON array),
// with no key or date conversions; any fault fails the whole body.
namespace WireDocument {

namespace detail {

Expected<QJsonDocument, QString> parse(const QByteArray &bytes);

template <typename R> struct Reader {
    static Expected<R, QString> read(const QJsonDocument &document)
    {
        if (!document.isObject())
            return QStringLiteral("expected a JSON object");
        return R::fromJson(document.object());
    }
};

template <typename R> struct Reader<QList<R>> {
    static Expected<QList<R>, QString> read(const QJsonDocument &document)
    {
        if (!document.isArray())
            return QStringLiteral("expected a JSON array");
        return JsonFields::readList<R>(document.array());
    }
};

} // namespace detail

template <typename R> Expected<R, QString> read(const QByteArray &bytes)
{
    auto document = detail::parse(bytes);
    if (!document)
        return document.error();
    return detail::Reader<R>::read(*document);
}

} // namespace WireDocument
