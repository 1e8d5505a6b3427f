#include "filters/convolution.h"

#include "document/rounding.h"
#include "filters/filter_framework.h"
#include "filter_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velmora {
namespace {

using namespace test;

// The engine written the plain way: float sums in cell order, rows first.
Tfbitmap reference_convolve(const tnoyau_de_convolution& kernel, const Tfbitmap& source, bool with_alpha,
                            const tselection* selection, std::int32_t left, std::int32_t top)
{
    Tfbitmap out = source;
    const std::int32_t r = kernel.radius;
    for (std::int32_t y = 0; y < source.height(); ++y)
        for (std::int32_t x = 0; x < source.width(); ++x) {
            int c = 255;
            if (selection) {
                c = selection_coverage(*selection, x + left, y + top);
                if (c == 0)
                    continue;
            }
            float sums[4] = {0, 0, 0, 0};
            for (std::int32_t sy = std::max(0, y - r); sy <= std::min(source.height() - 1, y + r); ++sy)
                for (std::int32_t sx = std::max(0, x - r); sx <= std::min(source.width() - 1, x + r); ++sx)
                    for (int k = 0; k < 4; ++k)
                        sums[k] = sums[k] + kernel.weight(sx - x, sy - y) * float(source.pixel(sx, sy)[k]);
            for (int k = 0; k < (with_alpha ? 4 : 3); ++k) {
                const double u = source.pixel(x, y)[k];
                const long double v = selection ? (double(sums[k]) - u) * (c / 255.0) + u : sums[k];
                out.pixel(x, y)[k] = std::uint8_t(std::clamp<std::int64_t>(round_half_even(v), 0, 255));
            }
        }
    return out;
}

// Wide enough for a whole chunk of vectors, single vectors and single pixels in one row.
TEST(Convolution, EngineMatchesThePlainLoop)
{
    const Tfbitmap source = random_bitmap(43, 19, 21);
    const tselection selection = random_selection(-2, 5, 20, 30, 22);
    std::mt19937 random(23);
    std::uniform_real_distribution<float> cell(-3.0f, 3.0f);
    for (const std::int32_t radius : {1, 2}) {
        std::vector<float> cells(std::size_t((2 * radius + 1) * (2 * radius + 1)));
        for (float& c : cells)
            c = cell(random);
        cells[1] = 0.0f; // zero cells are left out of the sums
        cells[2] = -0.0f;
        const tnoyau_de_convolution kernel = make_kernel(radius, cells, 1.7f);
        for (const bool with_alpha : {false, true})
            for (const tselection* s : {static_cast<const tselection*>(nullptr), &selection}) {
                Tfbitmap out = source;
                convolve(kernel, source, out, with_alpha, s, 4, 2);
                EXPECT_TRUE(same_pixels(out, reference_convolve(kernel, source, with_alpha, s, 4, 2)))
                    << "radius " << radius << " alpha " << with_alpha << " selection " << (s != nullptr);
            }
    }
}

// Kernels whose weights are small multiples of a power of two take the
// integer lanes; each compiled variant must give the float engine's bytes.
// The widest picture holds a whole chunk of vectors, single vectors and
// single pixels in one row; the others are narrower than one vector, end
// inside one, or are no taller than the kernel.
TEST(Convolution, IntegerLanesMatchThePlainLoop)
{
    const Tfbitmap sources[] = {random_bitmap(47, 9, 24), random_bitmap(1, 1, 25), random_bitmap(3, 2, 26),
                                random_bitmap(8, 5, 27), random_bitmap(17, 4, 28)};
    std::vector<float> binomial5(25);
    const float row[5] = {1, 4, 6, 4, 1};
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i)
            binomial5[std::size_t(j * 5 + i)] = row[i] * row[j];
    const float odd_cells[9] = {3, -5, 0, 1, 12, -2, 0, -4, 3};
    // The largest sums the 16-bit lanes take: 127 * 255 plus the rounding's half at shift 0 and 8.
    const float heavy_cells[9] = {0, 0, 0, 0, 127, 0, 0, 0, 0};
    const float heavy_negative[9] = {-60, 0, 0, 0, 127, 0, 0, 0, -67};
    // No negative weight: sums up to 257 * 255, and 256 * 255 plus the half, read unsigned.
    const float heavy_positive[9] = {64, 0, 64, 0, 128, 0, 0, 0, 1};
    const float heavy_positive_256[9] = {64, 0, 64, 0, 127, 0, 0, 0, 1};
    // Columns times rows, with negative factors: their sums are taken column first.
    std::vector<float> product3(9), product5(25);
    const float column3[3] = {3, 0, -1}, row3[3] = {2, -4, 6};
    const float column5[5] = {2, 1, 0, -1, 1}, row5[5] = {1, -2, 0, 3, 1};
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i) {
            product5[std::size_t(j * 5 + i)] = column5[j] * row5[i];
            if (i < 3 && j < 3)
                product3[std::size_t(j * 3 + i)] = column3[j] * row3[i];
        }
    const tnoyau_de_convolution kernels[] = {sharpen_kernel(), edge_enhancement_kernel(), edge_detection_kernel(),
                                             make_kernel(2, binomial5, 256), make_kernel(1, odd_cells, 8),
                                             make_kernel(1, odd_cells, 1), make_kernel(1, heavy_cells, 1),
                                             make_kernel(1, heavy_cells, 256), make_kernel(1, heavy_negative, 256),
                                             make_kernel(1, heavy_positive, 1), make_kernel(1, heavy_positive_256, 256),
                                             make_kernel(1, product3, 8), make_kernel(2, product5, 16)};
    for (const Tfbitmap& source : sources)
        for (const tkernel_set set : {tkernel_set::portable, tkernel_set::avx2, tkernel_set::avx512})
            for (const tnoyau_de_convolution& kernel : kernels)
                for (const bool with_alpha : {false, true}) {
                    Tfbitmap out = source;
                    convolve(kernel, source, out, with_alpha, nullptr, 0, 0, set);
                    EXPECT_TRUE(same_pixels(out, reference_convolve(kernel, source, with_alpha, nullptr, 0, 0)))
                        << source.width() << " x " << source.height() << " set " << int(set) << " kernel "
                        << (&kernel - kernels) << " alpha " << with_alpha;
                }
}

