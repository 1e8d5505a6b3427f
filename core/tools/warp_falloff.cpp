#include "tools/warp_falloff.h"

#include <cmath>
#include <numbers>

namespace velmora {

const std::array<float, 100>& warp_falloff()
{
    static const std::array<float, 100> table = [] {
        std::array<float, 100> t{};
        for (std::size_t i = 0; i < t.size(); ++i)
            t[i] = float(std::pow((1.0 + std::cos(std::numbers::pi * std::sqrt(double(i) / 100.0))) / 2.0, 0.7));
        return t;
    }();
    return table;
}

} // namespace velmora
