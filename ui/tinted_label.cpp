#include "ui/tinted_label.h"

#include <QEvent>

namespace tessaly {

TintedLabel::TintedLabel(const QString &text, Tint tint, QWidget *parent)
    : QLabel(text, parent), m_tint(tint) {
    makeRoomBelow();
}

void TintedLabel::makeRoomBelow() {
    // The last line's underscores and descenders reach below the font's descent, where a
    // label exactly as tall as its lines would cut them off.
    const int below = inkBelowDescent(font());
    if (contentsMargins().bottom() != below)
        setContentsMargins(0, 0, 0, below);
}

void TintedLabel::setTint(Tint tint) {
    m_tint = tint;
    applyTint();
}

bool TintedLabel::event(QEvent *event) {
    const bool handled = QLabel::event(event);
    switch (event->type()) {
    case QEvent::Polish:
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::StyleChange:
    case QEvent::ParentChange:
    case QEvent::Show:
        applyTint();
        break;
    case QEvent::FontChange:
        makeRoomBelow();
        break;
    default:
        break;
    }
    return handled;
}

void TintedLabel::applyTint() {
    const QColor color = textColor(m_tint, this);
    // Setting an equal colour changes nothing and sends no event, which ends the round trip
    // through PaletteChange.
    if (palette().color(QPalette::WindowText) == color && palette().color(QPalette::Link) == color)
        return;
    QPalette own = palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        own.setColor(group, QPalette::WindowText, color);
        own.setColor(group, QPalette::Link, color);
    }
    setPalette(own);
}

TintedLabel *styledLabel(const QString &text, TextStyle style, Tint tint, Qt::TextFormat format) {
    auto *label = new TintedLabel(QString(), tint);
    label->setTextFormat(format);
    label->setText(text);
    label->setFont(textFont(style));
    return label;
}

} // namespace tessaly
