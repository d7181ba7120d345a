#include "mainwindow/window_settings.h"

#include "platform/session/settings_store.h"

#include <QHeaderView>
#include <QRegularExpression>
#include <QWidget>

namespace mainwindow {
namespace {

const QString kSection = QStringLiteral("Form1");
const QString kSizeKey = QStringLiteral("size");
const QString kColumnsKey = QStringLiteral("columns");
const QString kSortKey = QStringLiteral("sort");

// Digits only: no sign, no blank inside, and few enough that the number fits an int.
std::optional<int> lengthFromText(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,6}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    return text.toInt();
}

} // namespace

std::optional<QSize> windowSizeFromText(const QString& text, QSize least, QSize screen)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('x'));
    if (parts.size() != 2)
        return std::nullopt;
    const std::optional<int> width = lengthFromText(parts[0]), height = lengthFromText(parts[1]);
    if (!width || !height)
        return std::nullopt;
    const QSize size(*width, *height);
    if (size.width() < least.width() || size.height() < least.height() || size.width() > screen.width()
        || size.height() > screen.height())
        return std::nullopt;
    return size;
}

QString windowSizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

std::optional<QList<int>> columnWidthsFromText(const QString& text, int columns, int least, int screenWidth)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(','));
    if (parts.size() != columns)
        return std::nullopt;
    QList<int> widths;
    for (const QString& part : parts) {
        const std::optional<int> width = lengthFromText(part);
        if (!width || *width < least || *width > screenWidth)
            return std::nullopt;
        widths << *width;
    }
    return widths;
}

QString columnWidthsText(const QList<int>& widths)
{
    QStringList parts;
    for (int width : widths)
        parts << QString::number(width);
    return parts.join(QLatin1Char(','));
}

HeaderSort headerSortFromText(const QString& text, int columns)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(','));
    if (parts.size() != 2)
        return {};
    const std::optional<int> column = lengthFromText(parts[0]);
    if (!column || *column >= columns)
        return {};
    if (parts[1] == QLatin1String("ascending"))
        return {*column, Qt::AscendingOrder};
    if (parts[1] == QLatin1String("descending"))
        return {*column, Qt::DescendingOrder};
    return {};
}

QString headerSortText(HeaderSort sort)
{
    if (sort.column < 0)
        return QStringLiteral("none");
    return QStringLiteral("%1,%2").arg(sort.column).arg(
        sort.order == Qt::AscendingOrder ? QLatin1String("ascending") : QLatin1String("descending"));
}

void restoreWindowLayout(platform::SettingsStore& store, QWidget& window, QHeaderView& header, QSize screen)
{
    if (const std::optional<QSize> size =
            windowSizeFromText(store.read(kSection, kSizeKey, {}), window.minimumSize(), screen))
        window.resize(*size);
    const int columns = header.count();
    if (const std::optional<QList<int>> widths = columnWidthsFromText(
            store.read(kSection, kColumnsKey, {}), columns, header.minimumSectionSize(), screen.width()))
        for (int column = 0; column < columns; ++column)
            header.resizeSection(column, (*widths)[column]);
    const HeaderSort sort = headerSortFromText(store.read(kSection, kSortKey, {}), columns);
    if (sort.column >= 0)
        header.setSortIndicator(sort.column, sort.order);
}

void saveWindowLayout(platform::SettingsStore& store, const QWidget& window, const QHeaderView& header)
{
    store.write(kSection, kSizeKey, windowSizeText(window.normalGeometry().size()));
    QList<int> widths;
    for (int column = 0; column < header.count(); ++column)
        widths << header.sectionSize(column);
    store.write(kSection, kColumnsKey, columnWidthsText(widths));
    store.write(kSection, kSortKey, headerSortText({header.sortIndicatorSection(), header.sortIndicatorOrder()}));
}

} // namespace mainwindow
