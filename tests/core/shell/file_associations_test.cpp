#include "shell/file_associations.h"

#include "settings_home.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace velmora {
namespace {

// Points the freedesktop folders into a temporary home.
class FileAssociations : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("XDG_CONFIG_HOME", (home.folder() + "/config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home.folder() + "/data").c_str(), 1);
        std::filesystem::create_directories(home.folder() + "/config");
    }
    void TearDown() override
    {
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("XDG_DATA_HOME");
    }
    void write_list(const std::string& content) { home.write("config/mimeapps.list", content); }
    std::string list() const { return home.read("config/mimeapps.list"); }

    testing::tsettings_home home;
};

TEST(AssociationRows, FourteenRowsWithAKnownTypeForEveryExtension)
{
    const auto& rows = association_rows();
    ASSERT_EQ(rows.size(), 14u);
    EXPECT_EQ(rows[6].caption, "TGA/VST/ICB/VDA/WIN");
    EXPECT_EQ(rows[9].extensions.front(), "pcx");
    for (const auto& row : rows)
        for (const auto& extension : row.extensions)
            EXPECT_FALSE(mime_type_of_extension(extension).empty()) << extension;
    EXPECT_EQ(mime_type_of_extension("JPEG"), "image/jpeg");
}

TEST_F(FileAssociations, RowIsCheckedWhenAnyOfItsExtensionsNamesUs)
{
    EXPECT_FALSE(has_file_association(3));
    write_list("[Added Associations]\nimage/png=velmora.desktop;\n"
               "[Default Applications]\nimage/jpeg=other.desktop;Velmora.Desktop;\nimage/rle=velmora.desktop;\n"
               "image/gif=notvelmora.desktop;\n");
    EXPECT_TRUE(has_file_association(3));  // JPG/JPEG, any position in the list
    EXPECT_TRUE(has_file_association(5));  // BMP/RLE/DIB through its second extension
    EXPECT_FALSE(has_file_association(4)); // a name that only contains ours
    EXPECT_FALSE(has_file_association(8)); // only in another section
    EXPECT_FALSE(has_file_association(99));
}

TEST_F(FileAssociations, CheckingMakesUsTheDefaultAndKeepsTheUsersOtherChoices)
{
    write_list("[Default Applications]\nimage/png=gimp.desktop;\ntext/plain=editor.desktop;\n");
    ASSERT_TRUE(set_file_association(8, true, "/opt/my apps/velmora"));
    EXPECT_TRUE(has_file_association(8));
    EXPECT_EQ(list(), "[Default Applications]\nimage/png=velmora.desktop;gimp.desktop;\ntext/plain=editor.desktop;\n");

    const std::string entry = home.read("data/applications/velmora.desktop");
    EXPECT_NE(entry.find("Exec=\"/opt/my apps/velmora\" %F\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("image/png;"), std::string::npos);
    EXPECT_NE(home.read("data/mime/packages/velmora.xml").find("<glob pattern=\"*.vlm\"/>"), std::string::npos);

    // Checking twice does not list us twice.
    ASSERT_TRUE(set_file_association(8, true, "/opt/my apps/velmora"));
    EXPECT_NE(list().find("image/png=velmora.desktop;gimp.desktop;\n"), std::string::npos);
}

TEST_F(FileAssociations, UncheckingRemovesOnlyOurName)
{
    write_list("[Default Applications]\nimage/png=gimp.desktop;velmora.desktop;\nimage/gif=velmora.desktop;\n"
               "image/jpeg=viewer.desktop;\n");
    ASSERT_TRUE(set_file_association(8, false, "/usr/bin/velmora"));
    ASSERT_TRUE(set_file_association(4, false, "/usr/bin/velmora"));
    ASSERT_TRUE(set_file_association(3, false, "/usr/bin/velmora"));
    EXPECT_EQ(list(), "[Default Applications]\nimage/png=gimp.desktop;\nimage/jpeg=viewer.desktop;\n");
    EXPECT_FALSE(has_file_association(8));
}

TEST_F(FileAssociations, FirstAssociationCreatesTheList)
{
    ASSERT_TRUE(set_file_association(0, true, "/usr/bin/velmora"));
    EXPECT_EQ(list(), "[Default Applications]\napplication/x-velmora=velmora.desktop;\n");
    EXPECT_TRUE(has_file_association(0));
    EXPECT_FALSE(set_file_association(14, true, "/usr/bin/velmora"));
}

TEST(DesktopEntry, ExecQuotesSpecialCharacters)
{
    testing::tsettings_home home;
    ::setenv("XDG_DATA_HOME", home.folder().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", home.folder().c_str(), 1);
    ASSERT_TRUE(set_file_association(1, true, "/a \"b\"/$c\\d"));
    EXPECT_NE(home.read("applications/velmora.desktop").find("Exec=\"/a \\\\\"b\\\\\"/\\\\$c\\\\\\\\d\" %F"),
              std::string::npos)
        << home.read("applications/velmora.desktop");
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("XDG_CONFIG_HOME");
}

} // namespace
} // namespace velmora
