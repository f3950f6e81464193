#pragma once

#include <QByteArrayView>
#include <QJsonObject>
#include <QString>
#include <QStringView>

#include <optional>

// Texts the server stores and shows must be whole Unicode without control characters.
// The JSON body is checked in its raw bytes: QJsonDocument quietly turns a lone surrogate
// escape into U+FFFD, so the parsed document can no longer tell.
namespace TextCheck {

// The top-level member of a JSON body whose text (a string value or a key, at any depth)
// holds an unpaired surrogate escape, invalid UTF-8 or a C0, DEL or C1 control character,
// e.g. "entry" for a bad text inside entry; a bad top-level key names itself, with its bad
// characters written as \uXXXX (or \xHH for a stray byte). None when every text is clean.
std::optional<QString> uncleanField(QByteArrayView json);

// The same for fields that are all texts already (a form-encoded body).
std::optional<QString> uncleanField(const QJsonObject &textFields);

// No unpaired surrogate and no C0, DEL or C1 control character.
bool isCleanText(QStringView text);

} // namespace TextCheck
