#pragma once

#include <QString>

// Identifiers of rounds, from the system's random source.
namespace RoundIds {

// A random UUID in its canonical 36-character lower-case form.
QString newRoundId();

// 128 random bits as 32 lower-case hex digits: the secret a receiver echoes with each shot.
QString newNonce();

} // namespace RoundIds
