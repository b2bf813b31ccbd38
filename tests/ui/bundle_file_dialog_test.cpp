#include "ui/bundle_file_dialog.h"
#include "ui/content_view.h"
#include "widget_support.h"
#include "workflow/relink_view_model.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace tessaly::testing {
namespace {

TEST(BundleFileDialog, ReturnsTheChosenDocumentOrBundleAndAsksBeforeReplacingABundle) {
    TempDir temp;
    writeFile(temp / "Day1.fcpxml", "<fcpxml/>");
    writeFile(temp / "Day2.fcpxmld" / "Info.fcpxml", "<fcpxml/>");
    using Mode = QFileDialog::AcceptMode;
    using Box = QMessageBox;
    const struct {
        Mode mode;
        const char *name;           // clicked in an open dialog, typed in a save dialog
        bool doubleClick;           // opened with a double click instead of the button
        Box::StandardButton answer; // to a replace question; NoButton: none is asked
        const char *chosen;         // none: the dialog stays open
    } cases[] = {
        // A selected bundle is chosen, not entered as the folder it is.
        {Mode::AcceptOpen, "Day2.fcpxmld", false, Box::NoButton, "Day2.fcpxmld"},
        {Mode::AcceptOpen, "Day2.fcpxmld", true, Box::NoButton, "Day2.fcpxmld"},
        {Mode::AcceptSave, "Day1_braw.fcpxml", false, Box::NoButton, "Day1_braw.fcpxml"},
        // Saving over a document does not promise to replace it, so nothing is asked.
        {Mode::AcceptSave, "Day1.fcpxml", false, Box::NoButton, "Day1.fcpxml"},
        // Saving over a bundle replaces it whole, so the user is asked first.
        {Mode::AcceptSave, "Day2.fcpxmld", false, Box::No, nullptr},
        {Mode::AcceptSave, "Day2.fcpxmld", false, Box::Yes, "Day2.fcpxmld"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.name << " answered " << c.answer);
        BundleFileDialog dialog(nullptr, QStringLiteral("Choose"), c.mode);
        if (c.mode == Mode::AcceptSave)
            dialog.selectFile(QString::fromLatin1(c.name));
        dialog.setDirectory(qt(temp.path()));
        dialog.open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        // The list holds the folder's items once the dialog has read the folder.
        auto *list = dialog.findChild<QListView *>(QStringLiteral("listView"));
        const QAbstractItemModel &items = *list->model();
        ASSERT_TRUE(QTest::qWaitFor([&] { return items.rowCount(list->rootIndex()) == 2; }, 5000));
        const QModelIndexList clicked = items.match(items.index(0, 0, list->rootIndex()),
                                                    Qt::DisplayRole, QString::fromLatin1(c.name));
        const QPoint centre = clicked.isEmpty() ? QPoint() : list->visualRect(clicked[0]).center();
        if (c.mode == Mode::AcceptOpen)
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
        // A question runs its own event loop; answer it from inside that loop.
        bool asked = false;
        QTimer answering;
        QObject::connect(&answering, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                asked = true;
                box->button(c.answer == Box::NoButton ? Box::No : c.answer)->click();
            }
        });
        answering.start(20);
        if (c.doubleClick) {
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 2000));
        } else {
            const auto button =
                c.mode == Mode::AcceptOpen ? QDialogButtonBox::Open : QDialogButtonBox::Save;
            QTest::mouseClick(
                dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(button),
                Qt::LeftButton);
        }
        EXPECT_EQ(asked, c.answer != Box::NoButton);
        EXPECT_EQ(dialog.isVisible(), !c.chosen);
        EXPECT_EQ(dialog.chosenPath(), c.chosen ? qt(temp / c.chosen) : QString());
        EXPECT_EQ(dialog.directory().absolutePath(), qt(temp.path()));
        dialog.reject();
    }
}

TEST(WindowFileDialogs, ReturnTheChosenFilesAndSaveOpensInTheOutputFolderWithItsName) {
    TempDir temp;
    const fs::path input = temp / "Reel_04_Night" / "Day1.fcpxml";
    writeFile(input, "<fcpxml/>");
    ASSERT_NE(QDir::currentPath(), qt(input.parent_path()));
    ContentView view; // the window's own dialogs
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    QString folder;
    QString name;
    // Each dialog is answered once, typed as a user would: a selection needs the folder read,
    // which a fresh process may not have done yet. One that refuses the answer is closed, and
    // so is any warning, so a wrong dialog fails the test instead of waiting for a user.
    // Warnings have their own timer: a timer does not fire again while its own handler waits
    // in a warning.
    QTimer closingWarnings;
    QObject::connect(&closingWarnings, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->reject();
    });
    closingWarnings.start(20);
    QPointer<QDialog> answered;
    QTimer answering;
    QObject::connect(&answering, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<BundleFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (dialog == answered) {
            dialog->reject();
            return;
        }
        answered = dialog;
        auto *fileName = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (dialog->acceptMode() == QFileDialog::AcceptSave) {
            folder = dialog->directory().absolutePath();
            name = fileName->text();
            fileName->setText(QStringLiteral("Final.fcpxml"));
        } else {
            fileName->setText(qt(input));
        }
        dialog->accept();
    });
    answering.start(20);
    view.viewModel().selectInput();
    EXPECT_EQ(view.viewModel().inputURL(), input);
    view.viewModel().selectOutput();
    EXPECT_EQ(folder, qt(input.parent_path()));
    EXPECT_EQ(name, QStringLiteral("Day1_braw.fcpxml"));
    EXPECT_EQ(view.viewModel().outputURL(), input.parent_path() / "Final.fcpxml");
}

} // namespace
} // namespace tessaly::testing
