#pragma once

#include <QFileDialog>

namespace tessaly {

/// A file dialog that treats an `.fcpxmld` bundle folder as one document.
///
/// A file dialog either picks files or folders; this one picks files, and selecting a bundle
/// and pressing Open (or Save), or double-clicking it, chooses the bundle instead of entering
/// it.
class BundleFileDialog : public QFileDialog {
    Q_OBJECT
public:
    /// An open (`mode` AcceptOpen) or save dialog titled `title` over `parent`'s window.
    BundleFileDialog(QWidget *parent, const QString &title, QFileDialog::AcceptMode mode);

    /// The chosen file or bundle, empty until the dialog was accepted.
    QString chosenPath() const { return m_chosen; }

    /// Whether `path` names an existing folder whose name ends in `.fcpxmld` (any case).
    static bool isBundle(const QString &path);

public Q_SLOTS:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void choose(const QString &path);
    bool confirmReplace(const QString &path);

    QString m_chosen;
    bool m_shown = false;
};

} // namespace tessaly
