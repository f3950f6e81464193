#pragma once

#include <QString>

// The one error type of the network layer: an HTTP status (or a credential store status,
// or 0 outside HTTP) and a text a player can read.
struct NetworkError {
    int status = 0;
    QString message;

    QString description() const { return message; }
    bool operator==(const NetworkError &) const = default;
};
