// The Linux platform's file dialogs: where the folder picker starts, what the
// filter list shows, and that nothing is remembered on disk; and the quiet
// browser a link starts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
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

bool WaitUntil(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
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
        const auto folder = platform.FolderDialog("Select where to place the images.");
        EXPECT_EQ(folder.has_value(), run == 0);
    }

    OnNextDialog([](QFileDialog& dialog) {
        auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
        ASSERT_EQ(types->count(), 2);
        EXPECT_EQ(types->itemText(0), "Text Files");
        EXPECT_EQ(types->itemText(1), "All Files");
    });
    EXPECT_FALSE(platform.SaveFileDialog({"txt", "Text Files (*.txt);;All Files (*)"}));

    // Not by the dialogs, and not by anything else that uses the toolkit's
    // settings.
    QSettings("Zeltrix", "Zeltrix").setValue("probe", 1);
    EXPECT_EQ(FilesUnder(home.path()).join(' ').toStdString(), "") << "a settings file was written";
}

// The browser a link starts writes into the program's terminal only when
// diagnostics are on.
TEST(LinuxDialogs, TheBrowserALinkStartsIsQuietUnlessDiagnosticsAreOn) {
    QTemporaryDir dir;
    const QString browser = dir.filePath("browser"), terminal = dir.filePath("terminal");
    QFile script(browser);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho out; echo err >&2; echo \"$1\" > \"$0.opened\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("BROWSER", browser.toUtf8());
    for (const bool talk : {false, true}) {
        SCOPED_TRACE(talk ? "diagnostics on" : "quiet");
        QFile::remove(browser + ".opened");
        // The terminal, as the child inherits it, is a file for a while.
        const int out = dup(STDOUT_FILENO), err = dup(STDERR_FILENO);
        const int file = open(terminal.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(file, STDOUT_FILENO);
        dup2(file, STDERR_FILENO);
        close(file);
        LinuxPlatform(talk).OpenWebPage("http://example.invalid/page");
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        close(out);
        close(err);
        QFile opened(browser + ".opened");
        ASSERT_TRUE(WaitUntil([&] { return opened.size() > 0; })) << "the browser was not started";
        ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
        EXPECT_EQ(opened.readAll().trimmed(), "http://example.invalid/page");
        QFile written(terminal);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll(), talk ? QByteArray("out\nerr\n") : QByteArray());
    }
    qunsetenv("BROWSER");
}

}  // namespace
}  // namespace zx
