// The Linux platform's file dialogs: where the folder picker starts, what the
// filter list shows, and that nothing is remembered on disk.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "platform/linux/linux_platform.h"

namespace zx {
namespace {

// Runs `inspect` on the modal dialog the next call opens, then answers it
// with `answer` (empty: cancel).
void OnNextDialog(const std::function<void(QFileDialog&)>& inspect, const QString& answer = {}) {
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        inspect(*dialog);
        if (answer.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(answer);
            static_cast<QDialog*>(dialog)->accept();  // virtual: the file dialog's own
        }
    });
}

QStringList FilesUnder(const QString& root) {
    QStringList files;
    for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        files << it.next();
    return files;
}

TEST(LinuxDialogs, FolderPickerStartsAtTheDesktopEmptyEveryTimeWithoutNewFolderAndNothingIsWritten) {
    QTemporaryDir home;
    ASSERT_TRUE(QDir(home.path()).mkpath("Desktop/pictures"));
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    LinuxPlatform platform;

    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        OnNextDialog(
            [&](QFileDialog& dialog) {
                EXPECT_EQ(dialog.directory().absolutePath().toStdString(), (home.path() + "/Desktop").toStdString());
                EXPECT_TRUE(dialog.findChild<QLineEdit*>("fileNameEdit")->text().isEmpty());
                EXPECT_FALSE(dialog.findChild<QListView*>("listView")->selectionModel()->hasSelection());
                EXPECT_FALSE(dialog.findChild<QWidget*>("newFolderButton")->isVisible());
            },
            run == 0 ? home.path() + "/Desktop/pictures" : QString());
        const auto folder = platform.BrowseForFolder("Select where to place the images.");
        EXPECT_EQ(folder.has_value(), run == 0);
    }

    OnNextDialog([](QFileDialog& dialog) {
        auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
        ASSERT_EQ(types->count(), 2);
        EXPECT_EQ(types->itemText(0), "Text Files");
        EXPECT_EQ(types->itemText(1), "All Files");
    });
    EXPECT_FALSE(platform.SaveFileDialog({"txt", "Text Files|*.txt|All Files|*.*"}));

    // Not by the dialogs, and not by anything else that uses the toolkit's
    // settings.
    QSettings("Zeltrix", "Zeltrix").setValue("probe", 1);
    EXPECT_EQ(FilesUnder(home.path()).join(' ').toStdString(), "") << "a settings file was written";
}

}  // namespace
}  // namespace zx
