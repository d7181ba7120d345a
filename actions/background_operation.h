#pragma once

#include "actions/progress_window.h"
#include "platform/fileops/file_operation.h"

#include <chrono>
#include <functional>
#include <memory>

class QWidget;

namespace platform {
class OperationProgress;
}

namespace actions {

// When the progress window of a long operation shows: after this long, if the operation still runs.
struct ProgressPolicy {
    std::chrono::milliseconds showAfter{500};
    // Where the operation reports to; a test's own can stop it at a chosen point.
    std::function<std::unique_ptr<platform::OperationProgress>()> makeProgress;
};

using BackgroundWork = std::function<platform::FileOperationResult(platform::OperationProgress&)>;

// Runs work on a worker thread and returns its result once it ended. Meanwhile this thread waits
// in a loop of its own, so the windows repaint while nothing else of the program runs: at first
// without taking user input, then, once the policy's time has passed, in the modal progress
// window owned by owner, which can cancel the work. Only the worker touches the disk; only this
// thread touches widgets.
platform::FileOperationResult runWithProgress(QWidget* owner, ProgressKind kind, const ProgressPolicy& policy,
                                              const BackgroundWork& work);

// Asks every operation that runWithProgress is running to stop, as "取消" does, and waits until
// they have ended (a copy removes its unfinished file as it ends), at most for the given time.
// False when one still runs then. For a program that is asked to end.
bool cancelRunningOperations(std::chrono::milliseconds wait);

} // namespace actions
