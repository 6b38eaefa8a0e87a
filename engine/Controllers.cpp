// The controller side of the engine: registered parameters (pitch-wheel sensitivity, fine and
// coarse tuning) are kept here and turned into FluidSynth calls; other controllers pass through.
#include "engine/Harmoloom.h"

#include <algorithm>
#include <iterator>

#include "engine/ControllerNumbers.h"

namespace
{

using namespace controller;

constexpr int kPitchBendSensitivity = 0;
constexpr int kFineTuning = 1;
constexpr int kCoarseTuning = 2;

// The SoundFont generator "fineTune", in cents.
constexpr int kFineTuneGenerator = 52;

// Data entry and parameter selection act on FluidSynth's selected parameter whatever value they
// carry, so a controller reset always sends them.
bool ActsBeyondItsValue(int controller)
{
    return controller == kDataEntry || controller == kDataEntryLow ||
           (controller >= kDataIncrement && controller <= kRegisteredHigh);
}

} // namespace

void HARMOLOOM::ControlChange(int channel, int controller, int value)
{
    if (!IsEngineChannel(channel) || controller < 0 || controller > 127)
        return;
    // Channel-mode messages have their own operations, and banks are chosen by controller 0
    // alone.
    if (controller == kAllSoundOff || controller == kResetAllControllers ||
        controller == kAllNotesOff || controller == kBankSelectLow)
        return;
    value = std::clamp(value, 0, 127);

    RealtimeAutolock hold(lock);
    if (initialized == 0)
        return;
    if (controller == kRegisteredLow || controller == kRegisteredHigh)
    {
        if (controller == kRegisteredLow)
            rpn_lsb[channel] = value;
        else
            rpn_msb[channel] = value;
        if (rpn_msb[channel] == 127 && rpn_lsb[channel] == 127)
        {
            rpn_msb[channel] = -1; // the null parameter: nothing selected
            rpn_lsb[channel] = -1;
        }
        return;
    }

    bool selected = rpn_msb[channel] >= 0 && rpn_lsb[channel] >= 0;
    int parameter = selected ? rpn_msb[channel] * 128 + rpn_lsb[channel] : -1;
    bool retune = false;
    switch (controller)
    {
    case kDataEntryLow:
        retune = true;
        if (parameter == kFineTuning)
            fine_tune_lsb[channel] = value;
        break;
    case kDataEntry:
        retune = true;
        if (parameter == kPitchBendSensitivity)
            bend_range[channel] = value < 24 ? value : 24;
        else if (parameter == kFineTuning)
            fine_tune_msb[channel] = value;
        else if (parameter == kCoarseTuning)
            coarse_tune[channel] = std::clamp(value, 40, 88);
        break;
    case kDataIncrement:
    case kDataDecrement:
        retune = true;
        if (value == 0)
            StepParameter(channel, parameter, controller == kDataIncrement ? 1 : -1);
        break;
    default:
        break;
    }

    if (retune)
        SendTuning(channel);
    else
        hook_fluid_synth_cc(fluid_synth, channel, controller, value);
}

void HARMOLOOM::StepParameter(int channel, int parameter, int step)
{
    if (parameter == kPitchBendSensitivity)
        bend_range[channel] = std::clamp(bend_range[channel] + step, 0, 24);
    else if (parameter == kFineTuning)
        fine_tune_msb[channel] = std::clamp(fine_tune_msb[channel] + step, 0, 127);
    else if (parameter == kCoarseTuning)
        coarse_tune[channel] = std::clamp(coarse_tune[channel] + step, 40, 88);
}

void HARMOLOOM::SendTuning(int channel)
{
    int offset = fine_tune_msb[channel] * 128 + fine_tune_lsb[channel] - 8192;
    double cents = offset == 0 ? 0.0 : offset / 163.84;
    if (cents != sent_fine_tune[channel])
        SendFineTune(channel, cents);
    if (bend_range[channel] != sent_bend_range[channel])
        SendBendRange(channel);
}

// The channel's fine-tune generator is changed in place, the way FluidSynth applies its own
// fine-tuning parameter, and sounding notes follow. Every FluidSynth tuning call (an octave
// tuning, tuning notes) allocates a new tuning and frees the old one: only a library without
// the generator call gets one.
void HARMOLOOM::SendFineTune(int channel, double cents)
{
    sent_fine_tune[channel] = cents;
    if (hook_fluid_synth_set_gen != nullptr)
    {
        hook_fluid_synth_set_gen(fluid_synth, channel, kFineTuneGenerator,
                                 static_cast<float>(cents));
        return;
    }
    double pitch[12];
    std::fill(std::begin(pitch), std::end(pitch), cents);
    hook_fluid_synth_create_octave_tuning(fluid_synth, 0, channel, "t", pitch);
    hook_fluid_synth_select_tuning(fluid_synth, channel, 0, channel);
}

void HARMOLOOM::SendBendRange(int channel)
{
    hook_fluid_synth_pitch_wheel_sens(fluid_synth, channel, bend_range[channel]);
    sent_bend_range[channel] = bend_range[channel];
}

int HARMOLOOM::HeldController(int channel, int controller)
{
    int value = -1;
    if (hook_fluid_synth_get_cc == nullptr ||
        hook_fluid_synth_get_cc(fluid_synth, channel, controller, &value) != 0)
        return -1;
    return value;
}

void HARMOLOOM::ResetAllControllers(int channel)
{
    if (!IsEngineChannel(channel))
        return;
    RealtimeAutolock hold(lock);
    if (initialized != 0)
    {
        for (int controller = 1; controller <= 118; controller++)
        {
            // Volume, pan and the effect sends are the player's mix, not performance state.
            if (controller == kVolume || controller == kPan || controller == kBankSelectLow ||
                controller == kReverbSend || controller == kChorusSend)
                continue;
            // A controller FluidSynth already holds at the reset's value is left alone: sending it
            // again would only repeat the modulation of every voice, 113 times a channel.
            int value = controller == kExpression ? 127 : 0;
            if (ActsBeyondItsValue(controller) || HeldController(channel, controller) != value)
                hook_fluid_synth_cc(fluid_synth, channel, controller, value);
        }
        hook_fluid_synth_pitch_bend(fluid_synth, channel, 8192);
        // FluidSynth reads the data entry above as a registered parameter of its own: the 100=0
        // and 101=0 of one reset select its pitch-bend range, so the 6=0 of the next one would
        // zero its sensitivity and the pitch wheel would fall dead. The sensitivity is the
        // engine's to keep, so it is sent again.
        SendBendRange(channel);
        rpn_msb[channel] = -1;
        rpn_lsb[channel] = -1;
    }
}

void HARMOLOOM::AllSoundOff(int channel)
{
    if (!IsEngineChannel(channel))
        return;
    RealtimeAutolock hold(lock);
    if (initialized != 0)
        hook_fluid_synth_cc(fluid_synth, channel, kAllSoundOff, 0);
}

void HARMOLOOM::AllNotesOff(int channel)
{
    if (!IsEngineChannel(channel))
        return;
    RealtimeAutolock hold(lock);
    if (initialized == 0)
        return;
    // One pass over the voices instead of 128 note-offs; each note is released as its note-off
    // would release it.
    if (hook_fluid_synth_all_notes_off != nullptr)
        hook_fluid_synth_all_notes_off(fluid_synth, channel);
    else
    {
        for (int key = 0; key <= 127; key++)
            hook_fluid_synth_noteoff(fluid_synth, channel, key);
    }
}
