#pragma once
// A mount that a test makes for as long as it runs: a bind mount or a small tmpfs. Where the
// machine does not let the test mount (not root), mounted() is false and why() says so, for a
// GTEST_SKIP. The mount goes when the object does, however the test ends.
#include <QByteArray>
#include <QString>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>

namespace testsupport {

class ScopedMount {
public:
    static ScopedMount bind(const QByteArray& source, const QByteArray& target)
    {
        return ScopedMount(target, ::mount(source.constData(), target.constData(), nullptr, MS_BIND, nullptr));
    }
    static ScopedMount tmpfs(const QByteArray& target, const QByteArray& options)
    {
        return ScopedMount(target, ::mount("sorvane-test", target.constData(), "tmpfs", 0, options.constData()));
    }

    ScopedMount(ScopedMount&& other) noexcept : target_(other.target_), error_(other.error_) { other.error_ = -1; }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;
    ~ScopedMount()
    {
        if (error_ == 0)
            ::umount2(target_.constData(), MNT_DETACH);
    }

    bool mounted() const { return error_ == 0; }
    QString why() const
    {
        return QStringLiteral("this test needs to mount (run it as root): mount failed with %1")
            .arg(QString::fromLocal8Bit(std::strerror(error_)));
    }

private:
    ScopedMount(const QByteArray& target, int result) : target_(target), error_(result == 0 ? 0 : errno) {}

    QByteArray target_;
    int error_;
};

} // namespace testsupport
