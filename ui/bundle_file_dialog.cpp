#include "ui/bundle_file_dialog.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace tessaly {

BundleFileDialog::BundleFileDialog(QWidget *parent, const QString &title,
                                   QFileDialog::AcceptMode mode)
    : QFileDialog(parent, title) {
    // The desktop's own dialogs cannot treat a folder as a document.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(mode);
    setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // An apply never writes over an existing document (it fails and says so), so asking
    // whether to replace one would promise what does not happen. An existing bundle is
    // replaced, and for that the dialog asks itself.
    setOption(QFileDialog::DontConfirmOverwrite);
    // Opening inside a bundle (remembered from an earlier choice) would hide the bundle itself.
    if (isBundle(directory().absolutePath()))
        setDirectory(QFileInfo(directory().absolutePath()).absolutePath());

    // Double-clicking a folder enters it; for a bundle, that is the user choosing it.
    connect(this, &QFileDialog::directoryEntered, this, [this](const QString &entered) {
        if (m_shown && isBundle(entered))
            choose(entered);
    });
}

bool BundleFileDialog::isBundle(const QString &path) {
    const QFileInfo info(path);
    return info.isDir() && info.fileName().endsWith(QLatin1String(".fcpxmld"), Qt::CaseInsensitive);
}

void BundleFileDialog::accept() {
    const QStringList selected = selectedFiles();
    if (selected.size() == 1 && isBundle(selected.front())) {
        if (acceptMode() == QFileDialog::AcceptSave && !confirmReplace(selected.front()))
            return;
        choose(selected.front());
        return;
    }
    QFileDialog::accept();
    if (result() == QDialog::Accepted && !selectedFiles().isEmpty())
        m_chosen = selectedFiles().front();
}

bool BundleFileDialog::confirmReplace(const QString &path) {
    // Saving over an earlier bundle removes it whole, so ask as for any file being replaced.
    const QString question =
        tr("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(path).fileName());
    return QMessageBox::warning(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

void BundleFileDialog::showEvent(QShowEvent *event) {
    QFileDialog::showEvent(event);
    m_shown = true;
}

void BundleFileDialog::choose(const QString &path) {
    QString chosen = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    m_chosen = chosen;
    // Leave the dialog looking at the bundle's folder, so the next one opens beside it.
    setDirectory(QFileInfo(chosen).absolutePath());
    QDialog::accept();
}

} // namespace tessaly
