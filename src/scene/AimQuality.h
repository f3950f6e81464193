#pragma once

#include "wire/Entry.h"
#include "wire/Hoop.h"

#include <QStringView>

// Grades an aim: where a flight launched with an entry crosses the hoop's height on its way
// down, under the scene's gravity of 1.3 field sides per second squared.
namespace AimQuality {

enum class Grade {
    Green, // the whole ball passes between the rim ends, with room to spare
    Gray, // it touches a rim end: may go either way
    Black, // it misses, or never reaches the hoop's height
};

Grade predict(const Entry &entry, const Hoop &hoop);

// "green", "gray", "black".
QStringView rawValue(Grade grade);

} // namespace AimQuality
