#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace platform {

// A file name is bytes. Valid UTF-8 is read as such; other names mostly come from archives made
// on Chinese Windows, so they are read as GB18030 when that decodes cleanly, and otherwise every
// invalid byte shows as U+FFFD.
QString fileNameText(QByteArrayView name);

// A whole path, decoded one component at a time, so that one odd component leaves the others
// readable.
QString pathText(QByteArrayView path);

// The bytes that a name typed by the user gets on disk.
QByteArray fileNameBytes(const QString& text);

// The spellings a typed path may have on disk, most likely first: UTF-8, then GB18030 where
// that differs (names from archives made on Chinese Windows).
QList<QByteArray> typedPathSpellings(const QString& text);

bool isAscii(QByteArrayView bytes);

} // namespace platform
