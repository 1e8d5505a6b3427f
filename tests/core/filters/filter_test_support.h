#pragma once

#include "document/document.h"

#include <cstdint>
#include <random>

namespace velmora::test {

inline Tfbitmap random_bitmap(std::int32_t width, std::int32_t height, std::uint32_t seed)
{
    Tfbitmap bitmap(width, height);
    std::mt19937 random(seed);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t i = 0; i < 4 * width; ++i)
            bitmap.row(y)[i] = std::uint8_t(random() & 255);
    return bitmap;
}

inline Tfbitmap uniform_bitmap(std::int32_t width, std::int32_t height, std::uint8_t grey, std::uint8_t alpha = 255)
{
    Tfbitmap bitmap(width, height);
    bitmap.fill_pixels(grey, grey, grey, alpha);
    return bitmap;
}

// A selection raster with random coverage, a third of it 0 and a third 255.
inline tselection random_selection(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                                   std::uint32_t seed)
{
    tselection selection;
    selection.left = left;
    selection.top = top;
    selection.mask.set_size(width, height);
    std::mt19937 random(seed);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint32_t pick = random() % 3;
            const auto c = std::uint8_t(pick == 0 ? 0 : pick == 1 ? 255 : random() & 255);
            std::uint8_t* p = selection.mask.pixel(x, y);
            p[0] = p[1] = p[2] = c;
            p[3] = 255;
        }
    return selection;
}

inline bool same_pixels(const Tfbitmap& a, const Tfbitmap& b)
{
    if (a.width() != b.width() || a.height() != b.height())
        return false;
    for (std::int32_t y = 0; y < a.height(); ++y)
        for (std::int32_t i = 0; i < 4 * a.width(); ++i)
            if (a.row(y)[i] != b.row(y)[i])
                return false;
    return true;
}

// A document with a random background and a random upper layer at (left, top).
inline tdocument two_layer_document(std::int32_t left, std::int32_t top, std::uint32_t seed)
{
    tdocument doc = create_document("test");
    add_background(doc, random_bitmap(24, 18, seed), "background");
    add_layer(doc, random_bitmap(13, 11, seed + 1), "layer", 255, left, top, normal);
    return doc;
}

} // namespace velmora::test
