#pragma once

#include <QByteArrayView>

// Whether zlib data inflates whole to at most limit bytes: false when it would be larger, or is
// damaged or cut short. Looks without keeping anything, so a small chunk that claims to hold a
// huge profile costs a little time and no memory.
bool inflatesWithin(QByteArrayView deflated, qsizetype limit);
