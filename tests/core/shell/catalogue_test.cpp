#include "shell/catalogue.h"
#include "shell/embedded_data.h"
#include "shell/preferences.h"

#include "settings_home.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace velmora {
namespace {

// Every test leaves the interface in English, as a new run starts.
class CatalogueTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        chaines().set_active_language(language_english);
        tips().set_active_language(language_english);
    }
};

TEST_F(CatalogueTest, LookupRules)
{
    struct tcase {
        std::uint8_t active;
        const char* key;
        unsigned language;
        const char* expected;
    };
    const tcase cases[] = {
        {language_english, "@ch_warning", active_language_index, "Warning"},
        {language_english, "@CH_WARNING", active_language_index, "Warning"},
        {language_english, "@Ch_Warning", 1, "Avertissement"},
        {language_french, "@ch_warning", active_language_index, "Avertissement"},
        {language_french, "@ch_warning", 0, "Warning"},
        {language_french, "@ch_warning", 5, "Avertissement"},
        {language_english, "@ch_warning", 2, "Warning"},
        {language_english, "@CH_Not_There", 0, "@ch_not_there"},
        {language_french, "Plain Words", 1, "plain words"},
        {language_english, "", 0, ""},
    };
    for (const tcase& c : cases) {
        chaines().set_active_language(c.active);
        EXPECT_EQ(translate(c.key, c.language), c.expected) << c.key << " in " << c.language;
    }
}

TEST(CatalogueRows, FirstMatchWinsAndFallbackOnlyWhereEnabled)
{
    const std::vector<tcatalogue::trow> rows = {
        {"@ch_twice", {"first", "premier"}},
        {"@CH_TWICE", {"second", "second"}},
        {"@ch_untranslated", {"English only", ""}},
    };
    const tcatalogue with_fallback(rows, true);
    const tcatalogue without_fallback(rows, false);
    EXPECT_EQ(with_fallback.lookup("@ch_twice", 1), "premier");
    EXPECT_EQ(with_fallback.lookup("@ch_untranslated", 1), "English only");
    EXPECT_EQ(without_fallback.lookup("@ch_untranslated", 1), "");
}

TEST(CatalogueRows, SetActiveLanguageOutOfRangeKeepsADefinedLanguage)
{
    tcatalogue catalogue({{"@k", {"en", "fr"}}}, true);
    catalogue.set_active_language(7);
    EXPECT_EQ(catalogue.active_language(), default_language);
    EXPECT_EQ(catalogue.lookup("@k", 9), "en");
}

