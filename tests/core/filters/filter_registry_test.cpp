#include "filters/filter_registry.h"

#include "document/error.h"
#include "filters/filter_framework.h"
#include "shell/catalogue.h"
#include "shell/command_table.h"
#include "../shell/settings_home.h"
#include "filter_test_support.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace test;

// A snapshot of a layer's pixels by document position.
struct tplaced {
    Tfbitmap pixels;
    std::int32_t left;
    std::int32_t top;
    const std::uint8_t* at(std::int32_t x, std::int32_t y) const
    {
        x -= left;
        y -= top;
        if (x < 0 || y < 0 || x >= pixels.width() || y >= pixels.height())
            return nullptr;
        return pixels.pixel(x, y);
    }
};

tplaced placed(const tcalque& layer)
{
    return {layer.bitmap, layer.left, layer.top};
}

TEST(FilterRegistry, EveryEntryHasAMenuHandlerAndLabel)
{
    for (const tfilter& filter : filter_registry()) {
        EXPECT_NE(find_command(filter.handler), nullptr) << filter.name;
        EXPECT_TRUE(chaines().contains(filter.label_key)) << filter.label_key;
        EXPECT_EQ(find_filter(filter.name), &filter);
        EXPECT_EQ(find_filter(filter.handler), &filter);
        for (const tfilter_param& param : filter.params)
            if (param.kind != tparam_kind::text) {
                EXPECT_TRUE(param.default_value >= param.minimum && param.default_value <= param.maximum)
                    << filter.name << ' ' << param.key;
            }
    }
    EXPECT_NE(describe_filters().find("gaussian-blur"), std::string::npos);
}

// Every filter with its defaults, on a layer or its mask, with and without a
// selection and with preserve transparency on and off: the rules every filter
// keeps whatever it computes.
TEST(FilterRegistry, EveryFilterKeepsTheSharedRules)
{
    for (const tfilter& filter : filter_registry())
        for (const bool on_mask : {false, true})
            for (const bool with_selection : {false, true})
                for (const bool preserve : {false, true}) {
                    SCOPED_TRACE(std::string(filter.name) + (on_mask ? " mask" : "") +
                                 (with_selection ? " selection" : "") + (preserve ? " preserve" : ""));
                    tdocument doc = two_layer_document(3, 2, 81);
                    tcalque& layer = doc.current_layer_record();
                    layer.bitmap.pixel(0, 0)[alpha_byte] = 255; // something under any selection
                    layer.mask = std::make_unique<tcalque>();
                    layer.mask->bitmap = random_bitmap(13, 11, 82);
                    layer.mask->left = 3;
                    layer.mask->top = 2;
                    layer.mask_enabled = 1;
                    doc.mask_editing = on_mask;
                    if (with_selection) {
                        doc.selection = random_selection(1, 1, 12, 9, 83);
                        doc.selection.mask.pixel(2, 1)[red_byte] = 255; // covers layer pixel (0, 0)
                        doc.has_selection = 1;
                    }
                    tcalque& target = filter_layer(doc, filter);
                    target.preserve_transparency = preserve;
                    const tplaced layer_before = placed(layer);
                    const tplaced mask_before = placed(*layer.mask);
                    const tplaced background_before = placed(*doc.layers[0]);
                    const tplaced before = placed(target);

                    run_filter(doc, filter, default_values(filter));

                    const tplaced after = placed(target);
                    EXPECT_TRUE(same_pixels(doc.layers[0]->bitmap, background_before.pixels));
                    const tplaced& other_before = &target == &layer ? mask_before : layer_before;
                    const tcalque& other = &target == &layer ? *layer.mask : layer;
                    EXPECT_TRUE(same_pixels(other.bitmap, other_before.pixels));
                    EXPECT_EQ(other.left, other_before.left);
                    if (!filter.moves_layer) {
                        EXPECT_EQ(after.pixels.width(), before.pixels.width());
                        EXPECT_EQ(after.left, before.left);
                    }
                    const bool limited = filter.name != "remove-grey-levels";
                    for (std::int32_t y = 0; y < before.pixels.height(); ++y)
                        for (std::int32_t x = 0; x < before.pixels.width(); ++x) {
                            const std::uint8_t* old_pixel = before.pixels.pixel(x, y);
                            const std::uint8_t* new_pixel = after.at(x + before.left, y + before.top);
                            ASSERT_NE(new_pixel, nullptr);
                            if (preserve) {
                                ASSERT_EQ(new_pixel[alpha_byte], old_pixel[alpha_byte]) << x << ',' << y;
                            }
                            if (with_selection && limited &&
                                selection_coverage(doc.selection, x + before.left, y + before.top) == 0) {
                                for (int k = 0; k < 4; ++k)
                                    ASSERT_EQ(new_pixel[k], old_pixel[k]) << x << ',' << y;
                            }
                        }
                }
}

