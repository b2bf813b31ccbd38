#include "ui/push_button.h"

#include "ui/symbol_image.h"
#include "ui/theme.h"

#include <QEvent>
#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace tessaly {

namespace {
constexpr int kSpokes = 8;
constexpr int kIconGap = 6;
constexpr qreal kSpinnerScale = 0.7;
} // namespace

PushButton::PushButton(const QString &title, const QString &symbol, QWidget *parent)
    : QAbstractButton(parent), m_symbol(symbol) {
    setTitle(title);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover); // repaint on entering and leaving, for the hover shade
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_spinTimer.setInterval(80);
    connect(&m_spinTimer, &QTimer::timeout, this, [this] {
        m_spinStep = (m_spinStep + 1) % kSpokes;
        update();
    });
    updateFont();
}

void PushButton::setTitle(const QString &title) {
    m_title = title;
    // The base class turns "&x" into an Alt+x shortcut; doubled, every ampersand stays a
    // character there too, and assistive tools read the title as written.
    QString escaped = title;
    escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAbstractButton::setText(escaped);
    updateGeometry();
    update();
}

void PushButton::setLook(Look look) {
    if (look == m_look)
        return;
    m_look = look;
    setCursor(look == Look::plain ? Qt::PointingHandCursor : Qt::ArrowCursor);
    update();
}

void PushButton::setControlSize(ControlSize size) {
    m_size = size;
    updateFont();
    updateGeometry();
    update();
}

void PushButton::setBusy(bool busy) {
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        m_spinTimer.start();
    else
        m_spinTimer.stop();
    update();
}

void PushButton::setSymbol(const QString &symbol) {
    m_symbol = symbol;
    updateGeometry();
    update();
}

int PushButton::controlHeight() const {
    switch (m_size) {
    case ControlSize::small:
        return 22;
    case ControlSize::regular:
        return 26;
    case ControlSize::large:
        return 32;
    }
    return 26;
}

int PushButton::iconSize() const {
    return fontMetrics().height();
}

int PushButton::sidePadding() const {
    if (m_look == Look::plain)
        return 2;
    return m_size == ControlSize::small ? 8 : m_size == ControlSize::large ? 16 : 12;
}

QSize PushButton::sizeHint() const {
    int width = fontMetrics().horizontalAdvance(m_title) + 2 * sidePadding();
    if (!m_symbol.isEmpty())
        width += iconSize() + kIconGap;
    const int h = m_look == Look::plain ? fontMetrics().height() + 2 : controlHeight();
    return {width, h};
}

QSize PushButton::minimumSizeHint() const {
    return sizeHint();
}

QColor PushButton::fillColor() const {
    const QColor behind = backgroundBehind(this);
    switch (m_look) {
    case Look::prominent: {
        if (!isEnabled()) {
            // A faint wash of the accent: still the row's main button, plainly not pressable.
            return composite(withOpacity(tintColor(Tint::accent, this), 0.25), behind);
        }
        // The accent keeps its hue and is deepened (or lightened) until its title reads on it.
        const QColor title = palette().color(QPalette::Active, QPalette::HighlightedText);
        QColor fill = readableOn(tintColor(Tint::accent, this), title);
        if (isDown())
            fill = fill.darker(115);
        else if (underMouse())
            fill = fill.lighter(108);
        return readableOn(fill, title);
    }
    case Look::bordered: {
        QColor fill = palette().color(QPalette::Active, QPalette::Button);
        if (isDown())
            fill = fill.darker(112);
        else if (underMouse() && isEnabled())
            fill = fill.lighter(104);
        return composite(isEnabled() ? fill : withOpacity(fill, 0.5), behind);
    }
    case Look::plain:
        break;
    }
    return Qt::transparent;
}

