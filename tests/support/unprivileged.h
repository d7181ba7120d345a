#pragma once

#include <QByteArray>

#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace testsupport {

// Runs step as a user without root's right to read and write everything: in a child process as
// nobody where the test runs as root, owning tree. The child's exit status is step's answer.
inline int asUnprivilegedUser(const QByteArray& tree, const std::function<int()>& step)
{
    if (::geteuid() != 0)
        return step();
    const auto giveToNobody = [](const char* entry, const struct stat*, int, FTW*) {
        return ::lchown(entry, 65534, 65534);
    };
    if (::nftw(tree.constData(), giveToNobody, 16, FTW_PHYS) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 ? step() : 99);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace testsupport
