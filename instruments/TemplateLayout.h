#pragma once
// The layout of the conversion template "Audio File Importer": the pieces data/'s generator
// writes and the converter copies around the values it computes, and the SoundFont sizes that
// follow from them. Constants only: any thread, real-time safe.
#include <cstddef>

namespace template_layout
{

constexpr size_t kMarkSize = 16; // the template's own mark, not copied
constexpr size_t kPieceA = 222;  // "sfbk", the INFO list, the sample data list's "LIST"
constexpr size_t kPieceB = 8;    // "sdta" "smpl"
constexpr size_t kPieceC = 296;  // the pdta list up to the sample header's end field
constexpr size_t kPieceD = 4;    // the loop start
constexpr size_t kPieceE = 52;   // the rest of the sample header and the terminal one
constexpr size_t kTemplateSize = kMarkSize + kPieceA + kPieceB + kPieceC + kPieceD + kPieceE;

// Silence after the recording, so that interpolation past its end reads zeros.
constexpr unsigned long kTrailingZeroSamples = 32;

// The SoundFont's chunk sizes for D bytes of sample data: the smpl chunk, the sdta list and the
// RIFF form are D plus these.
constexpr unsigned long kSampleChunkExtra = 2 * kTrailingZeroSamples;
constexpr unsigned long kSampleListExtra = kPieceB + 4 + kSampleChunkExtra;
// Piece A, the list's size, the list, piece C, the end, piece D, the loop end, the rate, piece E.
constexpr unsigned long kRiffExtra =
    kPieceA + 4 + kSampleListExtra + kPieceC + 4 + kPieceD + 4 + 4 + kPieceE;

static_assert(kTemplateSize == 598 && kSampleChunkExtra == 64 && kSampleListExtra == 76 &&
              kRiffExtra == 666);

} // namespace template_layout
