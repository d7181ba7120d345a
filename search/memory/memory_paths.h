#pragma once

#include <QByteArrayView>

#include <optional>

namespace search {

// Paths as the memory compares them: bytes, component by component, a run of "/" counting as
// one, so "/home//u/" and "/home/u" name the same folder. "" is the root, as the walk names it.

// The components of a path in turn, the empty ones left out.
class PathComponents {
public:
    explicit PathComponents(QByteArrayView path) : path_(path) {}
    bool next(QByteArrayView& component);

private:
    QByteArrayView path_;
    qsizetype at_ = 0;
};

bool isAbsolutePath(QByteArrayView path);
bool sameComponents(QByteArrayView a, QByteArrayView b);
// What follows a folder's components in a path at or below it ("" for the folder itself), or
// nothing where the path is not at or below it.
std::optional<QByteArrayView> pathBelow(QByteArrayView path, QByteArrayView folder);
// The last component, trailing "/" apart; "" for the root.
QByteArrayView lastPathComponent(QByteArrayView path);

} // namespace search
