#include "ui/elided_label.h"

#include "ui/theme.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace tessaly {

namespace {
constexpr int kHintWidth = 80;
} // namespace

ElidedLabel::ElidedLabel(const QString &text, Qt::TextElideMode mode, QWidget *parent)
    : QWidget(parent), m_text(text), m_mode(mode) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    updateToolTip();
}

void ElidedLabel::setText(const QString &text) {
    if (text == m_text)
        return;
    m_text = text;
    updateToolTip();
    update();
}

void ElidedLabel::setTint(Tint tint) {
    m_tint = tint;
    update();
}

QColor ElidedLabel::color() const {
    return textColor(m_tint, this);
}

QString ElidedLabel::shownText() const {
    return fontMetrics().elidedText(m_text, m_mode, width());
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {std::min(kHintWidth, metrics.horizontalAdvance(m_text)), metrics.height()};
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, fontMetrics().height()};
}

void ElidedLabel::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setPen(color());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
}

void ElidedLabel::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    updateToolTip();
}

void ElidedLabel::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
        updateToolTip();
    }
}

void ElidedLabel::updateToolTip() {
    setToolTip(shownText() == m_text ? QString() : m_text);
}

} // namespace tessaly
