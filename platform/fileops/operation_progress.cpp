#include "platform/fileops/operation_progress.h"

namespace platform {

void OperationProgress::setCurrent(const QByteArray& path)
{
    std::lock_guard lock(mutex_);
    current_ = path;
    wantsCurrent_.store(false, std::memory_order_relaxed);
}

QByteArray OperationProgress::takeCurrent()
{
    std::lock_guard lock(mutex_);
    wantsCurrent_.store(true, std::memory_order_relaxed);
    return current_;
}

} // namespace platform
