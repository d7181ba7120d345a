#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace platform {

// One running instance per user: a lock file in the user's runtime folder. The lock names the
// process holding it, so the lock of a crashed instance is taken over.
class SingleInstance {
public:
    explicit SingleInstance(const QString& lockFolder = {});
    ~SingleInstance();
    // True when no other instance holds the lock; this one holds it from now on.
    bool acquire();

private:
    std::unique_ptr<QLockFile> lock_;
};

} // namespace platform
