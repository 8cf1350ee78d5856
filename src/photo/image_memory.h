#pragma once

// Fresh buffers for whole photos. Under a virtual machine every 4 KB page fault can cost
// ~10 us, which is ~250 ms for the pixels of a 24 MP photo; asking the kernel for transparent
// huge pages makes that ~20 ms. Only for buffers that are written right after allocation.

#include <QByteArray>
#include <QImage>
#include <QSize>

// An uninitialised RGB32 image; null if it cannot be allocated.
QImage newRgb32Image(QSize size);

// An uninitialised byte array of this size.
QByteArray newByteArray(qsizetype size);
