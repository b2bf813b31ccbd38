#include "ui/qt_file_chooser.h"

#include "ui/bundle_file_dialog.h"
#include "workflow/path_string.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace tessaly {

QtFileChooser::QtFileChooser(QWidget *window, OutputLocation currentOutput)
    : m_window(window), m_currentOutput(std::move(currentOutput)) {}

std::optional<std::filesystem::path> QtFileChooser::chooseInput(const QString &title) {
    BundleFileDialog dialog(m_window, title, QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenPath().isEmpty())
        return std::nullopt;
    return pathFromString(dialog.chosenPath());
}

std::optional<std::filesystem::path> QtFileChooser::chooseOutput(const QString &title,
                                                                 const QString &proposedName) {
    // A bundle output replaces an earlier bundle of the same name, which a plain save dialog
    // would open as a folder instead.
    BundleFileDialog dialog(m_window, title, QFileDialog::AcceptSave);
    // Left to itself the dialog opens in the process's working folder, which for an
    // application started from the desktop is the home folder or the root: one press of Save
    // would move the output there. It opens where the output goes now.
    const std::optional<std::filesystem::path> current =
        m_currentOutput ? m_currentOutput() : std::nullopt;
    if (current && current->has_parent_path() && pathString(current->filename()) == proposedName)
        dialog.setDirectory(pathString(current->parent_path()));
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenPath().isEmpty())
        return std::nullopt;
    return pathFromString(dialog.chosenPath());
}

std::optional<std::filesystem::path> QtFileChooser::chooseFolder(const QString &title) {
    QFileDialog dialog(m_window, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const std::optional<std::filesystem::path> current =
        m_currentOutput ? m_currentOutput() : std::nullopt;
    if (current && current->has_parent_path())
        dialog.setDirectory(pathString(current->parent_path()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return pathFromString(dialog.selectedFiles().constFirst());
}

bool QtFileChooser::confirmReplace(const std::filesystem::path &existing) {
    QMessageBox box(m_window);
    box.setIcon(QMessageBox::Warning);
    box.setText(QObject::tr("“%1” already exists. Do you want to replace it?")
                    .arg(pathString(existing.filename())));
    box.setInformativeText(
        QObject::tr("It is in “%1”. Replacing it overwrites its contents once the new copy is "
                    "complete.")
            .arg(pathString(existing.parent_path())));
    QPushButton *replace = box.addButton(QObject::tr("Replace"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    // A stray Return keeps the user's file.
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == replace;
}

} // namespace tessaly
