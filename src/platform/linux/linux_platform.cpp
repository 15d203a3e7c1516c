#include "platform/linux/linux_platform.h"

#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <cstdlib>

#include "platform/linux/dialog_placement.h"
#include "platform/linux/edge_sensor.h"
#include "platform/linux/log_categories.h"
#include "platform/linux/named_objects.h"
#include "platform/linux/pointer_capture.h"
#include "platform/linux/session_lock.h"
#include "platform/linux/window_hints.h"
#include "platform/linux/window_message.h"
#include "platform/linux/working_set.h"
#include "qtext/qt_text.h"

namespace zx {
namespace {

// The user's desktop folder (XDG_DESKTOP_DIR), or the home folder when there
// is none.
QString DesktopFolder() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return !desktop.isEmpty() && QDir(desktop).exists() ? desktop : QDir::homePath();
}

std::optional<std::string> RunFileDialog(const FileDialogRequest& request, QFileDialog::AcceptMode mode) {
    PlacedDialog<QFileDialog> dialog(nullptr);
    MarkSecondaryWindow(dialog, nullptr);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // The filter list names its entries only ("Text Files", "All Files").
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(ToQString(request.nameFilter));
    dialog.setDefaultSuffix(ToQString(request.defaultSuffix));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return ToStdString(dialog.selectedFiles().first());
}

}  // namespace

LinuxPlatform::LinuxPlatform(bool childrenMayTalk)
    : lock_(std::make_unique<SessionLockWatcher>()),
      capture_(std::make_unique<PointerCapture>()),
      edge_(std::make_unique<EdgeSensor>()),
      childrenMayTalk_(childrenMayTalk) {
    // The program keeps no settings, and the toolkit's file dialogs would
    // keep theirs (history, last folder, view) in the user's configuration:
    // they are sent to a path that can never be created, so nothing is
    // written or read back.
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null/zeltrix-keeps-no-settings"));
}
LinuxPlatform::~LinuxPlatform() = default;

std::optional<Point> LinuxPlatform::PointerPosition() {
    const QPoint pos = QCursor::pos();
    return edge_->Pointer(Point{pos.x(), pos.y()});
}

bool LinuxPlatform::PointerCapturedByUs() {
    return capture_->Held();
}

bool LinuxPlatform::MouseButtonHeld() {
    return ServerReportsButtonDown().value_or(false);
}

bool LinuxPlatform::DisplayNested() {
    return NestedXServer();
}

void LinuxPlatform::WatchTopEdge() {
    edge_->Raise(PrimaryScreen());
}

bool LinuxPlatform::SessionLocked() {
    return lock_->Locked();
}

Rect LinuxPlatform::PrimaryScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QRect g = screen->geometry();
    return Rect{g.x(), g.y(), g.width(), g.height()};
}

DialogAnswer LinuxPlatform::MessageDialog(const MessageDialogRequest& request) {
    PlacedDialog<QMessageBox> box(nullptr);
    MarkSecondaryWindow(box, nullptr);
    box.setWindowTitle(ToQString(request.caption));
    // The text may carry outside text (a file name, an address): never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(ToQString(request.text));
    switch (request.icon) {
        case DialogIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case DialogIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case DialogIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case DialogIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case DialogIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
    }
    std::vector<std::pair<QAbstractButton*, DialogAnswer>> buttons;
    auto add = [&](const char* text, QMessageBox::ButtonRole role, DialogAnswer answer) {
        buttons.emplace_back(box.addButton(QString::fromUtf8(text), role), answer);
    };
    switch (request.buttons) {
        case DialogButtons::Ok:
            add("OK", QMessageBox::AcceptRole, DialogAnswer::Ok);
            break;
        case DialogButtons::YesNo:
            add("&Yes", QMessageBox::YesRole, DialogAnswer::Yes);
            add("&No", QMessageBox::NoRole, DialogAnswer::No);
            break;
        case DialogButtons::YesCancel:
            add("&Yes", QMessageBox::YesRole, DialogAnswer::Yes);
            add("Cancel", QMessageBox::RejectRole, DialogAnswer::Cancel);
            break;
    }
    auto find = [&](DialogAnswer a) -> QAbstractButton* {
        for (auto& [b, ans] : buttons)
            if (ans == a) return b;
        return nullptr;
    };
    QAbstractButton* def = find(request.defaultButton);
    if (!def) def = buttons.front().first;
    if (auto* push = qobject_cast<QPushButton*>(def)) box.setDefaultButton(push);
    QAbstractButton* esc = find(request.escapeButton);
    box.setEscapeButton(esc ? esc : buttons.back().first);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (auto& [b, ans] : buttons)
        if (b == clicked) return ans;
    return DialogAnswer::None;
}

