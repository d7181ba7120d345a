#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace platform {

// The rules of a path as bytes, in one place: "/" separates, a run of trailing "/" adds nothing,
// and "/" alone is the root.

// Joins a folder and a name with exactly one "/" between them.
QByteArray joinPath(QByteArrayView folder, QByteArrayView name);

// A file URI of an absolute path's own bytes: every byte but the unreserved ones and "/"
// percent-encoded, so a name that is not UTF-8 still leads to the same file.
QByteArray fileUri(QByteArrayView path);

// The path without its trailing "/", but "/" for the root itself.
QByteArray withoutTrailingSlashes(QByteArrayView path);

// What follows the last "/" (the whole path when it has none); empty for a path ending in "/".
QByteArrayView lastComponent(QByteArrayView path);

// The folder that holds an entry ("/" for an entry of the root, "." for a bare name), and the
// entry's name in it. Trailing "/" are dropped first.
struct SplitPath {
    QByteArray folder;
    QByteArray name;
};
SplitPath splitPath(QByteArrayView path);

// The same, refusing a path that names no entry of its own ("", "/", ".", ".." as the last part)
// or holds a NUL byte, which would cut it short on its way to the kernel.
std::optional<SplitPath> splitEntryPath(QByteArrayView path);

// The folder that holds an entry: "/" for an entry of the root.
QByteArray containingFolder(QByteArrayView path);

// Whether a path is the folder itself or lies below it, compared component by component.
bool isSameOrBelow(QByteArrayView path, QByteArrayView folder);

// A folder renamed from one path to another: a path at or below it takes the new one. Whether
// the path moved.
bool movePath(QByteArray& path, QByteArrayView from, QByteArrayView to);

} // namespace platform
