#pragma once

#include <QByteArray>
#include <QString>

// Where writeNewFile() put its data, or why it could not.
struct NewFile
{
    QString path;   // empty on failure
    int error = 0;  // errno of the failure
    int number = 0; // the number the name was given (0 for none), when written
};

// Writes data to a file of its own in folder, named stem + suffix, or stem-1 + suffix,
// stem-2 + suffix, … when a name is taken; names numbered below firstNumber are not tried
// (a caller that saw them taken need not probe them again). Nothing is ever replaced, not even
// by a file that appears meanwhile: the data is written to an unnamed file first, which is then
// given the first free name in one step. The file appears whole or not at all, and a failure
// leaves nothing behind. A folder nobody may write (by its permission bits, so for root too)
// is refused with EACCES. Permissions are those of any new file (0666 less the umask).
NewFile writeNewFile(const QString &folder, const QString &stem, const QString &suffix,
                     const QByteArray &data, int firstNumber = 0);

// writeNewFile() where the file system has no unnamed files, as it falls back to: the data is
// written under a hidden name of its own, which is then linked (or, without links, renamed
// without replacing) to the free name. A kill may leave the hidden file behind.
NewFile writeNewFileThroughHiddenName(const QString &folder, const QString &stem,
                                      const QString &suffix, const QByteArray &data,
                                      int firstNumber);