TEST(Convolution, FixedKernelsAtBordersAndOnUniformAreas)
{
    const Tfbitmap grey = uniform_bitmap(5, 4, 100, 200);
    Tfbitmap out = grey;
    convolve(sharpen_kernel(), grey, out, false);
    EXPECT_EQ(out.pixel(2, 2)[0], 100);
    EXPECT_EQ(out.pixel(2, 0)[0], 150); // one -0.5 tap dropped
    EXPECT_EQ(out.pixel(0, 0)[0], 200); // two dropped
    EXPECT_EQ(out.pixel(0, 0)[alpha_byte], 200);
    convolve(edge_enhancement_kernel(), grey, out, false);
    EXPECT_EQ(out.pixel(0, 0)[1], 255); // 900 - 300, clamped
    EXPECT_EQ(out.pixel(2, 2)[1], 100);
    convolve(edge_detection_kernel(), grey, out, true);
    EXPECT_EQ(out.pixel(2, 2)[2], 0);
    EXPECT_EQ(out.pixel(2, 2)[alpha_byte], 0); // a uniform area becomes transparent when alpha is filtered
}

TEST(Convolution, SoftenAndBoxBlurPasses)
{
    // One pixel wide: each pixel becomes (3 above + 2 itself + 3 below) / 8, rounded.
    Tfbitmap column(1, 4);
    const std::uint8_t levels[] = {0, 4, 9, 250};
    for (std::int32_t y = 0; y < 4; ++y)
        column.pixel(0, y)[0] = column.pixel(0, y)[1] = column.pixel(0, y)[2] = column.pixel(0, y)[3] = levels[y];
    Tfbitmap out = column;
    soften_pass(column, out, false);
    const int expected[] = {2, 4, 98, 160}; // 1.5, 4.375, 97.5, 159.625
    for (std::int32_t y = 0; y < 4; ++y) {
        const int above = levels[std::max(y - 1, 0)];
        const int below = levels[std::min(y + 1, 3)];
        EXPECT_EQ(out.pixel(0, y)[0], round_half_even((3 * above + 2 * levels[y] + 3 * below) / 8.0L));
        EXPECT_EQ(out.pixel(0, y)[0], expected[y]);
        EXPECT_EQ(out.pixel(0, y)[3], levels[y]); // alpha left alone
    }
    const Tfbitmap source = random_bitmap(6, 5, 31);
    box_blur_pass(source, out = source, true);
    const long double ninth = 1.0f / 9.0f;
    for (std::int32_t y = 0; y < 5; ++y)
        for (std::int32_t x = 0; x < 6; ++x)
            for (int k = 0; k < 4; ++k) {
                long double sum = 0;
                for (int j = -1; j <= 1; ++j)
                    for (int i = -1; i <= 1; ++i)
                        sum += ninth * source.pixel(std::clamp(x + i, 0, 5), std::clamp(y + j, 0, 4))[k];
                ASSERT_EQ(out.pixel(x, y)[k], std::min<std::int64_t>(round_half_even(sum), 255));
            }
}

TEST(Convolution, KernelCells)
{
    struct tcase {
        const char* text;
        bool valid;
        float value;
    };
    const tcase cases[] = {{"", false, 0},  {"-", false, 0},     {"1-2", false, 0}, {"1.2.3", false, 0},
                           {"a", false, 0}, {"1e3", false, 0},   {" 1", false, 0},  {"0.5", true, 0.5f},
                           {"-3", true, -3}, {"12", true, 12},   {".25", true, 0.25f}};
    for (const tcase& c : cases) {
        float value = 99;
        EXPECT_EQ(parse_kernel_cell(c.text, value), c.valid) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }

    const tcustom_kernel binomial = build_custom_kernel(default_kernel_cells(), kernel_size_3);
    EXPECT_EQ(binomial.sum, 16);
    EXPECT_EQ(binomial.kernel.radius, 1);
    EXPECT_EQ(binomial.kernel.weight(-1, -1), 1.0f / 16);
    EXPECT_EQ(binomial.kernel.weight(0, -1), 2.0f / 16);
    EXPECT_EQ(binomial.kernel.weight(0, 0), 4.0f / 16);

    // The grid shows the kernel as applied: cell N sits in column (N - 1) / 5, row (N - 1) % 5.
    tkernel_cells cells{};
    cells[1].assign(1, '5'); // Edit2: column 0, row 1
    const tcustom_kernel five = build_custom_kernel(cells, kernel_size_5);
    EXPECT_EQ(five.kernel.weight(-2, -1), 1.0f);
    EXPECT_EQ(build_custom_kernel(cells, kernel_size_3).sum, 0); // outer cell not read at 3*3

    tkernel_cells empty{};
    empty[12].assign(1, '-');
    const tcustom_kernel zero = build_custom_kernel(empty, kernel_size_5);
    EXPECT_EQ(zero.sum, 0);
    const Tfbitmap source = random_bitmap(4, 4, 41);
    Tfbitmap out = source;
    convolve(zero.kernel, source, out, true);
    EXPECT_TRUE(same_pixels(out, uniform_bitmap(4, 4, 0, 0)));
}

} // namespace
} // namespace velmora
