// The heap in huge pages: the program starts again once to ask for them, and what it hands to the
// programs it starts is the environment the user gave it.
#include "tests/support/qt_printers.h"

#include <gtest/gtest.h>

#include <optional>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

namespace {

QString probe(const std::optional<QString>& tunables)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("GLIBC_TUNABLES"));
    environment.remove(QStringLiteral("SORVANE_USERS_TUNABLES"));
    if (tunables)
        environment.insert(QStringLiteral("GLIBC_TUNABLES"), *tunables);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(HEAP_PROBE), {});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QStringLiteral("probe failed");
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

bool hugePagesOffered()
{
    QFile enabled(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
    return enabled.open(QIODevice::ReadOnly) && !enabled.readAll().contains("[never]");
}

TEST(HeapSettings, AsksForHugePagesAndHandsOnTheUsersTunables)
{
    const QString huge = hugePagesOffered() ? QStringLiteral("1") : QStringLiteral("0");
    EXPECT_EQ(probe(std::nullopt), QStringLiteral("tunables=(unset) huge=%1 marker=0").arg(huge));
    EXPECT_EQ(probe(QStringLiteral("glibc.malloc.mxfast=0")),
              QStringLiteral("tunables=glibc.malloc.mxfast=0 huge=%1 marker=0").arg(huge));
    // The user's own word on huge pages stands, and nothing is started again for it.
    EXPECT_EQ(probe(QStringLiteral("glibc.malloc.hugetlb=0")), QStringLiteral("tunables=glibc.malloc.hugetlb=0 huge=0 marker=0"));
}

} // namespace