TEST(FilterRegistry, ValuesFromTextAreChecked)
{
    const tfilter& gaussian = *find_filter("gaussian-blur");
    tfilter_values values = default_values(gaussian);
    set_value(gaussian, values, "sigma", "2.5");
    EXPECT_EQ(values.number("sigma"), 2.5);
    struct tcase {
        const tfilter* filter;
        const char* key;
        const char* text;
    };
    const tcase refused[] = {
        {&gaussian, "radius", "3"},  {&gaussian, "sigma", "0.5"}, {&gaussian, "sigma", "100.5"},
        {&gaussian, "sigma", "two"}, {&gaussian, "sigma", ""},     {&gaussian, "sigma", "3x"},
        {find_filter("zoom-blur"), "speed", "2.5"},                {find_filter("invert"), "any", "1"},
    };
    for (const tcase& c : refused) {
        tfilter_values v = default_values(*c.filter);
        const tfilter_values unchanged = v;
        EXPECT_THROW(set_value(*c.filter, v, c.key, c.text), velmora_error) << c.key << '=' << c.text;
        EXPECT_EQ(v.numbers, unchanged.numbers);
    }
    tdocument doc = create_document("t");
    add_background(doc, 3, 3, 0, "bg");
    const Tfbitmap before = doc.layers[0]->bitmap;
    for (const char* step : {"custom-convolution:size=5,kernel=0/-1/0/-1/5/-1/0/-1/0", "custom-convolution:size=4",
                             "custom-convolution:kernel=1/2/3"})
        EXPECT_THROW(run_filter_step(doc, parse_apply_step(step)), velmora_error) << step;
    EXPECT_TRUE(same_pixels(doc.layers[0]->bitmap, before));
}

TEST(FilterRegistry, StepsRunWithTheirValues)
{
    tdocument doc = create_document("t");
    add_background(doc, random_bitmap(5, 4, 91), "bg");
    EXPECT_FALSE(run_filter_step(doc, parse_apply_step("select-all")));
    EXPECT_TRUE(run_filter_step(doc, parse_apply_step("brightness-contrast:contrast=0,brightness=7")));
    EXPECT_TRUE(same_pixels(doc.layers[0]->bitmap, uniform_bitmap(5, 4, 7)));
    // Weights 1.5 and -0.5 (divided by the sum 2); the corner loses the -0.5 cell.
    EXPECT_TRUE(run_filter_step(doc, parse_apply_step("custom-convolution:size=3,kernel=0/0/0/0/3/0/0/0/-1")));
    EXPECT_EQ(doc.layers[0]->bitmap.pixel(1, 1)[0], 7);
    EXPECT_EQ(doc.layers[0]->bitmap.pixel(4, 3)[0], 10); // 10.5 to even
    EXPECT_TRUE(run_filter_step(doc, parse_apply_step("invert")));
    EXPECT_EQ(doc.layers[0]->bitmap.pixel(4, 3)[0], 245);
    EXPECT_THROW(run_filter_step(doc, parse_apply_step("invert:x")), velmora_error);
}

TEST(FilterRegistry, KernelTextRoundTripsThroughTheGrid)
{
    tcustom_convolution_settings settings;
    EXPECT_EQ(kernel_text(settings), "//////1/2/1///2/4/2///1/2/1//////");
    settings.kernel_size = kernel_size_3;
    EXPECT_EQ(kernel_text(settings), "1/2/1/2/4/2/1/2/1");
    const tcustom_convolution_settings back = kernel_from_text("1/2/3/4/5/6/7/8/9", 3);
    EXPECT_EQ(back.cells[6], "1");  // Edit7: column 1, row 1
    EXPECT_EQ(back.cells[11], "2"); // Edit12: column 2, row 1
    EXPECT_EQ(back.cells[7], "4");  // Edit8: column 1, row 2
    EXPECT_EQ(kernel_text(back), "1/2/3/4/5/6/7/8/9");
}

