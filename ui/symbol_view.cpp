#include "ui/symbol_view.h"

#include "ui/symbol_image.h"

#include <QPainter>
#include <QVBoxLayout>

namespace tessaly {

SymbolView::SymbolView(const QString &symbol, int size, Tint tint, QWidget *parent)
    : QWidget(parent), m_symbol(symbol), m_size(size), m_tint(tint) {
    setFixedSize(size, size);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::setSymbol(const QString &symbol) {
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    m_cache = QPixmap();
    update();
}

void SymbolView::setTint(Tint tint) {
    if (tint == m_tint)
        return;
    m_tint = tint;
    update();
}

void SymbolView::setScale(qreal scale) {
    m_scale = scale;
    update();
}

QSize SymbolView::sizeHint() const {
    return {m_size, m_size};
}

void SymbolView::paintEvent(QPaintEvent *) {
    const qreal ratio = devicePixelRatioF();
    // The tint is looked up at every paint: the palette may have changed since the last one.
    const QColor color = tintColor(m_tint, this);
    if (m_cache.isNull() || color != m_cacheColor ||
        !qFuzzyCompare(m_cache.devicePixelRatio(), ratio)) {
        m_cache = symbolPixmap(m_symbol, m_size, color, ratio);
        m_cacheColor = color;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!qFuzzyCompare(m_scale, 1.0)) {
        painter.translate(width() / 2.0, height() / 2.0);
        painter.scale(m_scale, m_scale);
        painter.translate(-width() / 2.0, -height() / 2.0);
    }
    painter.drawPixmap(QPointF((width() - m_size) / 2.0, (height() - m_size) / 2.0), m_cache);
}

void addLeadingSymbol(QBoxLayout *row, const QString &symbol, int size, Tint tint, int topOffset) {
    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, topOffset, 0, 0);
    column->addWidget(new SymbolView(symbol, size, tint));
    column->addStretch(1);
    row->addLayout(column);
}

} // namespace tessaly
