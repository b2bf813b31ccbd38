#include "ui/rounded_card.h"

#include "ui/theme.h"

#include <QPainter>
#include <QPainterPath>

namespace tessaly {

RoundedCard::RoundedCard(const CardLook &look, QWidget *parent) : QWidget(parent), m_look(look) {}

void RoundedCard::setLook(const CardLook &look) {
    if (look == m_look)
        return;
    m_look = look;
    update();
}

QColor RoundedCard::surfaceFill() const {
    return withOpacity(tintColor(m_look.tint, this), m_look.fillOpacity);
}

void RoundedCard::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The outline is drawn inside the bounds, so a card never paints beyond its own rectangle.
    const bool outlined = m_look.strokeOpacity > 0;
    const qreal inset = outlined ? m_look.lineWidth / 2 : 0;
    const QRectF box = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    QPainterPath path;
    path.addRoundedRect(box, m_look.radius - inset, m_look.radius - inset);
    painter.fillPath(path, surfaceFill());
    if (!outlined)
        return;
    QPen pen(withOpacity(tintColor(m_look.tint, this), m_look.strokeOpacity), m_look.lineWidth,
             Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    if (m_look.dashed)
        pen.setDashPattern({6 / m_look.lineWidth, 4 / m_look.lineWidth}); // in line widths
    painter.strokePath(path, pen);
}

Divider::Divider(QWidget *parent) : QWidget(parent) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), withOpacity(tintColor(Tint::primary, this), 0.12));
}

} // namespace tessaly
