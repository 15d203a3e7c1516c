#include "app/main_sequence.h"

#include <QSessionManager>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "about/form2.h"
#include "app/application.h"
#include "app/diagnostics.h"
#include "app/error_text.h"
#include "app/logout_query.h"
#include "app/splash_form.h"
#include "app/working_set_trim.h"
#include "bar/form1.h"
#include "base/handler_guard.h"
#include "htmlview/webengine_engine.h"
#include "platform/linux/descriptor_limit.h"
#include "platform/linux/engine_sandbox.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/termination_signals.h"
#include "platform/linux/window_hints.h"
#include "platform/linux/window_message.h"
#include "popup/popup_form.h"
#include "shared/single_instance.h"
#include "skin/pictures.h"
#include "skin/skin.h"

namespace zx {
namespace {

// How long the windows, the engine and the toolkit may take to go once the
// handle is withdrawn.
constexpr std::chrono::seconds kTeardownLimit{4};

void ShowApplicationError(const std::exception& e, const char* argv0) {
    std::string module = argv0 ? argv0 : "zeltrix";
    if (auto slash = module.rfind('/'); slash != std::string::npos) module.erase(0, slash + 1);
    MessageDialogRequest box;
    box.caption = "Application Error";
    box.text = ApplicationErrorText(ExceptionClassName(e), module, RaiseAddress(e), e.what());
    box.buttons = DialogButtons::Ok;
    box.icon = DialogIcon::Error;
    platform().MessageDialog(box);
}

// Before the engine starts: it ends the process when it runs out of
// descriptors, wherever it happens to be. False (said on stderr) when the
// limit stays too low.
bool EnoughDescriptors() {
    const long files = RaiseDescriptorLimit();
    if (files < 0 || files >= kFewestDescriptors) return true;
    std::fprintf(stderr, "zeltrix: cannot start: only %ld files may be open at once, it needs %ld (ulimit -n)\n", files,
                 kFewestDescriptors);
    return false;
}

// The splash, painted at once, then `ms` without handling messages.
std::unique_ptr<TfrmSplashScreen> ShowSplash(int ms) {
    auto splash = std::make_unique<TfrmSplashScreen>();
    MarkSecondaryWindow(*splash, nullptr);  // only the bar has a taskbar entry
    // The X server redraws the picture itself while this thread sleeps
    // and builds the windows, should anything cover and uncover it.
    KeepLookOnScreen(*splash);
    splash->ShowPainted();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return splash;
}

struct Windows {
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TfrmPopupForm> popup;
    std::unique_ptr<TForm2> form2;
};

// The windows, in this order; the bar hides the splash.
Windows CreateWindows(TfrmSplashScreen& splash) {
    Windows w;
    w.form1 = std::make_unique<TForm1>(&splash);
    w.popup = std::make_unique<TfrmPopupForm>();
    w.popup->SetCells(&w.form1->Cells);
    w.form1->SetPopup(w.popup.get());
    MarkSecondaryWindow(*w.popup, w.form1.get());
    w.form2 = std::make_unique<TForm2>(&splash);
    w.form1->SetAbout(w.form2.get());
    MarkSecondaryWindow(*w.form2, w.form1.get());
    return w;
}

// A log-out asks the same question as closing the bar, when the session
// manager lets the program ask.
void AskBeforeLogout(TApplication& app, TForm1& form1) {
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form1, [&form1](QSessionManager& manager) {
        AnswerLogoutQuery(manager, [&form1] {
            bool canClose = false;
            RunHandler([&] { canClose = form1.FormCloseQuery(); });
            return canClose;
        });
    });
}

// The windows, the GUI loop, and the orderly end of a run that got past the
// single-instance test. Throws what the main sequence fails with.
void RunBar(TApplication& app, SingleInstance& instance, const MainOptions& options) {
    // When a library ends the process itself (the toolkit does when the X
    // connection breaks), the handle is withdrawn on the way out.
    ExitFromLibraryGuard withdrawOnExit([&] { instance.Withdraw(); });

    auto splash = ShowSplash(options.splashMs);
    // The title is the caption of the error boxes.
    app.SetTitle("Zeltrix");
    Windows w = CreateWindows(*splash);

    // What start-up ran is handed back once it is over, and so is what
    // each burst of page loads ran, and what showing bar or preview did.
    WorkingSetTrim trim;
    trim.Watch(*w.form1);
    trim.Watch(*w.popup);
    trim.Poke();

    AskBeforeLogout(app, *w.form1);

    // Publish the bar's window handle. The toolkit may replace the
    // native window when the web views first show (another surface type),
    // so the handle is published again whenever it changes.
    instance.Publish(static_cast<WindowId>(w.form1->winId()));
    const QMetaObject::Connection republish = QObject::connect(w.form1.get(), &TForm1::WindowHandleChanged,
                                                               [&](WindowId handle) { instance.Publish(handle); });

    // The GUI loop; the bar is shown once, off screen. A signal that
    // came while the windows were built has ended the program already.
    if (!TerminationRequested()) {
        w.form1->show();
        app.exec();
    }

    // Withdraw the handle. What remains is memory and the engine's
    // teardown, which is given a few seconds: a copy that is only dying
    // must not outlive its handle for long.
    QObject::disconnect(republish);
    instance.Withdraw();
    EndProcessWithin(kTeardownLimit, 0);
    w.form2.reset();
    w.popup.reset();
    w.form1.reset();
    splash.reset();
}

}  // namespace

int RunMainSequence(int argc, char** argv, const MainOptions& options) {
    if (!EnoughDescriptors()) return 1;
    // What the units' start-up does: the toolkit, the platform, the engine.
    QuietDiagnostics();
    SwitchEngineSandboxOffWhereItCannotStart(DiagnosticsWanted());
    InstallWebEngineFactory(DefaultChromiumFlags() + " " + EngineLogSwitches());
    TApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    app.setWindowIcon(IconPicture());
    LinuxPlatform linuxPlatform(DiagnosticsWanted());
    SetPlatform(&linuxPlatform);
    InstallWindowMessageReceiver();
    // From here on a signal ends the program in order, whatever it is doing.
    WatchTerminationSignals(&app);

    SingleInstance instance;
    try {
        // The look is the first thing the program sets up; a damaged one is
        // reported like any failure of the main sequence.
        ApplySkin(app);
        // Another copy runs or is starting: it was notified; end quietly.
        if (!instance.StartupTest()) return 0;
        RunBar(app, instance, options);
    } catch (const std::exception& e) {
        try {
            instance.Withdraw();
        } catch (const std::exception&) {
        }
        ShowApplicationError(e, argc > 0 ? argv[0] : nullptr);
        EndProcessWithin(kTeardownLimit, 1);
        SetPlatform(nullptr);
        return 1;
    }
    SetPlatform(nullptr);
    return 0;
}

}  // namespace zx
