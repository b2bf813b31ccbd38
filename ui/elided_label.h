#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace tessaly {

/// One line of verbatim text that takes the width it is given and shortens itself with an
/// ellipsis where it does not fit; the full text is its tool tip when it is shortened.
///
/// Its size hint asks for little width, so a long name never widens the window.
class ElidedLabel : public QWidget {
    Q_OBJECT
public:
    /// A label of `text` shortened by `mode` (Qt::ElideMiddle, Qt::ElideLeft, ...).
    ElidedLabel(const QString &text, Qt::TextElideMode mode, QWidget *parent = nullptr);

    /// Shows `text`.
    void setText(const QString &text);
    /// The full text.
    const QString &text() const { return m_text; }
    /// Draws the text in `color`.
    void setColor(const QColor &color);
    /// The text colour.
    const QColor &color() const { return m_color; }
    /// The text as drawn at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateToolTip();

    QString m_text;
    Qt::TextElideMode m_mode;
    QColor m_color;
};

} // namespace tessaly
