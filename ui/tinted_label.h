#pragma once

#include "ui/theme.h"

#include <QLabel>

namespace tessaly {

/// A label whose text colour is a tint, made readable on what the label is drawn on and
/// chosen again whenever the palette, the style or the label's place changes.
class TintedLabel : public QLabel {
    Q_OBJECT
public:
    /// A label of `text` in `tint`.
    explicit TintedLabel(const QString &text = QString(), Tint tint = Tint::primary,
                         QWidget *parent = nullptr);

    /// Draws the text, and the links in it, in `tint`.
    void setTint(Tint tint);
    /// The tint of the text.
    Tint tint() const { return m_tint; }

protected:
    bool event(QEvent *event) override;

private:
    void applyTint();
    void makeRoomBelow();

    Tint m_tint;
};

/// A new label of `text` in `style` and `tint`.
TintedLabel *styledLabel(const QString &text, TextStyle style, Tint tint = Tint::primary,
                         Qt::TextFormat format = Qt::PlainText);

} // namespace tessaly
