#include "actions/entry_batch.h"

#include "platform/fileops/operation_progress.h"

#include <QObject>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

namespace actions {
namespace {

// One entry's progress within the batch's: what the entry's operation advances moves the batch's
// bar by the entry's share, the entry it is at shows in the batch's window, and the batch's cancel
// reaches it at its next advance.
class EntryProgress : public platform::OperationProgress {
public:
    explicit EntryProgress(platform::OperationProgress& batch) : batch_(batch)
    {
        if (batch.cancelled())
            cancel();
    }
    // The entry ended: the batch's bar stands at its end.
    void finish()
    {
        tellCurrent();
        moveTo(kBatchEntrySteps);
    }

protected:
    void advanced() override
    {
        const int64_t all = total();
        moveTo(all > 0 ? std::min(done(), all) * kBatchEntrySteps / all : 0);
        tellCurrent();
        if (batch_.cancelled())
            cancel();
    }

private:
    void moveTo(int64_t reached)
    {
        if (reached <= reached_)
            return;
        batch_.advance(reached - reached_);
        reached_ = reached;
    }
    void tellCurrent()
    {
        if (!batch_.wantsCurrent())
            return;
        if (const QByteArray at = takeCurrent(); !at.isEmpty())
            batch_.setCurrent(at);
    }

    platform::OperationProgress& batch_;
    int64_t reached_ = 0;
};

} // namespace

// The worker never waits for this thread: it only posts word that an entry ended, so it ends
// once its entries have, and runWithProgress, in which this thread waits, ends with it. A cancel
// (the progress window's, or cancelRunningOperations's) marks the batch's progress: the worker
// looks at it before every entry, and the entry at hand takes it at its next advance.
platform::FileOperationResult runForEachEntry(QWidget* owner, ProgressKind kind, const ProgressPolicy& policy,
                                              size_t count, const EntryWork& work, const EntryEnded& ended)
{
    std::mutex mutex;
    std::vector<platform::FileOperationResult> results(count);
    size_t finished = 0; // under the mutex: the entries whose results stand
    size_t told = 0;     // this thread's own: the entries ended ran for
    const auto tell = [&] {
        size_t upTo;
        {
            const std::lock_guard lock(mutex);
            upTo = finished;
        }
        while (told < upTo) {
            const size_t index = told++;
            ended(index, results[index]);
        }
    };
    // Word posted to it after the end is dropped with it; tell() below reads the results instead.
    QObject receiver;
    const platform::FileOperationResult result =
        runWithProgress(owner, kind, policy, [&](platform::OperationProgress& batch) {
            batch.setTotal(int64_t(count) * kBatchEntrySteps);
            for (size_t index = 0; index < count; ++index) {
                if (batch.cancelled())
                    return platform::FileOperationResult{ECANCELED};
                EntryProgress progress(batch);
                const platform::FileOperationResult done = work(index, progress);
                progress.finish();
                {
                    const std::lock_guard lock(mutex);
                    results[index] = done;
                    finished = index + 1;
                }
                QMetaObject::invokeMethod(&receiver, tell, Qt::QueuedConnection);
                if (done.error == ECANCELED)
                    return done;
            }
            return platform::FileOperationResult{};
        });
    tell();
    return result;
}

} // namespace actions
