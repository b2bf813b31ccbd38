#pragma once

#include "ui/theme.h"

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>

class QBoxLayout;

namespace tessaly {

/// A tinted symbol image of a fixed square size, redrawn when its symbol, tint, scale or the
/// palette changes.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    /// A view of `symbol` drawn `size` pixels square in `tint`.
    SymbolView(const QString &symbol, int size, Tint tint, QWidget *parent = nullptr);

    /// Shows another symbol.
    void setSymbol(const QString &symbol);
    /// Tints the symbol with `tint`.
    void setTint(Tint tint);
    /// Draws the symbol scaled about its centre by `scale` (the size it takes stays the same).
    void setScale(qreal scale);

    /// The symbol's name.
    const QString &symbol() const { return m_symbol; }
    /// The tint.
    Tint tint() const { return m_tint; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
    int m_size;
    Tint m_tint;
    qreal m_scale = 1.0;
    QPixmap m_cache;
    QColor m_cacheColor;
};

/// Adds `symbol` to `row` as a column of its own, held at the top (lowered by `topOffset`
/// pixels) so that it stays beside the first line of the text that follows it.
void addLeadingSymbol(QBoxLayout *row, const QString &symbol, int size, Tint tint,
                      int topOffset = 0);

} // namespace tessaly
