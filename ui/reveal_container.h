#pragma once

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

#include <optional>

namespace tessaly {

/// Holds at most one panel under a gap, and grows or shrinks to it with a short ease-in-out
/// animation when the panel is shown, replaced or removed.
///
/// Its height hint follows the animation, so a window whose layout has a fixed size follows
/// it too and ends exactly at its content's size.
class RevealContainer : public QWidget {
    Q_OBJECT
public:
    /// An empty container whose panel sits `gap` points below its top edge.
    explicit RevealContainer(int gap, QWidget *parent = nullptr);

    /// Shows `panel` (taking it over) in place of the current one, or nothing when null;
    /// animates the change of height when `animated` is true.
    void setPanel(QWidget *panel, bool animated);
    /// The panel shown, or null.
    QWidget *panel() const { return m_panel; }
    /// Whether a change of height is still running.
    bool isAnimating() const { return m_animation.state() == QAbstractAnimation::Running; }

Q_SIGNALS:
    /// The container has reached its panel's height, after an animation or at once.
    void settled();

public:
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;

private:
    int panelHeight(const QWidget *panel, int width) const;
    int naturalHeight(int width) const;
    void placePanels();

    int m_gap;
    QWidget *m_panel = nullptr;
    QPointer<QWidget> m_leaving;
    std::optional<int> m_animatedHeight;
    QVariantAnimation m_animation;
};

} // namespace tessaly