TEST(FilterSession, CancelRestoresPixelsAndPositionAfterPreviews)
{
    tdocument doc = two_layer_document(5, -2, 101);
    tcalque& layer = doc.current_layer_record();
    const tplaced before = placed(layer);
    const tfilter& gaussian = *find_filter("gaussian-blur");
    {
        tfilter_session session(doc, gaussian);
        tfilter_values values = default_values(gaussian);
        session.preview(values);
        session.preview(values); // growth does not pile up
        EXPECT_EQ(layer.bitmap.width(), 13 + 2 * 3);
        EXPECT_EQ(layer.left, 5 - 3);
        set_value(gaussian, values, "sigma", "4");
        session.preview(values);
        EXPECT_EQ(layer.left, 5 - 5);
        session.cancel();
        EXPECT_FALSE(session.open());
    }
    EXPECT_TRUE(same_pixels(layer.bitmap, before.pixels));
    EXPECT_EQ(layer.left, 5);
    EXPECT_EQ(layer.top, -2);

    // Closed without a decision: the same as Cancel.
    {
        tfilter_session session(doc, *find_filter("motion-blur"));
        session.preview(default_values(session.filter()));
        EXPECT_NE(layer.left, 5);
    }
    EXPECT_TRUE(same_pixels(layer.bitmap, before.pixels));
    EXPECT_EQ(layer.left, 5);
}

TEST(FilterSession, CommitKeepsTheLastPreviewOrComputesOnce)
{
    tdocument doc = two_layer_document(0, 0, 111);
    tcalque& layer = doc.current_layer_record();
    const Tfbitmap before = layer.bitmap;
    const tfilter& invert = *find_filter("invert");
    std::string label;
    {
        tfilter_session session(doc, invert);
        session.preview(default_values(invert));
        label = session.commit(default_values(invert), false);
    }
    EXPECT_EQ(label, "Invert");
    EXPECT_EQ(layer.bitmap.pixel(2, 2)[1], 255 - before.pixel(2, 2)[1]);
    {
        tfilter_session session(doc, invert); // OK with Preview unticked
        session.commit(default_values(invert), true);
    }
    EXPECT_TRUE(same_pixels(layer.bitmap, before));
}

TEST(FilterSession, SelectionOverTransparentPixelsIsRefused)
{
    tdocument doc = create_document("t");
    add_background(doc, 20, 20, 0x00808080, "bg");
    add_layer(doc, uniform_bitmap(10, 10, 9, 0), "clear", 255, 0, 0, normal);
    doc.layers[1]->bitmap.pixel(9, 9)[alpha_byte] = 255;
    doc.selection.mask = uniform_bitmap(5, 5, 255);
    doc.has_selection = 1;
    const Tfbitmap before = doc.layers[1]->bitmap;
    for (const char* name : {"gaussian-blur", "soften"}) {
        const tfilter& filter = *find_filter(name);
        try {
            tfilter_session session(doc, filter);
            ADD_FAILURE() << name << " opened";
        } catch (const velmora_error& error) {
            EXPECT_EQ(error.key(), "@ch_empty_selection");
        }
        EXPECT_THROW(run_filter(doc, filter, default_values(filter)), velmora_error);
        EXPECT_TRUE(same_pixels(doc.layers[1]->bitmap, before));
    }
    doc.selection.left = 7;
    doc.selection.top = 7;
    run_filter(doc, *find_filter("soften"), {});
    EXPECT_FALSE(same_pixels(doc.layers[1]->bitmap, before));
}

TEST(FilterRegistry, DialogValuesComeBackFromThePreferences)
{
    testing::tsettings_home home;
    const tfilter& motion = *find_filter("motion-blur");
    EXPECT_EQ(stored_values(motion).integer("speed"), 10);
    tfilter_values values = default_values(motion);
    set_value(motion, values, "angle", "-45");
    set_value(motion, values, "speed", "33");
    store_values(motion, values);
    EXPECT_NE(home.read("prefs.cfg").find("[motion blur]"), std::string::npos);
    EXPECT_EQ(stored_values(motion).numbers, values.numbers);

    tcustom_convolution_settings settings = read_custom_convolution_settings();
    EXPECT_EQ(settings.kernel_size, kernel_size_5);
    EXPECT_EQ(settings.cells[12], "4");
    settings.kernel_size = kernel_size_3;
    settings.cells[12] = "-8";
    store_custom_convolution_settings(settings);
    EXPECT_EQ(read_custom_convolution_settings().cells[12], "-8");
    EXPECT_EQ(read_custom_convolution_settings().kernel_size, kernel_size_3);
}

} // namespace
} // namespace velmora
