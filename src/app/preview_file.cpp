#include "app/preview_file.h"

#include "app/lifecycle.h"
#include "output/file_replace.h"

#include <atomic>
#include <mutex>

namespace {

std::atomic<quint64> newest{0};
// Held by a write, so that a retire never comes between its check and its rename.
std::mutex writing;

} // namespace

namespace PreviewFile {

quint64 newTicket()
{
    return ++newest;
}

void write(quint64 ticket, const QByteArray &jpeg)
{
    const std::lock_guard lock(writing);
    if (ticket == newest.load() && !jpeg.isEmpty())
        writePrivateFile(Lifecycle::temporaryPreviewPath(), jpeg);
}

void retire()
{
    ++newest;
    const std::lock_guard lock(writing);
    Lifecycle::removeTemporaryPreview();
}

} // namespace PreviewFile
