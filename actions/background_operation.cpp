#include "actions/background_operation.h"

#include "platform/fileops/operation_progress.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace actions {
namespace {

// The operations now running, so that a program asked to end can stop them first.
struct RunningOperations {
    std::mutex mutex;
    std::condition_variable ended;
    std::vector<platform::OperationProgress*> progress;
};

RunningOperations& running()
{
    static RunningOperations operations;
    return operations;
}

} // namespace

bool cancelRunningOperations(std::chrono::milliseconds wait)
{
    RunningOperations& operations = running();
    std::unique_lock lock(operations.mutex);
    for (platform::OperationProgress* progress : operations.progress)
        progress->cancel();
    return operations.ended.wait_for(lock, wait, [&] { return operations.progress.empty(); });
}

platform::FileOperationResult runWithProgress(QWidget* owner, ProgressKind kind, const ProgressPolicy& policy,
                                              const BackgroundWork& work)
{
    const std::unique_ptr<platform::OperationProgress> ownProgress =
        policy.makeProgress ? policy.makeProgress() : std::make_unique<platform::OperationProgress>();
    platform::OperationProgress& progress = *ownProgress;
    platform::FileOperationResult result;
    std::atomic<bool> ended{false};
    QEventLoop waiting;
    ProgressWindow window(owner, kind, progress);
    // Declared last, so that it goes first: an end reported after the wait is then dropped.
    QObject endReceiver;

    RunningOperations& operations = running();
    {
        const std::lock_guard lock(operations.mutex);
        operations.progress.push_back(&progress);
    }
    std::thread worker([&] {
        result = work(progress);
        {
            const std::lock_guard lock(operations.mutex);
            std::erase(operations.progress, &progress);
        }
        operations.ended.notify_all();
        ended.store(true);
        QMetaObject::invokeMethod(&endReceiver, [&] {
            waiting.quit();
            window.finish();
        }, Qt::QueuedConnection);
    });
    // User input waits for the end of a short operation; it is not lost.
    QTimer::singleShot(policy.showAfter, &waiting, &QEventLoop::quit);
    waiting.exec(QEventLoop::ExcludeUserInputEvents);
    if (!ended.load())
        window.exec();
    worker.join();
    return result;
}

} // namespace actions
