#include "scene/LabelNode.h"

#include <QFontMetricsF>

LabelNode::LabelNode(QString name)
    : Node(std::move(name))
{
}

void LabelNode::setText(const QString &text)
{
    if (assign(m_text, text))
        measure();
}

void LabelNode::setFont(const QFont &font)
{
    if (assign(m_font, font))
        measure();
}

void LabelNode::setColor(const QColor &color)
{
    assign(m_color, color);
}

void LabelNode::setAlignment(Alignment alignment)
{
    if (assign(m_alignment, alignment))
        measure();
}

qreal LabelNode::textOffset() const
{
    return m_alignment == Alignment::Center ? -m_width / 2 : 0;
}

// Measured once per change of text or font, not per frame.
void LabelNode::measure()
{
    if (m_text.isEmpty()) {
        m_width = 0;
        m_bounds = {};
    } else {
        const QFontMetricsF metrics(m_font);
        m_width = metrics.horizontalAdvance(m_text);
        // Both rectangles turned to y up: the advance box and the ink, which may stick out of it.
        const QRectF advance(
            textOffset(), -metrics.descent(), m_width, metrics.ascent() + metrics.descent());
        const QRectF ink = metrics.boundingRect(m_text);
        const QRectF inkUp(textOffset() + ink.left(), -ink.bottom(), ink.width(), ink.height());
        const QRectF box = advance | inkUp;
        m_bounds = box.adjusted(-2, -2, 2, 2);
    }
    markChanged();
}