std::optional<std::string> LinuxPlatform::SaveFileDialog(const FileDialogRequest& request) {
    return RunFileDialog(request, QFileDialog::AcceptSave);
}

std::optional<std::string> LinuxPlatform::OpenFileDialog(const FileDialogRequest& request) {
    return RunFileDialog(request, QFileDialog::AcceptOpen);
}

std::optional<std::string> LinuxPlatform::FolderDialog(const std::string& title) {
    PlacedDialog<QFileDialog> dialog(nullptr, ToQString(title));
    MarkSecondaryWindow(dialog, nullptr);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::ReadOnly);
    dialog.setFileMode(QFileDialog::Directory);
    // Read-only only greys the toolkit's new-folder button out; it goes.
    if (auto* newFolder = dialog.findChild<QWidget*>(QStringLiteral("newFolderButton"))) newFolder->hide();
    // Browsing starts at the desktop every time, with no folder chosen.
    dialog.setDirectory(DesktopFolder());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return ToStdString(dialog.selectedFiles().first());
}

void LinuxPlatform::OpenWebPage(const std::string& address) {
    // The user's browser ($BROWSER, else the desktop's opener), started apart
    // from the program. What it writes goes nowhere unless diagnostics are
    // on: the program's terminal stays quiet.
    const QString browser = qEnvironmentVariable("BROWSER").split(':', Qt::SkipEmptyParts).value(0);
    QStringList command = QProcess::splitCommand(browser);
    if (command.isEmpty()) command = {QStringLiteral("xdg-open")};
    const QString url =
        QUrl::fromEncoded(QByteArray::fromStdString(WebPageAddress(address))).toString(QUrl::FullyEncoded);
    QProcess launch;
    launch.setProgram(command.takeFirst());
    launch.setArguments(command << url);
    launch.setStandardInputFile(QProcess::nullDevice());
    if (!childrenMayTalk_) {
        launch.setStandardOutputFile(QProcess::nullDevice());
        launch.setStandardErrorFile(QProcess::nullDevice());
    }
    if (!launch.startDetached())
        qCDebug(lcDesktop, "the browser %s did not start: %s", qUtf8Printable(launch.program()),
                qUtf8Printable(launch.errorString()));
}

void LinuxPlatform::SetClipboardText(const std::string& text) {
    if (QClipboard* c = QGuiApplication::clipboard()) c->setText(ToQString(text));
}

std::optional<std::string> LinuxPlatform::OriginUrl(const std::string& localPath) {
    return ReadOriginAttribute(localPath);
}

void LinuxPlatform::RecordOriginUrl(const std::string& localPath, const std::string& url) {
    WriteOriginAttribute(localPath, url);
}

std::unique_ptr<ProcessMutex> LinuxPlatform::OpenProcessMutex(const std::string& name) {
    return OpenNamedMutex(name);
}

std::unique_ptr<ProcessSharedMemory> LinuxPlatform::OpenSharedMemory(const std::string& name, size_t size) {
    return NamedSharedMemory::Create(name, size);
}

bool LinuxPlatform::NotifyRunningCopy(WindowId window) {
    return SendInstanceNotification(window).has_value();
}

void LinuxPlatform::ReleaseLibraryCodePages() {
    const size_t bytes = HandBackLibraryPages();
    qCDebug(lcPages, "handed back %zu bytes of library pages", bytes);
}

}  // namespace zx
