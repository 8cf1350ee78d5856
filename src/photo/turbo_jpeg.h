#pragma once

// TurboJPEG glue shared by the JPEG decoder and encoder; not for use outside orvane_core.

#include <QtGlobal>

#include <turbojpeg.h>

#include <memory>

// The byte order of QImage::Format_RGB32 in memory; TurboJPEG writes the X byte as 0xff.
inline constexpr int kTurboRgb32 = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;

struct TurboDeleter
{
    void operator()(void *handle) const { tjDestroy(handle); }
};
using TurboHandle = std::unique_ptr<void, TurboDeleter>;
