#include "instruments/RiffChunks.h"

namespace
{

bool read_little_endian(FILE* file, int bytes, unsigned long* value)
{
    unsigned char raw[4];
    if (std::fread(raw, 1, static_cast<size_t>(bytes), file) != static_cast<size_t>(bytes))
        return false;
    *value = 0;
    for (int index = bytes - 1; index >= 0; index--)
        *value = (*value << 8) | raw[index];
    return true;
}

} // namespace

bool ReadUint16(FILE* file, unsigned long* value)
{
    return read_little_endian(file, 2, value);
}

bool ReadUint32(FILE* file, unsigned long* value)
{
    return read_little_endian(file, 4, value);
}

unsigned long GoToChunk(FILE* file, unsigned long form_type, unsigned long chunk_id)
{
    if (file == nullptr || std::fseek(file, 0, SEEK_SET) != 0)
        return 0;
    unsigned long id = 0;
    unsigned long riff_size = 0;
    unsigned long form = 0;
    if (!ReadUint32(file, &id) || id != RiffId("RIFF") || !ReadUint32(file, &riff_size) ||
        !ReadUint32(file, &form) || form != form_type)
        return 0;
    const unsigned long riff_end = riff_size + 8;

    for (;;)
    {
        long position = std::ftell(file);
        if (std::feof(file) || position < 0 || static_cast<unsigned long>(position) >= riff_end)
            return 0;
        unsigned long size = 0;
        if (!ReadUint32(file, &id) || !ReadUint32(file, &size))
            return 0;
        if (id == chunk_id)
            return size;
        size += size & 1; // chunks are padded to an even length
        if (std::fseek(file, static_cast<long>(size), SEEK_CUR) != 0)
            return 0;
    }
}
