#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at path with data, whole or not at all: the data goes to a short-named
// temporary file in the same folder, which is synced and renamed over the old one, so a name
// may use every byte the file system allows. An existing file keeps its permission bits and,
// where the process may set them, its owner and group; a symbolic link is followed to the file
// it names. Refused, with the old file untouched and nothing left beside it: a path that is not
// a regular file, a missing folder, a file or folder that is read-only (by its permission bits,
// so for root too), append-only or immutable.
bool replaceFile(const QString &path, const QByteArray &data);

// Writes data to path as a file only this user may read (0600), in place of whatever file or
// link stands there, never following a link. Not synced: meant for by-products in a folder
// private to the user.
bool writePrivateFile(const QString &path, const QByteArray &data);
