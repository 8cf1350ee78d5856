#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

class WorkProgress;

// The target as it will look saved: encodeAsSaved() of it, which is what a save of
// the unchanged picture writes, and that encoding decoded at the smallest DCT scale that still
// covers the frame, never enlarged. Both empty if memory runs out.
struct RenderedPreview
{
    QImage image;
    QByteArray jpeg;
};

// Two stages of progress: encode, decode.
RenderedPreview renderPreview(const QImage &target, QSize frame, WorkProgress *progress = nullptr);
