#pragma once

#include "ui/surface.h"

#include <QVariantAnimation>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>

namespace tessaly {

class ElidedLabel;
class PushButton;
class SymbolView;
class TintedLabel;

/// The rounded input panel of the file section: an invitation to drop or pick a document
/// when no input is set, the chosen file with a "Change…" button when one is.
///
/// It holds no state of its own: the owner tells it whether a drag hovers and what the input
/// is, and it calls `onTap` when the user asks to choose a file.
class DropZoneView : public QWidget, public Surface {
    Q_OBJECT
public:
    /// An empty, unhovered panel that calls `onTap` to open the chooser.
    explicit DropZoneView(std::function<void()> onTap, QWidget *parent = nullptr);

    /// Shows whether a file drag hovers over the panel.
    void setTargeted(bool isTargeted);
    /// Shows `url` as the input, or the empty state when it is none.
    void setURL(const std::optional<std::filesystem::path> &url);

    /// Whether the hover look is shown.
    bool isTargeted() const { return m_isTargeted; }
    /// The input shown.
    const std::optional<std::filesystem::path> &url() const { return m_url; }
    /// Whether the switch between the empty and the loaded state is still running.
    bool isAnimating() const { return m_heightAnimation.state() == QAbstractAnimation::Running; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    QColor surfaceFill() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    static QString iconName(const std::filesystem::path &url);
    QWidget *emptyContent();
    QWidget *loadedContent();
    int stateHeight() const;
    void updateContent();

    std::function<void()> m_onTap;
    bool m_isTargeted = false;
    std::optional<std::filesystem::path> m_url;

    QWidget *m_empty = nullptr;
    SymbolView *m_emptySymbol = nullptr;
    TintedLabel *m_emptyMessage = nullptr;
    QWidget *m_loaded = nullptr;
    SymbolView *m_loadedSymbol = nullptr;
    ElidedLabel *m_name = nullptr;
    ElidedLabel *m_folder = nullptr;

    int m_height;
    QVariantAnimation m_heightAnimation;
    QVariantAnimation m_symbolAnimation;
};

} // namespace tessaly
