#pragma once

#include "ui/surface.h"
#include "ui/theme.h"

#include <QColor>
#include <QWidget>

namespace tessaly {

/// How a rounded panel is filled and outlined: its tint at two opacities, looked up in the
/// palette whenever the card is drawn.
struct CardLook {
    Tint tint = Tint::control;
    qreal fillOpacity = 0.0;
    qreal strokeOpacity = 0.0; ///< 0: no outline
    qreal lineWidth = 1.0;
    qreal radius = 10.0;

    friend bool operator==(const CardLook &, const CardLook &) = default;

    /// The look of a message card: a light wash of `tint` with an outline of it.
    static constexpr CardLook message(Tint tint) { return {tint, 0.1, 0.3, 1, 10}; }
};

/// A container painted as a rounded rectangle; its content is whatever layout it is given.
class RoundedCard : public QWidget, public Surface {
    Q_OBJECT
public:
    /// A card painted with `look`.
    explicit RoundedCard(const CardLook &look, QWidget *parent = nullptr);

    /// How the card is painted.
    const CardLook &look() const { return m_look; }

    QColor surfaceFill() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    CardLook m_look;
};

/// A one-pixel separator line across the width it is given.
class Divider : public QWidget {
    Q_OBJECT
public:
    /// A horizontal divider.
    explicit Divider(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace tessaly
