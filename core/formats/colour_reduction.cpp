#include "formats/colour_reduction.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace velmora {

dither_mode dither_from_index(int index)
{
    return index >= 0 && index < dither_mode_count ? static_cast<dither_mode>(index) : dither_mode::nearest;
}

std::optional<std::vector<trgb>> list_colours(const Tfbitmap& picture, std::size_t limit)
{
    std::vector<trgb> colours;
    std::unordered_map<std::uint32_t, bool> seen;
    seen.reserve(limit * 2 + 1);
    for (std::int32_t y = 0; y < picture.height(); ++y) {
        const std::uint8_t* p = picture.row(y);
        std::uint32_t last = 0xFFFFFFFF;
        for (std::int32_t x = 0; x < picture.width(); ++x, p += 4) {
            const std::uint32_t key = std::uint32_t(p[red_byte]) << 16 | std::uint32_t(p[green_byte]) << 8 | p[blue_byte];
            if (key == last)
                continue;
            last = key;
            if (seen.emplace(key, true).second) {
                if (colours.size() == limit)
                    return std::nullopt;
                colours.push_back({p[red_byte], p[green_byte], p[blue_byte]});
            }
        }
    }
    return colours;
}

namespace {

struct tcell {
    std::uint32_t count = 0;
    std::uint64_t r = 0, g = 0, b = 0;
};

struct tbox {
    int lo[3], hi[3]; // inclusive, in 5-bit units
    std::uint64_t count = 0;
    double error = 0; // sum of squared distances to the mean
};

class thistogram {
public:
    explicit thistogram(const Tfbitmap& picture) : cells_(32 * 32 * 32)
    {
        for (std::int32_t y = 0; y < picture.height(); ++y) {
            const std::uint8_t* p = picture.row(y);
            for (std::int32_t x = 0; x < picture.width(); ++x, p += 4) {
                tcell& c = cells_[index(p[red_byte] >> 3, p[green_byte] >> 3, p[blue_byte] >> 3)];
                ++c.count;
                c.r += p[red_byte];
                c.g += p[green_byte];
                c.b += p[blue_byte];
            }
        }
    }

    static std::size_t index(int r, int g, int b) { return std::size_t(r) << 10 | std::size_t(g) << 5 | std::size_t(b); }
    const tcell& at(int r, int g, int b) const { return cells_[index(r, g, b)]; }

    template <typename Fn>
    void each(const tbox& box, Fn&& fn) const
    {
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                    const tcell& c = at(r, g, b);
                    if (c.count)
                        fn(r, g, b, c);
                }
    }

    // Shrinks the box to its occupied cells and computes count and error.
    void measure(tbox& box) const
    {
        int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
        std::uint64_t n = 0;
        double sr = 0, sg = 0, sb = 0;
        each(box, [&](int r, int g, int b, const tcell& c) {
            const int v[3] = {r, g, b};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], v[k]);
                hi[k] = std::max(hi[k], v[k]);
            }
            n += c.count;
            sr += double(c.r), sg += double(c.g), sb += double(c.b);
        });
        box.count = n;
        if (!n)
            return;
        std::copy(lo, lo + 3, box.lo);
        std::copy(hi, hi + 3, box.hi);
        const double mr = sr / double(n), mg = sg / double(n), mb = sb / double(n);
        double error = 0;
        each(box, [&](int, int, int, const tcell& c) {
            const double cr = double(c.r) / c.count - mr, cg = double(c.g) / c.count - mg, cb = double(c.b) / c.count - mb;
            error += (cr * cr + cg * cg + cb * cb) * c.count;
        });
        box.error = error;
    }

    trgb mean(const tbox& box) const
    {
        std::uint64_t n = 0, r = 0, g = 0, b = 0;
        each(box, [&](int, int, int, const tcell& c) {
            n += c.count, r += c.r, g += c.g, b += c.b;
        });
        if (!n)
            return {};
        return {std::uint8_t((2 * r + n) / (2 * n)), std::uint8_t((2 * g + n) / (2 * n)), std::uint8_t((2 * b + n) / (2 * n))};
    }

private:
    std::vector<tcell> cells_;
};

// Splits at the count median of the axis with the widest spread of colour.
bool split(const thistogram& h, tbox& box, tbox& other)
{
    int axis = -1, widest = 0;
    for (int k = 0; k < 3; ++k)
        if (box.hi[k] - box.lo[k] > widest)
            widest = box.hi[k] - box.lo[k], axis = k;
    if (axis < 0)
        return false;
    std::vector<std::uint64_t> slab(32, 0);
    h.each(box, [&](int r, int g, int b, const tcell& c) {
        const int v[3] = {r, g, b};
        slab[std::size_t(v[axis])] += c.count;
    });
    std::uint64_t below = 0;
    int cut = box.lo[axis];
    for (int v = box.lo[axis]; v < box.hi[axis]; ++v) {
        below += slab[std::size_t(v)];
        cut = v;
        if (2 * below >= box.count)
            break;
    }
    other = box;
    box.hi[axis] = cut;
    other.lo[axis] = cut + 1;
    h.measure(box);
    h.measure(other);
    return box.count && other.count;
}

struct tkernel_tap {
    int dx, dy, weight;
};

struct tkernel {
    int divisor;
    std::vector<tkernel_tap> taps;
};

