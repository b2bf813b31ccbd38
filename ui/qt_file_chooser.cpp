#include "ui/qt_file_chooser.h"

#include "ui/bundle_file_dialog.h"

#include <QFile>

namespace tessaly {

namespace {

std::filesystem::path toPath(const QString &path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

} // namespace

QtFileChooser::QtFileChooser(QWidget *window) : m_window(window) {}

std::optional<std::filesystem::path> QtFileChooser::chooseInput(const QString &title) {
    BundleFileDialog dialog(m_window, title, QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenPath().isEmpty())
        return std::nullopt;
    return toPath(dialog.chosenPath());
}

std::optional<std::filesystem::path> QtFileChooser::chooseOutput(const QString &title,
                                                                 const QString &proposedName) {
    // A bundle output replaces an earlier bundle of the same name, which a plain save dialog
    // would open as a folder instead.
    BundleFileDialog dialog(m_window, title, QFileDialog::AcceptSave);
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenPath().isEmpty())
        return std::nullopt;
    return toPath(dialog.chosenPath());
}

} // namespace tessaly
