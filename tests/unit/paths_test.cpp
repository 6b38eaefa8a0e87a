// The path helpers, the UTF-8 cut and the debug print.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>

#include "app/Debug.h"
#include "app/Paths.h"
#include "tests/support/TestSupport.h"

namespace
{

std::string working_directory()
{
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof(buffer)) != nullptr ? buffer : "";
}

std::string trimmed(std::string text, unsigned long count, int* cut)
{
    *cut = trim_string(text.data(), count);
    return text.c_str();
}

} // namespace

TEST(SetPath, ChangesToTheProgramsFolder)
{
    TemporaryFolder folder;
    std::filesystem::create_directories(folder.File("apps/Harmoloom"));
    std::string canonical = std::filesystem::canonical(folder.File("apps/Harmoloom")).string();

    set_path((folder.File("apps/Harmoloom") + "/Harmoloom").c_str());
    EXPECT_EQ(working_directory(), canonical);

    set_path("Harmoloom"); // a bare name changes nothing
    EXPECT_EQ(working_directory(), canonical);

    set_path("");
    EXPECT_EQ(working_directory(), canonical);

    set_path("/x");
    EXPECT_EQ(working_directory(), "/");

    // A folder that does not exist, or one longer than any the system allows, changes nothing.
    set_path((folder.File("apps/Harmoloom") + "/Harmoloom").c_str());
    set_path("/no/such/folder/Harmoloom");
    EXPECT_EQ(working_directory(), canonical);
    std::string overlong = "/" + std::string(20000, 'd') + "/Harmoloom";
    set_path(overlong.c_str());
    EXPECT_EQ(working_directory(), canonical);
    set_path("/");
}

TEST(GetPath, GivesTheFolderWithItsSlash)
{
    EXPECT_STREQ(get_path(""), "./");
    EXPECT_STREQ(get_path("synth"), "./");
    EXPECT_STREQ(get_path("/boot/apps/Harmoloom/Harmoloom"), "/boot/apps/Harmoloom/");
    EXPECT_STREQ(get_path("/x"), "/");
    EXPECT_STREQ(get_path("relative/dir/prog"), "relative/dir/");

    // Every call writes over the last result in the same buffer.
    char* first = get_path("/a/b");
    char* second = get_path("/c/d/e");
    EXPECT_EQ(first, second);
    EXPECT_STREQ(second, "/c/d/");
}

TEST(GetPath, TooLongAFolderGivesAnEmptyResult)
{
    std::string fits = "/" + std::string(APP_PATH_SIZE - 3, 'f') + "/prog"; // folder + NUL = size
    EXPECT_EQ(std::string(get_path(fits.c_str())).size(), APP_PATH_SIZE - 1);
    std::string too_long = "/" + std::string(APP_PATH_SIZE, 'f') + "/prog";
    EXPECT_STREQ(get_path(too_long.c_str()), "");
}

TEST(StripPath, GivesTheFileName)
{
    EXPECT_EQ(strip_path(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_STREQ(strip_path("/boot/home/sounds/piano.sf2"), "piano.sf2");
    EXPECT_STREQ(strip_path("a/b"), "b");
    EXPECT_STREQ(strip_path("a/b/"), "b/");
    EXPECT_STREQ(strip_path("/"), "/");
    EXPECT_STREQ(strip_path("plain.sf2"), "plain.sf2");
    char path[] = "/x/y.sf2";
    EXPECT_EQ(strip_path(path), path + 3) << "no copy is made";
}

TEST(TrimString, CutsAfterCountCharactersNeverInsideOne)
{
    int cut = -1;
    EXPECT_EQ(trim_string(nullptr, 3), 0);

    std::string thirty(30, 'a');
    EXPECT_EQ(trimmed(thirty, 24, &cut), std::string(24, 'a'));
    EXPECT_EQ(cut, 1);

    std::string twenty_four(24, 'b');
    EXPECT_EQ(trimmed(twenty_four, 24, &cut), twenty_four);
    EXPECT_EQ(cut, 0);

    // The 24th character takes two bytes: both stay, the cut comes before the 25th.
    std::string wide = std::string(23, 'c') + "\xC3\xA9" + "tail";
    EXPECT_EQ(trimmed(wide, 24, &cut), std::string(23, 'c') + "\xC3\xA9");
    EXPECT_EQ(cut, 1);

    // Four-byte characters count once each.
    std::string notes = "\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E";
    EXPECT_EQ(trimmed(notes, 2, &cut), notes.substr(0, 8));
    EXPECT_EQ(cut, 1);
    EXPECT_EQ(trimmed(notes, 3, &cut), notes);
    EXPECT_EQ(cut, 0);

    EXPECT_EQ(trimmed("abc", 0, &cut), "");
    EXPECT_EQ(cut, 1);
    EXPECT_EQ(trimmed("", 0, &cut), "");
    EXPECT_EQ(cut, 0);
}

// Debug mode can only be switched on, so everything about it lives in this one test.
TEST(DebugPrint, SilentUntilSwitchedOnThenOneLinePerMessage)
{
    ::testing::internal::CaptureStdout();
    DEBUG_PRINT("Saving settings");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");

    ::testing::internal::CaptureStdout();
    DEBUG_PRINT(nullptr, 0);
    DEBUG_PRINT("Saving settings");
    DEBUG_PRINT("Finished initial loading, failed_to_load_something = %d", 1);
    DEBUG_PRINT("100% literal, %s and %n are not conversions");
    DEBUG_PRINT("%s stays, %d is replaced, %% is a percent sign", -42);
    DEBUG_PRINT("Testing for wave file\n");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Debug mode enabled\n"
              "DEBUG: Saving settings\n"
              "DEBUG: Finished initial loading, failed_to_load_something = 1\n"
              "DEBUG: 100% literal, %s and %n are not conversions\n"
              "DEBUG: %s stays, -42 is replaced, % is a percent sign\n"
              "DEBUG: Testing for wave file\n\n");
}
