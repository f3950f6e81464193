#pragma once

#include "scene/Node.h"

#include <QColor>
#include <QFont>

// A node that draws one line of text upright, its baseline at the node's position.
class LabelNode : public Node {
public:
    enum class Alignment { Center, Left };

    explicit LabelNode(QString name = {});

    Kind kind() const override { return Kind::Label; }

    const QString &text() const { return m_text; }
    void setText(const QString &text);
    const QFont &font() const { return m_font; }
    void setFont(const QFont &font);
    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    Alignment alignment() const { return m_alignment; }
    void setAlignment(Alignment alignment);

    // Where the text starts, relative to the position; y up.
    qreal textOffset() const;
    QRectF localBounds() const override { return m_bounds; }

private:
    void measure();

    QString m_text;
    QFont m_font;
    QColor m_color = Qt::white;
    Alignment m_alignment = Alignment::Center;
    qreal m_width = 0;
    QRectF m_bounds;
};
