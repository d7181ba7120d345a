#include "actions/background_operation.h"

#include "platform/operation_progress.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <thread>

namespace actions {

platform::FileOperationResult runWithProgress(QWidget* owner, ProgressKind kind, const ProgressPolicy& policy,
                                              const BackgroundWork& work)
{
    platform::OperationProgress progress;
    platform::FileOperationResult result;
    std::atomic<bool> ended{false};
    QEventLoop waiting;
    ProgressWindow window(owner, kind, progress);
    // Declared last, so that it goes first: an end reported after the wait is then dropped.
    QObject endReceiver;

    std::thread worker([&] {
        result = work(progress);
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