QColor PushButton::titleColor() const {
    const QColor behind = m_look == Look::plain ? backgroundBehind(this) : fillColor();
    if (!isEnabled()) {
        // Dimmed in every look and every palette, far below the contrast of readable text.
        return composite(withOpacity(tintColor(Tint::primary, this), 0.35), behind);
    }
    switch (m_look) {
    case Look::prominent:
        return readableOn(palette().color(QPalette::Active, QPalette::HighlightedText), behind);
    case Look::plain:
        return readableOn(tintColor(Tint::accent, this), behind);
    case Look::bordered:
        break;
    }
    return readableOn(palette().color(QPalette::Active, QPalette::ButtonText), behind);
}

void PushButton::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = m_size == ControlSize::large ? 7 : 6;
    QPainterPath shape;
    shape.addRoundedRect(box, radius, radius);

    if (m_look != Look::plain)
        painter.fillPath(shape, fillColor());
    if (m_look == Look::bordered) {
        painter.setPen(
            QPen(withOpacity(tintColor(Tint::primary, this), isEnabled() ? 0.2 : 0.1), 1));
        painter.drawPath(shape);
    }
    if (showsFocusRing()) {
        if (m_look == Look::prominent) {
            // An accent ring would vanish on the accent fill: the ring is drawn inside it in
            // the title's colour, which reads on that fill by construction.
            painter.setPen(QPen(titleColor(), 2));
            painter.drawRoundedRect(box.adjusted(2.5, 2.5, -2.5, -2.5), radius - 2.5, radius - 2.5);
        } else {
            painter.setPen(QPen(withOpacity(tintColor(Tint::accent, this), 0.6), 2));
            painter.drawRoundedRect(box, radius, radius);
        }
    }

    const QColor color = titleColor();
    const QFontMetrics metrics = fontMetrics();
    const int icon = m_symbol.isEmpty() ? 0 : iconSize();
    const int content = metrics.horizontalAdvance(m_title) + (icon ? icon + kIconGap : 0);
    qreal x = std::max<qreal>(sidePadding(), (width() - content) / 2.0);
    if (icon) {
        const QRectF iconBox(x, (height() - icon) / 2.0, icon, icon);
        if (m_busy)
            paintSpinner(painter, iconBox, color);
        else
            painter.drawPixmap(iconBox.topLeft(),
                               symbolPixmap(m_symbol, icon, color, devicePixelRatioF()));
        x += icon + kIconGap;
    }
    painter.setPen(color);
    const QRectF textBox(x, 0, width() - x - sidePadding() / 2.0, height());
    painter.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(m_title, Qt::ElideRight, int(textBox.width())));
}

void PushButton::paintSpinner(QPainter &painter, const QRectF &box, const QColor &color) const {
    painter.save();
    painter.translate(box.center());
    painter.scale(kSpinnerScale, kSpinnerScale);
    const qreal outer = box.width() / 2;
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at the current step is darkest; the ones behind it fade out.
        const int age = (m_spinStep - i + kSpokes) % kSpokes;
        painter.setPen(QPen(withOpacity(color, 1.0 - 0.75 * age / (kSpokes - 1)), outer / 3.5,
                            Qt::SolidLine, Qt::RoundCap));
        const qreal angle = 2 * std::numbers::pi * i / kSpokes;
        const QPointF direction(std::sin(angle), -std::cos(angle));
        painter.drawLine(direction * outer * 0.45, direction * outer * 0.95);
    }
    painter.restore();
}

namespace {
/// Focus that leaves for another window or a dialog comes back as it left: a keyboard user
/// back from a confirmation still sees where the focus is.
bool returnsAsItLeft(Qt::FocusReason reason) {
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
}
} // namespace

void PushButton::focusInEvent(QFocusEvent *event) {
    if (!returnsAsItLeft(event->reason()))
        m_keyboardFocus =
            event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

void PushButton::focusOutEvent(QFocusEvent *event) {
    if (!returnsAsItLeft(event->reason()))
        m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

void PushButton::changeEvent(QEvent *event) {
    QAbstractButton::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::StyleChange:
        update();
        break;
    default:
        break;
    }
}

bool PushButton::hitButton(const QPoint &position) const {
    return rect().contains(position);
}

void PushButton::updateFont() {
    setFont(textFont(m_size == ControlSize::small ? TextStyle::callout : TextStyle::body));
}

} // namespace tessaly
