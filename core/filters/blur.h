#pragma once

#include "document/document.h"
#include "filters/colour_adjust.h"

#include <array>
#include <cstdint>

namespace velmora {

// Radius 1..99 and weights w[-100..100] (index + 100); only w[-r..r] count
// once the kernel is built.
struct tgaussian_kernel {
    std::uint8_t radius = 1;
    std::array<float, 201> weights{};
    float weight(std::int32_t offset) const { return weights[std::size_t(offset + 100)]; }
};

// The kernel for sigma, cut where the two tails together reach 1/510.
tgaussian_kernel gaussian_kernel(float sigma);

// One pass over n pixels (stride in bytes between them): double sums of
// the weights times the bytes, the border pixel repeating, truncated to bytes.
// Alpha is written only with `with_alpha`.
void gaussian_line(const tgaussian_kernel& kernel, std::uint8_t* pixels, std::int32_t n, std::ptrdiff_t stride,
                   bool with_alpha);

// Blurs the whole target in place, rows then columns. With `with_alpha` an
// upper layer (not the document's background) is first grown by
// trunc(sigma) + 1 transparent pixels on each side. Progress "@ch_rendering"
// over height + width + extra_progress steps.
void gaussian_blur(tdocument& doc, tcalque& target, bool with_alpha, std::int32_t extra_progress, float sigma);

// The part of the target a blur reads and writes: all of it, or with a
// selection the part under the selection's raster.
trect blur_rectangle(const Tfbitmap& target, const tadjust_area& area);

// Averages along a digital line of `speed` samples toward
// (round(-cos a * speed), round(sin a * speed)); the walk stops at the
// processed rectangle's edge. Source and destination have one size.
void motion_blur(Tfbitmap& destination, const Tfbitmap& source, std::int32_t speed, std::int32_t angle,
                 bool with_alpha, const tadjust_area& area = {});
// Averages `samples` points along the ray from the centre through each pixel.
void zoom_blur(Tfbitmap& destination, const Tfbitmap& source, std::int32_t samples, bool with_alpha,
               const tadjust_area& area = {});
// Averages along an arc of `angle` degrees around the centre.
void radial_blur(Tfbitmap& destination, const Tfbitmap& source, std::int32_t angle, bool with_alpha,
                 const tadjust_area& area = {});
// How many angular samples the radial blur takes for a target of this size.
std::int32_t radial_blur_samples(std::int32_t width, std::int32_t height, const tadjust_area& area,
                                 std::int32_t angle);

// The motion blur dialog's dial: the angle a drag sets, from the mouse's
// offset to the dial's centre in screen coordinates (y down): arccos(dx /
// length) in degrees, negative below the centre, rounded, then brought into
// 0..359; the centre itself gives 0.
std::int32_t motion_dial_angle(double dx, double dy);

} // namespace velmora
