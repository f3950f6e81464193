#pragma once

#include <QString>

// Why a game action was refused: an HTTP status, a sentence for the player and, for invalid
// input (422), the request field it concerns.
struct Refusal {
    int status = 409;
    QString message;
    QString field;
};
