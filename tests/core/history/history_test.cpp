#include "history/history.h"

#include "document/error.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

namespace fs = std::filesystem;

// A parent folder of our own per test, so the private folders can be counted.
class history_test : public ::testing::Test {
protected:
    history_test()
    {
        std::string pattern = (fs::temp_directory_path() / "velmora-history-test-XXXXXX").string();
        parent_ = ::mkdtemp(pattern.data());
        folder_ = std::make_unique<ttemp_folder>(parent_);
    }
    ~history_test() override
    {
        folder_.reset();
        std::error_code ignored;
        fs::remove_all(parent_, ignored);
    }

    static tdocument document(std::int32_t w = 4, std::int32_t h = 3)
    {
        tdocument doc = create_document("doc");
        add_background(doc, w, h, 0x000000, "Background");
        return doc;
    }

    // A visible change: paints the background's first pixel.
    static void paint(tdocument& doc, std::uint8_t value) { doc.layers[0]->bitmap.pixel(0, 0)[red_byte] = value; }
    static int painted(const tdocument& doc) { return doc.layers[0]->bitmap.pixel(0, 0)[red_byte]; }

    fs::path parent_;
    std::unique_ptr<ttemp_folder> folder_;
    tundo_settings settings_;
};

TEST_F(history_test, new_change_after_undos_drops_the_redo_tail_and_its_files)
{
    tdocument doc = document();
    thistory history(*folder_);
    history.record_action(doc, "Initial State", settings_);
    EXPECT_EQ(history.position(), 0);
    EXPECT_FALSE(history.can_undo(doc));
    for (std::uint8_t i = 1; i <= 3; ++i) {
        paint(doc, i);
        history.record_action(doc, "change " + std::to_string(i), settings_);
    }
    EXPECT_EQ(fs::path(history.entries()[0].file).filename(), "tmp1");
    history.undo_action(doc);
    history.undo_action(doc);
    EXPECT_EQ(painted(doc), 1);
    EXPECT_TRUE(history.can_redo(doc));
    const std::string dropped2 = history.entries()[2].file;
    const std::string dropped3 = history.entries()[3].file;

    paint(doc, 9);
    history.record_action(doc, "new", settings_);
    ASSERT_EQ(history.entries().size(), 3u);
    EXPECT_EQ(history.entries()[1].name, "change 1");
    EXPECT_EQ(history.entries()[2].name, "new");
    EXPECT_EQ(history.position(), 2);
    EXPECT_FALSE(fs::exists(dropped2));
    EXPECT_FALSE(fs::exists(dropped3));
    EXPECT_FALSE(history.can_redo(doc));

    history.go_to_entry(doc, 0);
    EXPECT_EQ(painted(doc), 0);
    history.redo_action(doc);
    EXPECT_EQ(painted(doc), 1);
    history.go_to_entry(doc, 2);
    EXPECT_EQ(painted(doc), 9);
}

TEST_F(history_test, settings_decide_what_is_recorded_and_modified_is_always_set)
{
    struct tcase {
        const char* what;
        tundo_settings settings;
        std::int32_t w, h;
        std::size_t recorded; // of five recordings
    } cases[] = {
        {"defaults", {}, 4, 3, 5},
        {"disabled", {true, true, false, 10}, 4, 3, 0},
        {"cap of 3", {false, true, true, 3}, 4, 3, 3},
        {"2000 x 2000 is not big", {}, 2000, 2000, 5},
        {"2001 x 2000 is big", {}, 2001, 2000, 0},
        {"big images allowed", {false, false, false, 10}, 2001, 2000, 5},
    };
    for (const tcase& c : cases) {
        SCOPED_TRACE(c.what);
        tdocument doc = document(c.w, c.h);
        thistory history(*folder_);
        for (int i = 0; i < 5; ++i) {
            doc.modified = 0;
            history.record_action(doc, "step", c.settings);
            EXPECT_EQ(doc.modified, 1);
        }
        EXPECT_EQ(history.entries().size(), c.recorded);
    }
}

