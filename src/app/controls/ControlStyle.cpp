#include "ControlStyle.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QStyle>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace ControlStyle {

namespace {

QLabel *label(const QString &text, QWidget *parent, double pointScale, bool bold)
{
    auto *result = new QLabel(text, parent);
    result->setWordWrap(true);
    QFont font = result->font();
    font.setPointSizeF(font.pointSizeF() * pointScale);
    font.setBold(bold);
    result->setFont(font);
    return result;
}

} // namespace

QLabel *headline(const QString &text, QWidget *parent)
{
    return label(text, parent, 1.1, true);
}

QLabel *caption(const QString &text, QWidget *parent)
{
    return label(text, parent, 0.85, false);
}

QLabel *secondaryCaption(const QString &text, QWidget *parent)
{
    QLabel *result = caption(text, parent);
    setTextColour(result, grey);
    return result;
}

QLabel *secondary(const QString &text, QWidget *parent)
{
    QLabel *result = label(text, parent, 1.0, false);
    setTextColour(result, grey);
    return result;
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

void setBackground(QWidget *widget, const QColor &colour, double opacity)
{
    QColor tint = colour;
    tint.setAlphaF(static_cast<float>(opacity));
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, tint);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QVBoxLayout *tightColumn(QWidget *upper, QWidget *lower)
{
    auto *column = new QVBoxLayout;
    column->setSpacing(0);
    column->addWidget(upper);
    column->addWidget(lower);
    return column;
}

QIcon sendIcon()
{
    return QIcon::fromTheme(
        u"mail-send"_s, QApplication::style()->standardIcon(QStyle::SP_ArrowForward));
}

QIcon copyIcon()
{
    return QIcon::fromTheme(
        u"edit-copy"_s, QApplication::style()->standardIcon(QStyle::SP_FileIcon));
}

} // namespace ControlStyle
