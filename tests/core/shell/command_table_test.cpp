#include "shell/catalogue.h"
#include "shell/command_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace velmora {
namespace {

TEST(CommandTable, EveryEntryHasACaptionAndParentsComeFirst)
{
    const twindow_table* captions = window_table("Form1");
    ASSERT_NE(captions, nullptr);
    std::set<std::string_view> seen, handlers;
    for (const tcommand& command : command_table()) {
        EXPECT_TRUE(command.parent.empty() || seen.count(command.parent)) << command.component;
        EXPECT_TRUE(seen.insert(command.component).second) << "twice: " << command.component;
        if (!command.handler.empty()) {
            EXPECT_TRUE(handlers.insert(command.handler).second) << "twice: " << command.handler;
        }
        bool has_caption = false;
        for (const auto& row : captions->rows())
            has_caption |= row.component == command.component;
        EXPECT_TRUE(has_caption) << command.component;
    }
    EXPECT_EQ(find_command("Quittr1Click")->shortcut, "Ctrl+Q");
    EXPECT_EQ(find_command("mergedownClick")->shortcut, "Ctrl+E");
    EXPECT_EQ(find_command("NoSuchClick"), nullptr);
}

TEST(CommandTable, RulesFollowTheDocumentState)
{
    const tcommand_state none;
    tcommand_state one;
    one.image_windows = 1;
    one.layer_count = 1;
    tcommand_state two = one;
    two.image_windows = 2;
    tcommand_state upper = one;
    upper.layer_count = 2;
    upper.current_layer = 1;
    tcommand_state masked = upper;
    masked.current_layer_has_mask = true;
    masked.mask_editing = true;
    tcommand_state edge = one;
    edge.zoom_index = 21;

    const struct {
        tcommand_rule rule;
        const tcommand_state& state;
        bool allowed;
    } cases[] = {
        {tcommand_rule::always, none, true},
        {tcommand_rule::image, none, false},
        {tcommand_rule::image, one, true},
        {tcommand_rule::several_images, one, false},
        {tcommand_rule::several_images, two, true},
        {tcommand_rule::modified, one, false},
        {tcommand_rule::selection, one, false},
        {tcommand_rule::several_layers, one, false},
        {tcommand_rule::several_layers, upper, true},
        {tcommand_rule::upper_layer, one, false},
        {tcommand_rule::upper_layer, upper, true},
        {tcommand_rule::upper_layer_without_mask, upper, true},
        {tcommand_rule::upper_layer_without_mask, masked, false},
        {tcommand_rule::upper_layer_with_mask, masked, true},
        {tcommand_rule::not_mask_editing, masked, false},
        {tcommand_rule::not_mask_editing, upper, true},
        {tcommand_rule::zoom_in, one, true},
        {tcommand_rule::zoom_in, edge, false},
        {tcommand_rule::zoom_out, edge, true},
        {tcommand_rule::zoom_out, none, false},
        {tcommand_rule::can_undo, one, false},
        {tcommand_rule::several_history_entries, one, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(command_allowed(c.rule, c.state), c.allowed) << int(c.rule);
}

} // namespace
} // namespace velmora
