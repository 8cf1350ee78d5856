#pragma once

#include <QByteArray>
#include <QString>

// Where writeNewFile() put its data, or why it could not.
struct NewFile
{
    QString path;  // empty on failure
    int error = 0; // errno of the failure
};

// Writes data to a file of its own in folder, named stem + suffix, or stem-1 + suffix,
// stem-2 + suffix, … when a name is taken. Nothing is ever replaced, not even by a file that
// appears meanwhile: the data is written to an unnamed file first, which is then given the
// first free name in one step. The file appears whole or not at all, and a failure leaves
// nothing behind. Permissions are those of any new file (0666 less the umask).
NewFile writeNewFile(const QString &folder, const QString &stem, const QString &suffix,
                     const QByteArray &data);
