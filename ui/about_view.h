#pragma once

#include <QDialog>

namespace tessaly {

/// The About sheet: the application's symbol, name and version, the credits, two links and a
/// "Close" button (also Ctrl+Esc); a fixed 400 by 400 window-modal dialog.
class AboutView : public QDialog {
    Q_OBJECT
public:
    /// A sheet over `parent`'s window.
    explicit AboutView(QWidget *parent = nullptr);
};

} // namespace tessaly
