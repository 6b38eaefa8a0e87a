// Writes the conversion template "Audio File Importer": the fixed parts of the SoundFont that a
// WAV recording becomes, cut into the pieces the converter copies around the values it computes.
//
//   make_audio_file_importer OUTPUT
//
// The SoundFont it makes has one preset (bank 0, program 0) with one instrument playing one
// sample. The sample's original pitch is key 60, so key 60 plays the recording at its own pitch
// and speed and other keys transpose it. The sample does not loop: a held key plays the recording
// once to its end, and a released key fades out over 0.1 s.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "instruments/TemplateLayout.h"

namespace
{

class Bytes
{
public:
    void Text(const char* text, size_t size) // zero-padded to size
    {
        size_t length = std::strlen(text);
        for (size_t index = 0; index < size; index++)
            data_ += index < length ? text[index] : '\0';
    }
    void Id(const char* id) { data_.append(id, 4); }
    void U8(unsigned value) { data_ += static_cast<char>(value & 0xFF); }
    void U16(unsigned value)
    {
        U8(value);
        U8(value >> 8);
    }
    void U32(uint32_t value)
    {
        U16(value & 0xFFFF);
        U16(value >> 16);
    }
    void Append(const Bytes& other) { data_ += other.data_; }
    size_t Size() const { return data_.size(); }
    const std::string& Data() const { return data_; }

private:
    std::string data_;
};

Bytes chunk(const char* id, const Bytes& body)
{
    Bytes out;
    out.Id(id);
    out.U32(static_cast<uint32_t>(body.Size()));
    out.Append(body);
    return out;
}

Bytes text_chunk(const char* id, const char* text, size_t size)
{
    Bytes body;
    body.Text(text, size);
    return chunk(id, body);
}

// Generator operators of the SoundFont 2 standard.
enum Generator : unsigned
{
    kReleaseVolEnv = 38,
    kInstrument = 41,
    kKeyRange = 43,
    kSampleId = 53,
    kSampleModes = 54,
    kOverridingRootKey = 58,
};

constexpr unsigned kRootKey = 60;
constexpr int kReleaseTimecents = -3986; // 1200 x log2(0.1 s)
constexpr uint32_t kLoopStart = 0;
constexpr unsigned kMonoSample = 1;

Bytes information_list()
{
    Bytes body;
    body.Id("INFO");
    Bytes version;
    version.U16(2);
    version.U16(1);
    body.Append(chunk("ifil", version));
    body.Append(text_chunk("isng", "EMU8000", 8));
    body.Append(text_chunk("INAM", "Harmoloom Audio Import", 24));
    body.Append(text_chunk("ISFT", "Harmoloom 1.1", 16));
    body.Append(text_chunk("ICMT",
                           "A WAV recording as one sample. Key 60 plays it at its own pitch and "
                           "speed; it plays once and does not loop.",
                           110));
    return chunk("LIST", body);
}

Bytes preset_data_chunks()
{
    Bytes phdr;
    phdr.Text("Recording", 20);
    phdr.U16(0); // program
    phdr.U16(0); // bank
    phdr.U16(0); // first preset bag
    phdr.U32(0);
    phdr.U32(0);
    phdr.U32(0);
    phdr.Text("EOP", 20);
    phdr.U16(0);
    phdr.U16(0);
    phdr.U16(1);
    phdr.U32(0);
    phdr.U32(0);
    phdr.U32(0);

    Bytes pbag;
    pbag.U16(0);
    pbag.U16(0);
    pbag.U16(1);
    pbag.U16(0);

    Bytes pmod;
    for (int index = 0; index < 10; index++)
        pmod.U8(0);

    Bytes pgen;
    pgen.U16(kInstrument);
    pgen.U16(0);
    pgen.U32(0);

    Bytes inst;
    inst.Text("Recording", 20);
    inst.U16(0);
    inst.Text("EOI", 20);
    inst.U16(1);

    const unsigned instrument_generators = 5;
    Bytes ibag;
    ibag.U16(0);
    ibag.U16(0);
    ibag.U16(instrument_generators);
    ibag.U16(0);

    Bytes imod;
    for (int index = 0; index < 10; index++)
        imod.U8(0);

    Bytes igen;
    igen.U16(kKeyRange); // first, as the standard wants
    igen.U8(0);
    igen.U8(127);
    igen.U16(kOverridingRootKey);
    igen.U16(kRootKey);
    igen.U16(kSampleModes);
    igen.U16(0); // no loop
    igen.U16(kReleaseVolEnv);
    igen.U16(static_cast<unsigned>(kReleaseTimecents) & 0xFFFF);
    igen.U16(kSampleId); // last, as the standard wants
    igen.U16(0);
    igen.U32(0);

    Bytes all;
    all.Append(chunk("phdr", phdr));
    all.Append(chunk("pbag", pbag));
    all.Append(chunk("pmod", pmod));
    all.Append(chunk("pgen", pgen));
    all.Append(chunk("inst", inst));
    all.Append(chunk("ibag", ibag));
    all.Append(chunk("imod", imod));
    all.Append(chunk("igen", igen));
    return all;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }

    Bytes header; // offsets 0..15: the template's own mark
    header.Text("Harmoloom", 13);
    header.U8(2);
    header.U8(2);
    header.U8(0xFF);

    Bytes piece_a; // after "RIFF" and its size: the form, the INFO list, the sdta list's "LIST"
    piece_a.Id("sfbk");
    piece_a.Append(information_list());
    piece_a.Id("LIST");

    Bytes piece_b;
    piece_b.Id("sdta");
    piece_b.Id("smpl");

    Bytes pdta = preset_data_chunks();
    Bytes piece_c; // the pdta list up to the first sample header's start
    piece_c.Id("LIST");
    piece_c.U32(static_cast<uint32_t>(4 + pdta.Size() + 8 + 2 * 46));
    piece_c.Id("pdta");
    piece_c.Append(pdta);
    piece_c.Id("shdr");
    piece_c.U32(2 * 46);
    piece_c.Text("Recording", 20);
    piece_c.U32(0); // start: the first sample point of the smpl chunk

    Bytes piece_d;
    piece_d.U32(kLoopStart);

    Bytes piece_e; // the rest of the sample header, then the terminal one
    piece_e.U8(kRootKey);
    piece_e.U8(0);  // pitch correction
    piece_e.U16(0); // sample link
    piece_e.U16(kMonoSample);
    piece_e.Text("EOS", 46);

    using namespace template_layout;
    const size_t expected[] = {kMarkSize, kPieceA, kPieceB, kPieceC, kPieceD, kPieceE};
    const Bytes* pieces[] = {&header, &piece_a, &piece_b, &piece_c, &piece_d, &piece_e};
    Bytes file;
    for (size_t index = 0; index < 6; index++)
    {
        if (pieces[index]->Size() != expected[index])
        {
            std::fprintf(stderr, "piece %zu is %zu bytes, not %zu\n", index, pieces[index]->Size(),
                         expected[index]);
            return 1;
        }
        file.Append(*pieces[index]);
    }

    FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr)
    {
        std::perror(argv[1]);
        return 1;
    }
    bool written = std::fwrite(file.Data().data(), 1, file.Size(), out) == file.Size();
    written = std::fclose(out) == 0 && written;
    if (!written || file.Size() != kTemplateSize)
    {
        std::fprintf(stderr, "could not write the %zu-byte template to %s\n", kTemplateSize,
                     argv[1]);
        return 1;
    }
    return 0;
}
