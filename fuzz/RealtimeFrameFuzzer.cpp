// Frames as the realtime service (or anyone on the way) may send them.
#include "net/Realtime.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const Realtime::Reading reading = Realtime::readFrame(bytes);
    // A frame is only ever read out of JSON.
    if (reading.frame && !reading.isJson)
        std::abort();
    return 0;
}
