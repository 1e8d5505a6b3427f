#include "shell/catalogue.h"
#include "shell/paths.h"
#include "shell/preferences.h"

#include "settings_home.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace velmora {
namespace {

using testing::tsettings_home;

TEST(SettingsPlace, EnvironmentChoosesTheFolder)
{
    const char* saved_home = std::getenv("HOME");
    const std::string home = saved_home ? saved_home : "";
    ::unsetenv("VELMORA_HOME");
    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(prefs_path(), "/cfg/velmora/prefs.cfg");
    ::setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
    EXPECT_EQ(prefs_path(), "/home/someone/.config/velmora/prefs.cfg");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(language_path(), "/home/someone/.config/velmora/language");
    ::setenv("VELMORA_HOME", "/portable", 1);
    EXPECT_EQ(prefs_path(), "/portable/prefs.cfg");
    ::unsetenv("VELMORA_HOME");
    ::setenv("HOME", home.c_str(), 1);
}

TEST(Preferences, MissingFileSectionOrKeyGivesTheDefault)
{
    tsettings_home home;
    EXPECT_FALSE(prefs_file_exists());
    EXPECT_EQ(read_string("open", "dir", "none"), "none");
    EXPECT_EQ(read_int("jpeg", "quality", 90), 90);
    EXPECT_TRUE(write_int("jpeg", "quality", 75));
    EXPECT_TRUE(prefs_file_exists());
    EXPECT_EQ(read_int("jpeg", "progressive", 0), 0);
    EXPECT_EQ(read_int("gif", "quality", 12), 12);
    EXPECT_EQ(read_int("JPEG", "Quality", 90), 75);
}

TEST(Preferences, ValuesRoundTrip)
{
    tsettings_home home;
    const std::vector<std::string> texts = {
        "a=b=c",   "Étoile ✓ 星", "[not a section]", "two\nlines\r\nhere", "c:\\tmp\\new",
        "; not a comment", "",   "\"quoted\"", "  padded  ", "c:\\tmp", " ", "a \\s b",
    };
    for (std::size_t index = 0; index < texts.size(); ++index)
        ASSERT_TRUE(write_string("texts", "t" + std::to_string(index), texts[index]));
    for (std::size_t index = 0; index < texts.size(); ++index)
        EXPECT_EQ(read_string("texts", "t" + std::to_string(index), "default"), texts[index]) << index;

    for (const std::int32_t value : {0, -5, 13656392, INT32_MAX, INT32_MIN}) {
        write_int("numbers", "i", value);
        EXPECT_EQ(read_int("numbers", "i", 1), value);
    }
    for (const double value : {0.0, 0.1, -2.5, 1e-300, 0.123456789012345678}) {
        write_float("numbers", "f", value);
        EXPECT_EQ(read_float("numbers", "f", 7.0), value);
    }
    write_bool("numbers", "b", true);
    EXPECT_TRUE(read_bool("numbers", "b", false));
    write_bool("numbers", "b", false);
    EXPECT_FALSE(read_bool("numbers", "b", true));
}

TEST(Preferences, FileLayoutIsIniAndOtherLinesSurvive)
{
    tsettings_home home;
    home.write("prefs.cfg", "; written by hand\n[colors]\nforeground=13656392\n\n[rulers]\nvisible=1\n");
    write_string("colors", "background", "255");
    write_float("toolbar color", "posx", 0.25);
    write_int("rulers", "visible", 0);
    EXPECT_EQ(home.read("prefs.cfg"), "; written by hand\n[colors]\nforeground=13656392\nbackground=255\n\n"
                                      "[rulers]\nvisible=0\n\n[toolbar color]\nposx=0.25\n");
    home.write("prefs.cfg", "[open]\ndir=c:\\tmp\\pics  \n");
    EXPECT_EQ(read_string("open", "dir", ""), "c:\\tmp\\pics") << "hand-written backslashes read as they are";
    const auto leftovers = std::distance(std::filesystem::directory_iterator(home.folder()),
                                         std::filesystem::directory_iterator());
    EXPECT_EQ(leftovers, 1) << "no temporary file is left beside prefs.cfg";
}

// Switches the C library to a locale whose decimal separator is a comma,
// building one into `folder` when none is installed.
bool use_comma_locale(const std::string& folder)
{
    for (const char* name : {"fr_FR.UTF-8", "de_DE.UTF-8"})
        if (std::setlocale(LC_ALL, name))
            return true;
    const std::string command = "localedef -i fr_FR -f UTF-8 '" + folder + "/fr_FR.UTF-8' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return false;
    ::setenv("LOCPATH", folder.c_str(), 1);
    return std::setlocale(LC_ALL, "fr_FR.UTF-8") != nullptr;
}

TEST(Preferences, NumbersUseAPointWhateverTheLocale)
{
    tsettings_home home;
    if (!use_comma_locale(home.folder()))
        GTEST_SKIP() << "no locale with a decimal comma could be installed or built";
    EXPECT_STREQ(std::localeconv()->decimal_point, ",");
    write_float("rotate_image", "last_angle", 180.5);
    const std::string file = home.read("prefs.cfg");
    const double angle = read_float("rotate_image", "last_angle", 0);
    home.write("prefs.cfg", "[segment]\narrow_long=10,5\n");
    const double comma = read_float("segment", "arrow_long", 10.0);
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
    EXPECT_NE(file.find("last_angle=180.5"), std::string::npos);
    EXPECT_EQ(angle, 180.5);
    EXPECT_EQ(comma, 10.0) << "a comma is not our separator";
}

TEST(Preferences, DamagedFileGivesDefaultsForWhatItCannotRead)
{
    tsettings_home home;
    std::string damaged = std::string("\0\x01\xfe\xff[garbage\n", 9);
    damaged += "[broken\nsize=1\n";                   // missing bracket: its keys belong nowhere
    damaged += "[jpeg]\nquality=abc\nquality=12\n";   // non-numeric first duplicate wins and is unreadable
    damaged += "preview=1\npreview=0\n";              // duplicate key: the first counts
    damaged += "lissage=" + std::string(1 << 20, '7') + "\n"; // overlong and out of range
    damaged += "  progressive = 1  \r\n";
    damaged += "[JPEG]\nextra=5\n";                   // a second section of the name is not read
    damaged += std::string("\x80\x81=\x82\n");
    damaged += "[gif]\nnb_colors=256\ndither=2.5\n";
    home.write("prefs.cfg", damaged);

    EXPECT_EQ(read_int("broken", "size", -1), -1);
    EXPECT_EQ(read_int("jpeg", "quality", 90), 90);
    EXPECT_TRUE(read_bool("jpeg", "preview", false));
    EXPECT_EQ(read_int("jpeg", "lissage", 1), 1);
    EXPECT_EQ(read_string("jpeg", "lissage", "").size(), std::size_t{1} << 20);
    EXPECT_TRUE(read_bool("jpeg", "progressive", false));
    EXPECT_EQ(read_int("jpeg", "extra", 0), 0);
    EXPECT_EQ(read_int("gif", "nb_colors", 0), 256);
    EXPECT_EQ(read_int("gif", "dither", 0), 0);
    EXPECT_EQ(read_float("gif", "dither", 0), 2.5);

    // Writing into it changes the one value and keeps the rest readable.
    ASSERT_TRUE(write_int("jpeg", "quality", 80));
    EXPECT_EQ(read_int("jpeg", "quality", 90), 80);
    EXPECT_EQ(read_int("gif", "nb_colors", 0), 256);
    EXPECT_TRUE(read_bool("jpeg", "preview", false));
}

TEST(Preferences, NumberParsing)
{
    tsettings_home home;
    struct tcase {
        const char* text;
        std::int32_t expected;
    };
    const tcase cases[] = {
        {"42", 42}, {"+7", 7}, {"-12", -12}, {"0x00FFFFFF", 0xFFFFFF}, {" 5 ", 5},
        {"2147483648", -1}, {"12abc", -1}, {"", -1}, {"--3", -1}, {"1.5", -1}, {"0x", -1},
    };
    for (const tcase& c : cases) {
        home.write("prefs.cfg", std::string("[n]\nv=") + c.text + "\n");
        EXPECT_EQ(read_int("n", "v", -1), c.expected) << c.text;
    }
    for (const char* not_finite : {"inf", "nan", "1e999"}) {
        home.write("prefs.cfg", std::string("[n]\nv=") + not_finite + "\n");
        EXPECT_EQ(read_float("n", "v", 3.0), 3.0) << not_finite;
    }
}

TEST(Preferences, UnwritableFileWarnsOnceWithTheLowerCasedPath)
{
    tsettings_home home("Prefs_Home");
    std::vector<std::pair<std::string, std::string>> shown;
    set_settings_failure_handler([&](const std::string& title, const std::string& text) { shown.emplace_back(title, text); });
    reset_settings_failure_report();

    write_int("jpeg", "quality", 50);
    std::filesystem::permissions(home.file("prefs.cfg"), std::filesystem::perms::owner_read |
                                                           std::filesystem::perms::group_read |
                                                           std::filesystem::perms::others_read);
    EXPECT_FALSE(write_int("jpeg", "quality", 60));
    EXPECT_FALSE(write_int("jpeg", "quality", 70));
    EXPECT_EQ(read_int("jpeg", "quality", 0), 50);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "Warning");
    EXPECT_EQ(shown[0].second,
              "Unable to save your prefered settings: cant't write to \"" + ascii_lower(home.file("prefs.cfg")) + "\".");
    EXPECT_NE(shown[0].second.find("prefs_home"), std::string::npos);

