#include "scene/SceneStyle.h"

using namespace Qt::StringLiterals;

QFont SceneStyle::font(Face face, int pixelSize)
{
    QFont font(face == Face::BoldMonospace ? u"Monospace"_s : u"Sans Serif"_s);
    font.setStyleHint(face == Face::BoldMonospace ? QFont::Monospace : QFont::SansSerif);
    font.setWeight(face == Face::MediumSans ? QFont::Medium : QFont::Bold);
    font.setPixelSize(pixelSize);
    return font;
}
