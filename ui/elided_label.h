#pragma once

#include "ui/theme.h"

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
    /// Draws the text in `tint`.
    void setTint(Tint tint);
    /// The tint of the text.
    Tint tint() const { return m_tint; }
    /// The colour the text is drawn in now.
    QColor color() const;
    /// The text as drawn at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    int lineHeight() const;
    void updateToolTip();

    QString m_text;
    Qt::TextElideMode m_mode;
    Tint m_tint = Tint::primary;
};

} // namespace tessaly
