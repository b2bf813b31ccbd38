#pragma once

#include <QColor>
#include <QWidget>

namespace tessaly {

/// How a rounded panel is filled and outlined.
struct CardLook {
    QColor fill = Qt::transparent;
    QColor stroke = Qt::transparent; ///< transparent: no outline
    qreal lineWidth = 1.0;
    qreal radius = 10.0;
    bool dashed = false; ///< 6 on, 4 off (in points), otherwise solid

    friend bool operator==(const CardLook &, const CardLook &) = default;
};

/// A container painted as a rounded rectangle; its content is whatever layout it is given.
class RoundedCard : public QWidget {
    Q_OBJECT
public:
    /// A card painted with `look`.
    explicit RoundedCard(const CardLook &look, QWidget *parent = nullptr);

    /// Repaints the card with `look`.
    void setLook(const CardLook &look);
    /// How the card is painted.
    const CardLook &look() const { return m_look; }

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
