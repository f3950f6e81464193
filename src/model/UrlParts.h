#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringView>

#include <optional>

// A URL split into its components exactly as written (RFC 3986, appendix B), without the
// normalisation QUrl applies: QUrl lower-cases schemes and hosts, and links from outside
// must be compared exactly as they were typed.
struct UrlParts {
    QString scheme; // empty when the text has none
    std::optional<QString> userInfo; // present when the authority holds an "@"
    QString host;
    QString port;
    std::optional<QString> query; // raw, still percent-encoded
    std::optional<QString> fragment;

    // Fails on characters a URL cannot hold, bad percent escapes, a malformed scheme or port.
    static std::optional<UrlParts> split(QStringView text);
    // The text without any leading or trailing "/" (how server base URLs are kept).
    static QString trimSlashes(QString text);

    // The query's name=value items, percent-decoded, in order; an item without "=" has the
    // empty value. Fails when an item does not decode as UTF-8.
    std::optional<QList<QPair<QString, QString>>> queryItems() const;
};
