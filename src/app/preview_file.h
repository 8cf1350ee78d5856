#pragma once

#include <QByteArray>
#include <QtGlobal>

// The temporary preview file, written by jobs that may finish in any order: only the newest
// preview is written, and none once the window has closed.
namespace PreviewFile {

// Called on the window's thread as a preview starts to be made: every older ticket is void.
quint64 newTicket();
// Writes jpeg to the preview file if ticket is still the newest; from any thread.
void write(quint64 ticket, const QByteArray &jpeg);
// Voids every ticket and removes the file, after a write under way has ended.
void retire();

} // namespace PreviewFile