    set_settings_failure_handler(nullptr);
    reset_settings_failure_report();
}

class RecentFiles : public ::testing::Test {
protected:
    void SetUp() override { init_recent_files(); }
    tsettings_home home;
};

TEST_F(RecentFiles, FillInOrderThenWrapToTheFirstSlot)
{
    for (int index = 0; index < 9; ++index)
        add_recent_file("/pictures/p" + std::to_string(index) + ".vlm");
    EXPECT_EQ(read_string("recent", "0", ""), "/pictures/p8.vlm");
    EXPECT_EQ(read_string("recent", "1", ""), "/pictures/p1.vlm");
    EXPECT_EQ(read_string("recent", "7", ""), "/pictures/p7.vlm");
    EXPECT_EQ(next_recent_slot(), 1);
}

TEST_F(RecentFiles, ReopeningAListedFileChangesNothing)
{
    add_recent_file("/pictures/Cat.png");
    add_recent_file("/pictures/dog.png");
    const std::string before = home.read("prefs.cfg");
    add_recent_file("/PICTURES/cat.PNG");
    EXPECT_EQ(home.read("prefs.cfg"), before);
    EXPECT_EQ(next_recent_slot(), 2);
}

TEST_F(RecentFiles, NextSlotAtStartUpCountsConsecutiveKeys)
{
    struct tcase {
        const char* file;
        int expected;
    };
    const tcase cases[] = {
        {"", 0},
        {"[recent]\n0=/a\n1=/b\n2=/c\n4=/e\n", 3},
        {"[recent]\n1=/b\n", 0},
        {"[recent]\n0=/a\n1=\n2=/c\n", 1},
        {"[recent]\n0=a\n1=b\n2=c\n3=d\n4=e\n5=f\n6=g\n7=h\n", 0},
    };
    for (const tcase& c : cases) {
        home.write("prefs.cfg", c.file);
        init_recent_files();
        EXPECT_EQ(next_recent_slot(), c.expected) << c.file;
    }
}

TEST_F(RecentFiles, ReopenMenuListsNonEmptyKeysInKeyOrder)
{
    home.write("prefs.cfg", "[recent]\n3=/d.png\n0=/a.vlm\n1=\n7=/h b.jpg\n");
    const auto files = list_recent_files();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].caption, "&1 /a.vlm");
    EXPECT_EQ(files[1].caption, "&4 /d.png");
    EXPECT_EQ(files[2].caption, "&8 /h b.jpg");
    EXPECT_EQ(files[2].path, "/h b.jpg");
    EXPECT_EQ(files[2].slot, 7);
}

} // namespace
} // namespace velmora
