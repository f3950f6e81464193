#pragma once

#include <QColor>
#include <QFont>

// Colours and fonts shared by the scene's parts.
namespace SceneStyle {

inline const QColor orange(0xFF, 0x95, 0x00);
inline const QColor green(0x34, 0xC7, 0x59);
inline const QColor grey(0x8E, 0x8E, 0x93);

enum class Face { BoldMonospace, MediumSans, BoldSans };

QFont font(Face face, int pixelSize);

} // namespace SceneStyle
