#include "ui/elided_label.h"

#include "ui/accessible_names.h"
#include "ui/theme.h"

#include <QAccessible>
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
    installAccessibleTexts();
    updateToolTip();
}

void ElidedLabel::setText(const QString &text) {
    if (text == m_text)
        return;
    m_text = text;
    updateToolTip();
    update();
    // A screen reader reads the whole text, which has just changed.
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
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

int ElidedLabel::lineHeight() const {
    return fontMetrics().height() + inkBelowDescent(font());
}

QSize ElidedLabel::sizeHint() const {
    return {std::min(kHintWidth, fontMetrics().horizontalAdvance(m_text)), lineHeight()};
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, lineHeight()};
}

void ElidedLabel::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setPen(color());
    // On the baseline of a line that starts at the top, so the room below the descent stays
    // below it for underscores.
    painter.drawText(QPointF(0, fontMetrics().ascent()), shownText());
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