const tkernel& kernel(dither_mode mode)
{
    static const tkernel kernels[] = {
        {1, {}},
        {16, {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}},
        {42, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2},
              {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4}, {1, 2, 2}, {2, 2, 1}}},
        {32, {{1, 0, 5}, {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5}, {1, 1, 4}, {2, 1, 2},
              {-1, 2, 2}, {0, 2, 3}, {1, 2, 2}}},
        {48, {{1, 0, 7}, {2, 0, 5}, {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5}, {2, 1, 3},
              {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5}, {1, 2, 3}, {2, 2, 1}}},
        {200, {{2, 0, 32}, {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30}, {3, 1, 16}, {-2, 2, 12}, {0, 2, 26},
               {2, 2, 12}, {-3, 3, 5}, {-1, 3, 12}, {1, 3, 12}, {3, 3, 5}}},
        {32, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}},
    };
    return kernels[static_cast<int>(mode)];
}

// Nearest palette entry of a colour, remembered for every colour met.
class tnearest {
public:
    // Large pictures get a table over every colour; small ones a map of the colours they use.
    tnearest(const std::vector<trgb>& palette, std::int64_t pixels) : palette_(palette)
    {
        if (pixels > (std::int64_t(1) << 20))
            cache_.assign(std::size_t(1) << 24, -1);
    }

    std::uint8_t operator()(int r, int g, int b)
    {
        const std::size_t key = std::size_t(r) << 16 | std::size_t(g) << 8 | std::size_t(b);
        std::int16_t& slot = cache_.empty() ? small_.try_emplace(std::uint32_t(key), std::int16_t(-1)).first->second
                                            : cache_[key];
        if (slot < 0) {
            int best = 0;
            long best_distance = -1;
            for (std::size_t i = 0; i < palette_.size(); ++i) {
                const long dr = r - palette_[i].red, dg = g - palette_[i].green, db = b - palette_[i].blue;
                const long d = dr * dr + dg * dg + db * db;
                if (best_distance < 0 || d < best_distance) {
                    best_distance = d;
                    best = int(i);
                    if (d == 0)
                        break;
                }
            }
            slot = std::int16_t(best);
        }
        return std::uint8_t(slot);
    }

private:
    const std::vector<trgb>& palette_;
    std::vector<std::int16_t> cache_;
    std::unordered_map<std::uint32_t, std::int16_t> small_;
};

} // namespace

std::vector<trgb> optimal_palette(const Tfbitmap& picture, std::size_t count)
{
    count = std::clamp<std::size_t>(count, 1, 256);
    if (auto exact = list_colours(picture, count))
        return *exact;
    const thistogram h(picture);
    std::vector<tbox> boxes(1);
    boxes[0] = {{0, 0, 0}, {31, 31, 31}, 0, 0};
    h.measure(boxes[0]);
    while (boxes.size() < count) {
        auto worst = std::max_element(boxes.begin(), boxes.end(),
                                      [](const tbox& a, const tbox& b) { return a.error < b.error; });
        if (worst->error <= 0)
            break;
        tbox other;
        if (!split(h, *worst, other)) {
            worst->error = 0;
            continue;
        }
        boxes.push_back(other);
    }
    std::vector<trgb> palette;
    for (const tbox& box : boxes)
        palette.push_back(h.mean(box));
    return palette;
}

tpalette_picture map_to_palette(const Tfbitmap& picture, std::vector<trgb> palette, dither_mode dither)
{
    tpalette_picture out;
    out.width = picture.width();
    out.height = picture.height();
    out.palette = std::move(palette);
    if (out.palette.empty())
        out.palette.push_back({});
    out.indexes.resize(std::size_t(out.width) * std::size_t(out.height));
    tnearest nearest(out.palette, std::int64_t(out.width) * out.height);
    const tkernel& k = kernel(dither);
    if (k.taps.empty()) {
        for (std::int32_t y = 0; y < out.height; ++y) {
            const std::uint8_t* p = picture.row(y);
            std::uint8_t* dst = out.indexes.data() + std::size_t(y) * std::size_t(out.width);
            for (std::int32_t x = 0; x < out.width; ++x, p += 4)
                dst[x] = nearest(p[red_byte], p[green_byte], p[blue_byte]);
        }
        return out;
    }
    // Error rows for the current row and the three below it, with margins for the widest kernel.
    constexpr int margin = 3, rows = 4;
    const std::size_t stride = std::size_t(out.width) + 2 * margin;
    std::vector<int> error(rows * stride * 3, 0);
    const auto row_of = [&](std::int32_t y) { return error.data() + std::size_t(y % rows) * stride * 3; };
    for (std::int32_t y = 0; y < out.height; ++y) {
        const std::uint8_t* p = picture.row(y);
        std::uint8_t* dst = out.indexes.data() + std::size_t(y) * std::size_t(out.width);
        int* current = row_of(y);
        for (std::int32_t x = 0; x < out.width; ++x, p += 4) {
            int* e = current + (std::size_t(x) + margin) * 3;
            int want[3];
            const int source[3] = {p[red_byte], p[green_byte], p[blue_byte]};
            for (int c = 0; c < 3; ++c)
                want[c] = std::clamp(source[c] + e[c] / k.divisor, 0, 255);
            const std::uint8_t index = nearest(want[0], want[1], want[2]);
            dst[x] = index;
            const trgb got = out.palette[index];
            const int diff[3] = {want[0] - got.red, want[1] - got.green, want[2] - got.blue};
            for (const tkernel_tap& tap : k.taps) {
                const std::int32_t tx = x + tap.dx;
                if (tx < 0 || tx >= out.width || y + tap.dy >= out.height)
                    continue;
                int* target = row_of(y + tap.dy) + (std::size_t(tx) + margin) * 3;
                for (int c = 0; c < 3; ++c)
                    target[c] += diff[c] * tap.weight;
            }
        }
        std::fill(current, current + stride * 3, 0);
    }
    return out;
}

} // namespace velmora
