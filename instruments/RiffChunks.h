// Finding chunks in RIFF files (WAV and SoundFont files are both RIFF).
#pragma once

#include <cstdio>

// The 32-bit little-endian value of a four-character identifier, as it lies in the file.
constexpr unsigned long RiffId(const char (&id)[5])
{
    return static_cast<unsigned long>(static_cast<unsigned char>(id[0])) |
           static_cast<unsigned long>(static_cast<unsigned char>(id[1])) << 8 |
           static_cast<unsigned long>(static_cast<unsigned char>(id[2])) << 16 |
           static_cast<unsigned long>(static_cast<unsigned char>(id[3])) << 24;
}

// The size field of the first chunk chunk_id in a RIFF file of form form_type, with the file
// positioned at that chunk's data; 0 when the file is null, is not such a RIFF file, or has no
// such chunk (a chunk of size 0 counts as absent). The search never reads past the RIFF data's
// end nor moves backwards, whatever sizes the file claims.
unsigned long GoToChunk(FILE* file, unsigned long form_type, unsigned long chunk_id);

// Reads little-endian integers; false on a short read.
bool ReadUint16(FILE* file, unsigned long* value);
bool ReadUint32(FILE* file, unsigned long* value);
