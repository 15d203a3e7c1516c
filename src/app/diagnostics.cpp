#include "app/diagnostics.h"

#include <QLoggingCategory>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/linux/log_categories.h"

namespace zx {
namespace {

void DropAllButFatal(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

bool DiagnosticsWanted() {
    const char* value = std::getenv("ZELTRIX_DEBUG");
    return value && *value && std::strcmp(value, "0") != 0;
}

void QuietDiagnostics() {
    if (DiagnosticsWanted()) {
        // The platform's word on its fallbacks, besides the toolkit's own.
        QLoggingCategory::setFilterRules(QString::fromLatin1(kPlatformLogRules));
        return;
    }
    qInstallMessageHandler(DropAllButFatal);
    // The engine's helper processes are toolkit programs too; they inherit
    // this. A user's own rules are left alone.
    setenv("QT_LOGGING_RULES", "*=false", 0);
}

std::string EngineLogSwitches() {
    // Only fatal errors of the engine's own log reach standard error.
    return DiagnosticsWanted() ? std::string() : std::string("--log-level=3");
}

}  // namespace zx
