#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

class QLabel;
class QVBoxLayout;
class QWidget;

// The controls window's look: colours, the few type styles and the icons its buttons carry.
namespace ControlStyle {

inline const QColor orange { 0xFF, 0x95, 0x00 };
inline const QColor green { 0x34, 0xC7, 0x59 };
inline const QColor grey { 0x8E, 0x8E, 0x93 };
inline const QColor red { 0xFF, 0x3B, 0x30 };

// A label in the given style; all are created with `parent` and word wrap on.
QLabel *headline(const QString &text, QWidget *parent);
QLabel *caption(const QString &text, QWidget *parent);
// Caption type in the secondary colour, for explanations.
QLabel *secondaryCaption(const QString &text, QWidget *parent);
QLabel *secondary(const QString &text, QWidget *parent);

void setTextColour(QWidget *widget, const QColor &colour);
// A translucent tint of `colour` behind the widget.
void setBackground(QWidget *widget, const QColor &colour, double opacity);

// Two lines of text, one right under the other, for a layout to take in.
QVBoxLayout *tightColumn(QWidget *upper, QWidget *lower);

QIcon sendIcon();
QIcon copyIcon();

}
