#include "ui/bundle_file_dialog.h"
#include "ui/content_view.h"
#include "widget_support.h"
#include "workflow/relink_view_model.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace tessaly::testing {
namespace {

/// Open and save dialogs over a folder holding a document, a bundle and a plain folder.
class BundleFileDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(temp / "Day1.fcpxml", "<fcpxml/>");
        writeFile(temp / "Day2.fcpxmld" / "Info.fcpxml", "<fcpxml/>");
        writeFile(temp / "Media" / "A.mov", "");
    }

    /// Shows `dialog` over the test folder, waiting until its list holds the folder's items.
    void open(BundleFileDialog &dialog) {
        dialog.setDirectory(qt(temp.path()));
        dialog.open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        list = dialog.findChild<QListView *>(QStringLiteral("listView"));
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) == 3; }, 5000));
    }

    /// Clicks the item `name` in the dialog's list, as the user selects it.
    void click(const char *name) const {
        const QModelIndex index = item(name);
        ASSERT_TRUE(index.isValid()) << name;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
    }

    /// Presses the dialog's Open or Save button.
    static void press(QFileDialog &dialog, QDialogButtonBox::StandardButton which) {
        auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        ASSERT_NE(buttons, nullptr);
        ASSERT_NE(buttons->button(which), nullptr);
        QTest::mouseClick(buttons->button(which), Qt::LeftButton);
    }

    QModelIndex item(const char *name) const {
        const QAbstractItemModel *model = list->model();
        for (int row = 0; row < model->rowCount(list->rootIndex()); ++row) {
            const QModelIndex index = model->index(row, 0, list->rootIndex());
            if (index.data().toString() == QString::fromLatin1(name))
                return index;
        }
        return {};
    }

    TempDir temp;
    QListView *list = nullptr;
};

TEST_F(BundleFileDialogTest, OpenAndSaveReturnTheChosenPath) {
    const struct {
        const char *title;
        QFileDialog::AcceptMode mode;
        const char *proposed; // the name filled in
        const char *clicked;  // the item the user selects
        const char *chosen;
    } cases[] = {
        {"Choose FCPXML or FCPXMLD", QFileDialog::AcceptOpen, nullptr, "Day1.fcpxml",
         "Day1.fcpxml"},
        // A selected bundle is chosen, not entered as the folder it is.
        {"Choose", QFileDialog::AcceptOpen, nullptr, "Day2.fcpxmld", "Day2.fcpxmld"},
        {"Save Relinked File As", QFileDialog::AcceptSave, "Day1_braw.fcpxml", nullptr,
         "Day1_braw.fcpxml"},
        // Saving over a document does not promise to replace it, so nothing is asked.
        {"Save", QFileDialog::AcceptSave, "Day1.fcpxml", nullptr, "Day1.fcpxml"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.chosen);
        BundleFileDialog dialog(nullptr, QString::fromLatin1(c.title), c.mode);
        if (c.proposed)
            dialog.selectFile(QString::fromLatin1(c.proposed));
        open(dialog);
        EXPECT_EQ(dialog.windowTitle(), QString::fromLatin1(c.title));
        if (c.clicked) {
            click(c.clicked);
            EXPECT_EQ(dialog.selectedFiles(), QStringList{qt(temp / c.clicked)});
        }
        press(dialog,
              c.mode == QFileDialog::AcceptOpen ? QDialogButtonBox::Open : QDialogButtonBox::Save);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.chosenPath(), qt(temp / c.chosen));
    }
}

TEST_F(BundleFileDialogTest, DoubleClickingABundleChoosesIt) {
    BundleFileDialog dialog(nullptr, QStringLiteral("Choose"), QFileDialog::AcceptOpen);
    open(dialog);
    const QModelIndex bundle = item("Day2.fcpxmld");
    ASSERT_TRUE(bundle.isValid());
    const QPoint centre = list->visualRect(bundle).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 2000));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.chosenPath(), qt(temp / "Day2.fcpxmld"));
}

TEST_F(BundleFileDialogTest, APlainFolderIsEnteredNotChosen) {
    BundleFileDialog dialog(nullptr, QStringLiteral("Choose"), QFileDialog::AcceptOpen);
    open(dialog);
    click("Media");
    press(dialog, QDialogButtonBox::Open);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.chosenPath().isEmpty());
    EXPECT_EQ(dialog.directory().absolutePath(), qt(temp / "Media"));
    dialog.reject();
}

TEST_F(BundleFileDialogTest, SavingOverABundleAsksFirst) {
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        BundleFileDialog dialog(nullptr, QStringLiteral("Save"), QFileDialog::AcceptSave);
        open(dialog);
        click("Day2.fcpxmld");
        bool asked = false;
        // The question runs its own event loop; answer it from inside that loop.
        QTimer answering;
        QObject::connect(&answering, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                asked = true;
                answering.stop();
                box->button(answer)->click();
            }
        });
        answering.start(20);
        press(dialog, QDialogButtonBox::Save);
        EXPECT_TRUE(asked);
        if (answer == QMessageBox::Yes) {
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            EXPECT_EQ(dialog.chosenPath(), qt(temp / "Day2.fcpxmld"));
        } else {
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_TRUE(dialog.chosenPath().isEmpty());
            dialog.reject();
        }
    }
}

TEST(WindowSaveDialog, OpensInTheOutputFolderWithItsNameFilledIn) {
    TempDir temp;
    const fs::path input = temp / "Reel_04_Night" / "Day1.fcpxml";
    writeFile(input, "<fcpxml/>");
    ASSERT_NE(QDir::currentPath(), qt(input.parent_path()));
    ContentView view; // the window's own dialogs
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.viewModel().setInput(input);

    QString folder;
    QString name;
    QTimer inspecting;
    QObject::connect(&inspecting, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<BundleFileDialog *>(QApplication::activeModalWidget())) {
            inspecting.stop();
            folder = dialog->directory().absolutePath();
            name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text();
            dialog->reject();
        }
    });
    inspecting.start(20);
    view.viewModel().selectOutput();
    EXPECT_EQ(folder, qt(input.parent_path()));
    EXPECT_EQ(name, QStringLiteral("Day1_braw.fcpxml"));
    EXPECT_EQ(view.viewModel().outputURL(), input.parent_path() / "Day1_braw.fcpxml");
}

} // namespace
} // namespace tessaly::testing