TEST(CatalogueRows, ParserSkipsHeaderBlankAndShortLinesAndKeepsSpaces)
{
    const auto rows = parse_catalogue_table("key\tenglish\tfrench\r\n@a\t at \t à \r\n\n@short\tonly\n@b\t\tvide\n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text[0], " at ");
    EXPECT_EQ(rows[0].text[1], " à ");
    EXPECT_EQ(rows[1].key, "@b");
    EXPECT_EQ(rows[1].text[0], "");
}

TEST(CatalogueData, CompiledTablesMatchTheDataFilesByteForByte)
{
    const std::pair<const char*, const std::string& (*)()> tables[] = {
        {"chaines.tsv", embedded::catalogue_chaines_tsv},
        {"tips.tsv", embedded::catalogue_tips_tsv},
        {"windows.tsv", embedded::catalogue_windows_tsv},
        {"donot.tsv", embedded::catalogue_donot_tsv},
    };
    for (const auto& [file, compiled] : tables) {
        std::ifstream in(std::string(VELMORA_TEST_DATA) + "/../../resources/catalogue/" + file, std::ios::binary);
        ASSERT_TRUE(in) << file;
        const std::string on_disk{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(compiled(), on_disk) << file;
    }
}

TEST(CatalogueData, MessageCatalogueHoldsEveryKeyInBothLanguages)
{
    const auto& rows = chaines().rows();
    std::set<std::string> keys;
    int lasso_rows = 0;
    for (const auto& row : rows) {
        EXPECT_EQ(row.key.rfind("@ch_", 0), 0u) << row.key;
        EXPECT_FALSE(row.text[language_english].empty()) << row.key;
        EXPECT_FALSE(row.text[language_french].empty()) << row.key;
        EXPECT_EQ(placeholders_of(row.text[language_english]), placeholders_of(row.text[language_french])) << row.key;
        keys.insert(ascii_lower(row.key));
        lasso_rows += row.key == "@ch_lasso_select";
    }
    EXPECT_EQ(keys.size(), 337u);
    EXPECT_EQ(rows.size(), 338u);
    EXPECT_EQ(lasso_rows, 2);
    EXPECT_EQ(rows.front().key, "@ch_initializing");
    for (int credit = 1; credit <= 5; ++credit)
        EXPECT_TRUE(chaines().contains("@ch_credits_" + std::to_string(credit)));
    EXPECT_TRUE(chaines().contains("@ch_gif89A"));
}

TEST(CatalogueData, QuotedEnglishTextsAreExact)
{
    struct tcase {
        const char* key;
        const char* english;
    };
    // Leading and trailing spaces matter: callers glue these to other texts.
    const tcase cases[] = {
        {"@ch_cant_save_prefs", "Unable to save your prefered settings: cant't write to \"%s\"."},
        {"@ch_layers_of", "Layers of "},
        {"@ch_copy_incomplet", " (copy"},
        {"@ch_a", " at "},
        {"@ch_octets", " bytes"},
        {"@ch_doigt", "Dodge Tool"},
        {"@ch_twirl_cw", "Twirl (CCW)"},
        {"@ch_custom_fonts", " - %s fonts - "},
        {"@ch_problem_with_psd_file", "An error occured while reading the layers of \"%s\".  The flattened image will be opened."},
        {"@ch_apply_transfo", "Apply transformation ? "},
    };
    for (const tcase& c : cases)
        EXPECT_EQ(translate(c.key, language_english), c.english);
}

TEST(CatalogueData, TipsHaveElevenRowsWithoutFallback)
{
    const auto& rows = tips().rows();
    ASSERT_EQ(rows.size(), 11u);
    for (std::size_t index = 0; index < rows.size(); ++index) {
        EXPECT_EQ(rows[index].key, "@tip" + std::to_string(index + 1));
        EXPECT_FALSE(rows[index].text[language_english].empty());
        EXPECT_FALSE(rows[index].text[language_french].empty());
    }
    EXPECT_EQ(translate_tip("@TIP2", 0), "You can double click on the main window to get the open dialog box (CTRL+O).");
    EXPECT_EQ(translate_tip("@tip12", 0), "@tip12");
}

TEST(Placeholders, FilledInOrder)
{
    struct tcase {
        const char* text;
        std::initializer_list<std::string_view> values;
        const char* expected;
    };
    const tcase cases[] = {
        {"%s recommends %s file format", {"Velmora", "PNG"}, "Velmora recommends PNG file format"},
        {"%d layer(s)", {"3"}, "3 layer(s)"},
        {"100%% of %5.1f", {"2.5"}, "100% of 2.5"},
        {"50% done", {}, "50% done"},
        {"missing %s and %s", {"one"}, "missing one and "},
        {"trailing %", {"x"}, "trailing %"},
    };
    for (const tcase& c : cases)
        EXPECT_EQ(fill_placeholders(c.text, c.values), c.expected) << c.text;
    EXPECT_EQ(placeholders_of("%s, %d and %%"), (std::vector<std::string>{"%s", "%d"}));
}

TEST(WindowTables, HintRowGoesToThePreviousComponent)
{
    const twindow_table* main = window_table("Form1");
    ASSERT_NE(main, nullptr);
    bool hint_found = false;
    for (const auto& t : main->translations(language_french)) {
        if (t.component != "ToolbarButton9711")
            continue;
        if (t.kind == twindow_table::target::hint) {
            EXPECT_EQ(t.text, "Supprimer le calque courant");
            hint_found = true;
        } else {
            EXPECT_EQ(t.text, "");
        }
    }
    EXPECT_TRUE(hint_found);
    const auto english = main->translations(language_english);
    const auto hint = std::find_if(english.begin(), english.end(), [](const auto& t) {
        return t.kind == twindow_table::target::hint && t.component == "ToolbarButton9711";
    });
    ASSERT_NE(hint, english.end());
    EXPECT_EQ(hint->text, "Delete the current layer");
}

TEST(WindowTables, FormCaptionDoNotAndEmptyTexts)
{
    const twindow_table table("TFormX",
                              {{"%Form%", {"Title", "Titre"}},
                               {".Hint", {"orphan", "orpheline"}},
                               {"Button1", {"Go", ""}},
                               {"Panel1", {"Tools", "Outils"}},
                               {".Hint", {"tools hint", "aide outils"}},
                               {"Label1", {"Name:", "Nom :"}}},
                              {"panel1"});
    const auto set = table.translations(language_french);
    ASSERT_EQ(set.size(), 3u);
    EXPECT_EQ(set[0].kind, twindow_table::target::window_caption);
    EXPECT_EQ(set[0].text, "Titre");
    EXPECT_EQ(set[1].component, "Button1");
    EXPECT_EQ(set[1].text, ""); // window tables have no fallback
    EXPECT_EQ(set[2].component, "Label1");
}

TEST(WindowTables, EveryTableTranslatesEveryRow)
{
    const auto names = window_table_names();
    EXPECT_NE(std::find(names.begin(), names.end(), "TForm14"), names.end());
    for (const auto& name : names) {
        const twindow_table* table = window_table(name);
        ASSERT_NE(table, nullptr);
        for (const auto& row : table->rows()) {
            EXPECT_EQ(row.text[0].empty(), row.text[1].empty()) << name << " " << row.component;
            EXPECT_EQ(placeholders_of(row.text[0]), placeholders_of(row.text[1])) << name << " " << row.component;
        }
    }
    EXPECT_TRUE(window_table("Form1")->is_donot("TB0"));
    EXPECT_EQ(window_table("NoSuchWindow"), nullptr);
}

TEST_F(CatalogueTest, SetLanguageRunsItsStepsInOrderAndIsStored)
{
    testing::tsettings_home home;
    std::vector<std::string> seen;
    tlanguage_steps steps;
    steps.progress = [&](int position) { seen.push_back(std::to_string(position)); };
    steps.apply_main_window = [&] {
        seen.push_back("main:" + translate("@ch_warning") + ":" + translate_tip("@tip2").substr(0, 2));
    };
    steps.refresh_image_windows = [&] { seen.push_back("images"); };
    steps.after_store = [&] { seen.push_back("stored:" + std::to_string(read_language())); };

    set_language(language_french, true, steps);
    EXPECT_EQ(seen, (std::vector<std::string>{"0", "20", "40", "main:Avertissement:Un", "images", "100", "stored:1"}));
    EXPECT_EQ(window_language(), language_french);
    EXPECT_EQ(home.read("language"), "1\n");

    seen.clear();
    set_language(language_english, false, steps);
    EXPECT_EQ(seen, (std::vector<std::string>{"main:Warning:Yo", "images", "stored:0"}));
    EXPECT_EQ(window_language(), language_english);
}

TEST(LanguageFile, UnreadableOrForeignValuesReadAsEnglish)
{
    testing::tsettings_home home;
    EXPECT_EQ(read_language(), language_english);
    const std::pair<std::string, std::uint8_t> cases[] = {
        {"1", language_french}, {" 1\r\n", language_french}, {"0\n", language_english},
        {"2", language_english}, {"-1", language_english}, {"1x", language_english},
        {"", language_english}, {std::string("\x01\xff", 2), language_english},
    };
    for (const auto& [content, expected] : cases) {
        home.write("language", content);
        EXPECT_EQ(read_language(), expected) << content;
    }
}

} // namespace
} // namespace velmora
