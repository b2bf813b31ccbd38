#include "ui/wrapping_label.h"

namespace tessaly {

namespace {
constexpr int kHintWidth = 160;
} // namespace

WrappingLabel::WrappingLabel(const QString &text, QWidget *parent)
    : TintedLabel(QString(), Tint::primary, parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    setCursor(Qt::IBeamCursor);
    setText(text);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QSize WrappingLabel::sizeHint() const {
    return {kHintWidth, heightForWidth(kHintWidth)};
}

QSize WrappingLabel::minimumSizeHint() const {
    // The height that counts comes from heightForWidth(); a minimum computed at the hint's
    // narrow width would overstate it.
    return {kHintWidth / 4, fontMetrics().height()};
}

} // namespace tessaly
