#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QString>
#include <QTimer>

namespace tessaly {

/// A push button drawn the same on every desktop: bordered, prominent (filled with the accent
/// colour) or plain (text only), with an optional symbol that a spinner replaces while busy.
///
/// Its title is shown exactly as written: an ampersand is a character, never a keyboard
/// mnemonic, so no Alt key presses a button by accident.
class PushButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Look { bordered, prominent, plain };
    enum class ControlSize { small, regular, large };

    /// A button titled `title` with the symbol `symbol` (empty for none).
    PushButton(const QString &title, const QString &symbol, QWidget *parent = nullptr);

    /// Shows `title` as written.
    void setTitle(const QString &title);
    /// The title as shown.
    const QString &title() const { return m_title; }
    /// Whether the button has focus that came from the keyboard, and so shows its ring.
    bool showsFocusRing() const { return m_keyboardFocus && hasFocus(); }
    /// Titles are set with setTitle(), which keeps an ampersand from becoming a mnemonic.
    void setText(const QString &) = delete;

    /// Draws the button as `look`.
    void setLook(Look look);
    /// How the button is drawn.
    Look look() const { return m_look; }
    /// Sizes the button as `size`.
    void setControlSize(ControlSize size);
    /// Replaces the symbol by a spinning progress indicator while `busy` is true.
    void setBusy(bool busy);
    /// Whether the spinner is shown in place of the symbol.
    bool isBusy() const { return m_busy; }
    /// Shows the symbol `symbol` (empty for none).
    void setSymbol(const QString &symbol);
    /// The symbol's name.
    const QString &symbol() const { return m_symbol; }
    /// The colour the title is drawn in now, from the palette and the button's state.
    QColor titleColor() const;
    /// The colour the button is filled with now; transparent for a plain button.
    QColor fillColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool hitButton(const QPoint &position) const override;

private:
    int controlHeight() const;
    int iconSize() const;
    int sidePadding() const;
    void paintSpinner(QPainter &painter, const QRectF &box, const QColor &color) const;
    void updateFont();

    Look m_look = Look::bordered;
    ControlSize m_size = ControlSize::regular;
    QString m_title;
    QString m_symbol;
    bool m_busy = false;
    bool m_keyboardFocus = false;
    int m_spinStep = 0;
    QTimer m_spinTimer;
};

} // namespace tessaly