TEST_F(history_test, undo_restores_size_and_keeps_the_current_layer)
{
    tdocument doc = document(6, 5);
    add_layer(doc, Tfbitmap(2, 2), "one", 255, 0, 0, normal);
    add_layer(doc, Tfbitmap(2, 2), "two", 255, 0, 0, normal);
    thistory history(*folder_);
    history.record_action(doc, "Initial State", settings_);

    doc.layers[0]->bitmap = Tfbitmap(3, 2); // a crop
    make_opaque(doc.layers[0]->bitmap);
    history.record_action(doc, "Crop", settings_);

    set_current_layer(doc, 1);
    const thistory_change change = history.undo_action(doc);
    EXPECT_TRUE(change.size_changed);
    EXPECT_EQ(doc.width(), 6);
    EXPECT_EQ(doc.height(), 5);
    EXPECT_EQ(doc.current_layer, 1); // kept, although the snapshot says 2
    EXPECT_EQ(doc.layers[1]->selected, 1);
    EXPECT_EQ(doc.layers[2]->selected, 0);

    EXPECT_TRUE(history.redo_action(doc).size_changed);
    EXPECT_EQ(doc.width(), 3);
    EXPECT_EQ(doc.current_layer, 1);
    EXPECT_FALSE(history.go_to_entry(doc, 1).size_changed);

    // A layer index that no longer exists falls back to the snapshot's.
    history.clear_history();
    tdocument small = document();
    history.record_action(small, "Initial State", settings_);
    add_layer(small, Tfbitmap(1, 1), "extra", 255, 0, 0, normal);
    history.record_action(small, "New layer", settings_);
    history.undo_action(small);
    EXPECT_EQ(small.layers.size(), 1u);
    EXPECT_EQ(small.current_layer, 0);
}

TEST_F(history_test, missing_snapshot_leaves_document_and_position_alone)
{
    tdocument doc = document();
    thistory history(*folder_);
    history.record_action(doc, "Initial State", settings_);
    paint(doc, 5);
    history.record_action(doc, "paint", settings_);
    fs::remove(history.entries()[0].file);

    const tcalque* layer = doc.layers[0].get();
    try {
        history.undo_action(doc);
        ADD_FAILURE() << "undo of a missing snapshot succeeded";
    } catch (const velmora_error& error) {
        EXPECT_EQ(error.key(), "@ch_read_error");
    }
    EXPECT_EQ(history.position(), 1);
    EXPECT_EQ(doc.layers[0].get(), layer);
    EXPECT_EQ(painted(doc), 5);
    EXPECT_THROW(history.go_to_entry(doc, 7), velmora_error);
}

TEST_F(history_test, blocked_undo_and_redo)
{
    tdocument doc = document();
    thistory history(*folder_);
    EXPECT_FALSE(history.can_redo(doc)); // empty history
    history.record_action(doc, "Initial State", settings_);
    history.record_action(doc, "a", settings_);
    EXPECT_TRUE(history.can_undo(doc));
    EXPECT_FALSE(history.can_undo(doc, true)); // text tool window open
    doc.transform_pending = 1;
    EXPECT_FALSE(history.can_undo(doc));
}

TEST_F(history_test, snapshots_go_when_history_clears_or_closes_and_the_folder_at_exit)
{
    tdocument doc = document();
    std::vector<std::string> files;
    {
        thistory history(*folder_);
        history.record_action(doc, "Initial State", settings_);
        history.record_action(doc, "a", settings_);
        files = {history.entries()[0].file, history.entries()[1].file};
        history.clear_history();
        EXPECT_EQ(history.position(), -1);
        EXPECT_FALSE(fs::exists(files[0]));
        EXPECT_FALSE(fs::exists(files[1]));
        history.record_action(doc, "again", settings_);
        files.push_back(history.entries()[0].file);
        EXPECT_EQ(fs::path(files.back()).filename(), "tmp3"); // the counter runs on
    }
    EXPECT_FALSE(fs::exists(files.back()));

    struct stat info {};
    ASSERT_EQ(::stat(folder_->path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    const fs::path path = folder_->path();
    folder_.reset();
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(history_test, snapshot_background_is_read_from_the_file)
{
    tdocument doc = document();
    paint(doc, 77);
    add_layer(doc, Tfbitmap(1, 1), "top", 255, 0, 0, normal);
    thistory history(*folder_);
    history.record_action(doc, "Initial State", settings_);
    Tfbitmap background;
    read_snapshot_background(background, history.entries()[0].file);
    EXPECT_EQ(background.width(), 4);
    EXPECT_EQ(background.pixel(0, 0)[red_byte], 77);
    EXPECT_EQ(background.pixel(0, 0)[alpha_byte], 255);
}

TEST_F(history_test, folders_of_dead_runs_are_removed_and_live_ones_kept)
{
    // A run that dies without cleaning up.
    const pid_t child = ::fork();
    if (child == 0) {
        ttemp_folder dying(parent_);
        ::close(::creat(dying.next_snapshot_name().c_str(), 0600));
        ::_exit(0); // no destructors run, as when the run is killed
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(status, 0);
    fs::create_directory(parent_ / "velmora-run-someone-else"); // not our pattern: left alone
    std::size_t folders = 0;
    for (const auto& entry : fs::directory_iterator(parent_))
        folders += entry.is_directory();
    ASSERT_EQ(folders, 3u);

    EXPECT_EQ(remove_stale_temp_folders(parent_), 1u);
    EXPECT_TRUE(fs::exists(folder_->path()));
    EXPECT_TRUE(fs::exists(parent_ / "velmora-run-someone-else"));
    EXPECT_EQ(remove_stale_temp_folders(parent_), 0u);
}

} // namespace
} // namespace velmora
