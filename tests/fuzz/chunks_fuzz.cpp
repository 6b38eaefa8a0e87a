// libFuzzer target: any bytes through the RIFF chunk search. It must end, stay within the file,
// and leave the file at the data of the chunk it reports.
#include <stdio.h>
#include <stdlib.h>

#include <cstdint>

#include "instruments/RiffChunks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (file == nullptr)
        return 0;
    const unsigned long searches[][2] = {{RiffId("WAVE"), RiffId("fmt ")},
                                         {RiffId("WAVE"), RiffId("data")},
                                         {RiffId("sfbk"), RiffId("LIST")}};
    for (const auto& search : searches)
    {
        unsigned long found = GoToChunk(file, search[0], search[1]);
        long position = ftell(file);
        // A chunk's data starts after the 12-byte RIFF header and its own 8-byte header, inside
        // the file.
        if (found != 0 && (position < 20 || position > static_cast<long>(size)))
            abort();
    }
    fclose(file);
    return 0;
}
