#include "settings_home.h"

#include "shell/new_image.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

const tsize_labels labels{"New Image", "Size: ", " Mb", " Kb", " bytes"};

TEST(NewImage, CaptionEstimatesThreeBytesAPixel)
{
    EXPECT_EQ(new_image_caption(640, 480, labels), "New Image (Size:  900 Kb)");
    EXPECT_EQ(new_image_caption(2000, 1000, labels), "New Image (Size:  5.7 Mb)");
    EXPECT_EQ(new_image_caption(10, 10, labels), "New Image (Size:  300 bytes)");
    EXPECT_EQ(new_image_caption(std::nullopt, 480, labels), "New Image");
}

TEST(NewImage, UnitsConvertToWholePixels)
{
    const double ppi = pixels_per_inch(118.11, tresolution_unit::per_centimetre);
    EXPECT_NEAR(ppi, 300, 0.001);
    EXPECT_EQ(pixel_size("2.54", tsize_unit::centimetres, 300), 300);
    EXPECT_EQ(pixel_size("1.5", tsize_unit::inches, 96), 144);
    EXPECT_EQ(pixel_size("640", tsize_unit::pixels, 96), 640);
    EXPECT_EQ(pixel_size("0.5", tsize_unit::pixels, 96), 0); // half to even
    EXPECT_EQ(length_text(300, tsize_unit::centimetres, 300), "2.54");
    EXPECT_EQ(length_text(144, tsize_unit::inches, 96), "1.50");
    EXPECT_EQ(length_text(143.5, tsize_unit::pixels, 96), "144");
}

TEST(NewImage, BadSizesAreRejected)
{
    for (const char* text : {"", "abc", "-5", "12x", "100001", "1e300", "nan"})
        EXPECT_FALSE(pixel_size(text, tsize_unit::pixels, 96)) << text;
    EXPECT_FALSE(pixel_size("3000", tsize_unit::inches, 96)); // 288000 pixels
}

TEST(NewImage, DefaultsRoundTripAndZeroFallsBack)
{
    testing::tsettings_home home;
    EXPECT_EQ(read_new_image_defaults().width, 640);
    write_new_image_defaults({800, 0, tnew_image_fill::custom, 0x00123456});
    const tnew_image_defaults back = read_new_image_defaults();
    EXPECT_EQ(back.width, 800);
    EXPECT_EQ(back.height, 480);
    EXPECT_EQ(back.fill, tnew_image_fill::custom);
    EXPECT_EQ(back.custom_colour, 0x00123456u);
}

} // namespace
} // namespace velmora
