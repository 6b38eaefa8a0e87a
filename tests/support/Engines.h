// The engine as the tests meet it: on the recording stand-in, to read back exactly what
// FluidSynth receives, or on the real FluidSynth with a General MIDI SoundFont, to hear what it
// renders. Both set the global Synth, as the program does, and take it down again.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/Harmoloom.h"
#include "tests/support/AudioAnalysis.h"
#include "tests/support/StandinRecorder.h"
#include "tests/support/TestSupport.h"

class EngineTest : public ::testing::Test
{
protected:
    void TearDown() override;
};

// Synth at 48000 Hz on the stand-in, with the factory settings in the settings record.
class StandinEngine : public EngineTest
{
protected:
    void SetUp() override;
    // Binds another form of the stand-in (STANDIN_LIBRARY_2, ...) and makes a fresh engine.
    void UseLibrary(const std::string& library);
    // A fresh engine, its construction's calls forgotten.
    void NewEngine();
    std::string Sent() { return recorder.Sent(); }
    std::string Font(const std::string& name) { return files.Font(name); }

    StandinRecorder recorder;
    TemporaryFolder files;

private:
    // A library stays loaded under its path, so each one gets a folder of its own.
    std::vector<std::unique_ptr<TemporaryFolder>> library_folders_;
};

// Synth at 48000 Hz on the real FluidSynth, TimGM6mb loaded (its handle in font), reverb and
// chorus returns off so that a note's own sound is measured.
class RealEngine : public EngineTest
{
protected:
    static constexpr double kRate = 48000;

    void SetUp() override;
    // An engine set up as Synth is, with a TimGM6mb of its own (its handle in font_handle).
    static std::unique_ptr<HARMOLOOM> AnotherEngine(int* font_handle = nullptr);
    // Interleaved stereo, rendered in the audio output's 64-frame blocks.
    static std::vector<float> Render(double seconds, HARMOLOOM* engine = nullptr);
    // The pitch of a note held for a while, measured after its attack; the note is released.
    double PitchOf(int channel, int key);
    // The root mean square level of the mix over the next seconds.
    double Level(double seconds = 0.1)
    {
        std::vector<float> sound = Render(seconds);
        return Rms(sound, 0, sound.size());
    }

    int font = 0;
};
