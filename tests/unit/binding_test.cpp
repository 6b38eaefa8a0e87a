// Loading FluidSynth from beside the program and resolving its 24 entry points.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <thread>

#include "engine/FluidBinding.h"
#include "engine/FluidLog.h"
#include "platform/support/AddOn.h"
#include "tests/support/TestSupport.h"

namespace
{

const char kNolib[] =
    "Alert \"nolib\" \\(stop\\):\nSorry, cannot load the library file required by "
    "this program \\(\"fluidsynth\"\\)\\. Please ensure your copy of this "
    "program is undamaged; try re-installing it\\.\nButtons: \\[0\\] \"OK\"";

void without_a_person()
{
    unsetenv("DISPLAY");
    unsetenv("HARMOLOOM_ALERT_ANSWERS");
}

std::vector<void*> hooks()
{
    return {reinterpret_cast<void*>(hook_new_fluid_settings),
            reinterpret_cast<void*>(hook_delete_fluid_settings),
            reinterpret_cast<void*>(hook_fluid_settings_setnum),
            reinterpret_cast<void*>(hook_fluid_settings_setint),
            reinterpret_cast<void*>(hook_new_fluid_synth),
            reinterpret_cast<void*>(hook_delete_fluid_synth),
            reinterpret_cast<void*>(hook_fluid_synth_sfload),
            reinterpret_cast<void*>(hook_fluid_synth_sfunload),
            reinterpret_cast<void*>(hook_fluid_synth_noteon),
            reinterpret_cast<void*>(hook_fluid_synth_noteoff),
            reinterpret_cast<void*>(hook_fluid_synth_cc),
            reinterpret_cast<void*>(hook_fluid_synth_pitch_bend),
            reinterpret_cast<void*>(hook_fluid_synth_pitch_wheel_sens),
            reinterpret_cast<void*>(hook_fluid_synth_program_change),
            reinterpret_cast<void*>(hook_fluid_synth_set_bank_offset),
            reinterpret_cast<void*>(hook_fluid_synth_system_reset),
            reinterpret_cast<void*>(hook_fluid_synth_create_octave_tuning),
            reinterpret_cast<void*>(hook_fluid_synth_select_tuning),
            reinterpret_cast<void*>(hook_fluid_synth_write_float),
            reinterpret_cast<void*>(hook_fluid_synth_set_polyphony),
            reinterpret_cast<void*>(hook_fluid_synth_set_interp_method),
            reinterpret_cast<void*>(hook_fluid_synth_set_gain),
            reinterpret_cast<void*>(hook_fluid_synth_set_reverb),
            reinterpret_cast<void*>(hook_fluid_synth_set_chorus)};
}

void* symbol(const char* name)
{
    void* address = nullptr;
    return get_image_symbol(libraryimage, name, B_SYMBOL_TYPE_ANY, &address) == B_OK ? address
                                                                                     : nullptr;
}

} // namespace

TEST(Binding, SystemFluidSynthBindsAll24EntryPoints)
{
    LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom");
    ASSERT_GT(libraryimage, 0);
    std::vector<void*> table = hooks();
    ASSERT_EQ(table.size(), 24u);
    for (size_t index = 0; index < table.size(); index++)
        EXPECT_NE(table[index], nullptr) << "entry " << index + 1;
    EXPECT_EQ(reinterpret_cast<void*>(hook_fluid_synth_noteon), symbol("fluid_synth_noteon"));
    EXPECT_EQ(reinterpret_cast<void*>(hook_fluid_synth_set_chorus),
              symbol("fluid_synth_set_chorus"));

    // FluidSynth 2 knows the tuning calls only by their new names; the table holds adapters.
    if (symbol("fluid_synth_create_octave_tuning") == nullptr)
    {
        ASSERT_NE(symbol("fluid_synth_activate_octave_tuning"), nullptr);
        EXPECT_NE(reinterpret_cast<void*>(hook_fluid_synth_create_octave_tuning),
                  symbol("fluid_synth_activate_octave_tuning"));
        EXPECT_NE(reinterpret_cast<void*>(hook_fluid_synth_select_tuning),
                  symbol("fluid_synth_activate_tuning"));
    }
    FreeLibrary();
    EXPECT_LT(libraryimage, 0);
}

TEST(Binding, ABareProgramNameLooksBesideTheWorkingDirectory)
{
    TemporaryFolder folder;
    PlaceLibrary(folder, STANDIN_LIBRARY);
    char previous[PATH_MAX];
    ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
    ASSERT_EQ(chdir(folder.Path().c_str()), 0);
    LoadLibrary("synth");
    EXPECT_GT(libraryimage, 0);
    EXPECT_NE(symbol("standin_call_count"), nullptr) << "the library beside us, not another";
    FreeLibrary();
    ASSERT_EQ(chdir(previous), 0);
}

TEST(BindingDeathTest, MissingLibraryEndsWithTheNolibAlert)
{
    TemporaryFolder folder;
    std::string program = folder.File("Harmoloom");
    EXPECT_EXIT(
        {
            without_a_person();
            LoadLibrary(program.c_str());
        },
        ::testing::ExitedWithCode(1), kNolib);
}

TEST(BindingDeathTest, FileThatIsNoLibraryEndsWithTheNolibAlert)
{
    TemporaryFolder folder;
    WriteFile(folder.File("not a library"), "text");
    std::string program = PlaceLibrary(folder, folder.File("not a library"));
    EXPECT_EXIT(
        {
            without_a_person();
            LoadLibrary(program.c_str());
        },
        ::testing::ExitedWithCode(1), kNolib);
}

TEST(BindingDeathTest, LibraryLackingOnlyTheLastEntryPointIsRefused)
{
    TemporaryFolder folder;
    std::string program = PlaceLibrary(folder, STANDIN_LIBRARY_WITHOUT_CHORUS);
    EXPECT_EXIT(
        {
            without_a_person();
            LoadLibrary(program.c_str());
        },
        ::testing::ExitedWithCode(1),
        std::string("undefined symbol: fluid_synth_set_chorus\n") + kNolib);
}

TEST(BindingDeathTest, ProgramFolderTooLongForTheLibraryPathIsRefused)
{
    std::string program = "/" + std::string(8150, 'd') + "/Harmoloom";
    EXPECT_EXIT(
        {
            without_a_person();
            LoadLibrary(program.c_str());
        },
        ::testing::ExitedWithCode(1), kNolib);
}

// FluidSynth may speak while notes are applied on the audio thread: no write there.
TEST(FluidLog, TheAudioThreadsLinesWaitForTheFlush)
{
    testing::internal::CaptureStderr();
    std::thread audio(
        []
        {
            DeferFluidLogOnThisThread();
            FluidLogMessage(1, "voice overflow", nullptr);
        });
    audio.join();
    std::string during_render = testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    FlushFluidLog();
    EXPECT_EQ(during_render, "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Harmoloom: FluidSynth: voice overflow\n");
}
