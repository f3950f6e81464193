#pragma once

#include "net/NetworkError.h"

#include <QString>
#include <QStringView>

#include <QCoro/QCoroTask>

#include <optional>

// The guest session token of each game server, kept in the user's Secret Service under the
// service "com.tosswick.session" with the server's base URL text, exactly as given, as the
// account: "https://a.example" and "https://a.example/" are two servers. Where no Secret Service
// answers on the session bus, the tokens live in files readable only by the user, one per server,
// under $XDG_DATA_HOME/tosswick/sessions.
//
// Both operations wait for the store without blocking the event loop: other tasks on the main
// thread may run while they are under way. Tokens never appear in any message or log.
namespace Keychain {

inline constexpr QStringView service = u"com.tosswick.session";

// The stored token of this server, or none: every failure of the store reads as none.
QCoro::Task<std::optional<QString>> read(QString server);

// Replaces the server's stored token, or deletes it when given none. The error, when there is
// one, is that of storing the new token (status: a negative code of the store); a failed
// delete is not an error.
QCoro::Task<std::optional<NetworkError>> save(std::optional<QString> token, QString server);

} // namespace Keychain
