#pragma once
// SIGTERM and SIGINT end the program in order: the Qt event loop ends (exit
// code 0) as after a confirmed close, so that what follows it still runs.
class QObject;

namespace zx {

// Routes both signals through a socket pair into the event loop of the
// running QApplication; `parent` owns the watcher.
void WatchTerminationSignals(QObject* parent);

}  // namespace zx
