#include "output/inflated_size.h"

#include <zlib.h>

#include <algorithm>
#include <array>

bool inflatesWithin(QByteArrayView deflated, qsizetype limit)
{
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK)
        return false;
    // zlib's streams are independent of each other, so no lock is needed; the output goes to a
    // scratch buffer that is counted and overwritten.
    std::array<Bytef, 64 * 1024> scratch;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(deflated.data()));
    stream.avail_in = uInt(std::min<qsizetype>(deflated.size(), 0x7FFFFFFF));
    qsizetype produced = 0;
    int status = Z_OK;
    while (status == Z_OK && produced <= limit) {
        stream.next_out = scratch.data();
        stream.avail_out = uInt(scratch.size());
        status = inflate(&stream, Z_NO_FLUSH);
        produced += qsizetype(scratch.size() - stream.avail_out);
        if (status == Z_BUF_ERROR && stream.avail_in == 0)
            break; // cut short
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END && produced <= limit;
}
