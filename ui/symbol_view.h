#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace tessaly {

/// A tinted symbol image of a fixed square size, redrawn when its symbol, colour or scale
/// changes.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    /// A view of `symbol` drawn `size` pixels square in `color`.
    SymbolView(const QString &symbol, int size, const QColor &color, QWidget *parent = nullptr);

    /// Shows another symbol.
    void setSymbol(const QString &symbol);
    /// Tints the symbol with `color`.
    void setColor(const QColor &color);
    /// Draws the symbol scaled about its centre by `scale` (the size it takes stays the same).
    void setScale(qreal scale);

    /// The symbol's name.
    const QString &symbol() const { return m_symbol; }
    /// The tint.
    const QColor &color() const { return m_color; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
    int m_size;
    QColor m_color;
    qreal m_scale = 1.0;
    QPixmap m_cache;
};

} // namespace tessaly
