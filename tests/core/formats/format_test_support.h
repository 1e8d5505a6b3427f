#pragma once

#include "document/document.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

namespace velmora::test {

inline Tfbitmap random_bitmap(std::int32_t w, std::int32_t h, unsigned seed, bool random_alpha = false)
{
    std::mt19937 random(seed);
    Tfbitmap b(w, h);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            std::uint8_t* p = b.pixel(x, y);
            const std::uint32_t r = random();
            p[0] = std::uint8_t(r);
            p[1] = std::uint8_t(r >> 8);
            p[2] = std::uint8_t(r >> 16);
            p[3] = random_alpha ? std::uint8_t(r >> 24) : 255;
        }
    return b;
}

inline Tfbitmap solid_bitmap(std::int32_t w, std::int32_t h, std::uint8_t b, std::uint8_t g, std::uint8_t r,
                             std::uint8_t a = 255)
{
    Tfbitmap bitmap(w, h);
    bitmap.fill_pixels(b, g, r, a);
    return bitmap;
}

// Compares blue, green, red (and alpha when asked); reports the first difference.
inline ::testing::AssertionResult same_pixels(const Tfbitmap& a, const Tfbitmap& b, bool with_alpha = true,
                                              int tolerance = 0)
{
    if (a.width() != b.width() || a.height() != b.height())
        return ::testing::AssertionFailure() << "sizes differ: " << a.width() << "x" << a.height() << " vs "
                                             << b.width() << "x" << b.height();
    for (std::int32_t y = 0; y < a.height(); ++y)
        for (std::int32_t x = 0; x < a.width(); ++x)
            for (int c = 0; c < (with_alpha ? 4 : 3); ++c) {
                const int d = int(a.pixel(x, y)[c]) - int(b.pixel(x, y)[c]);
                if (d > tolerance || d < -tolerance)
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << "," << y << ") byte " << c << ": " << int(a.pixel(x, y)[c]) << " vs "
                           << int(b.pixel(x, y)[c]);
            }
    return ::testing::AssertionSuccess();
}

// Red, green, blue of every pixel, rows top to bottom: what `convert FILE rgb:-` prints.
inline std::string rgb_bytes(const Tfbitmap& b)
{
    std::string out;
    for (std::int32_t y = 0; y < b.height(); ++y)
        for (std::int32_t x = 0; x < b.width(); ++x)
            for (int c : {red_byte, green_byte, blue_byte})
                out += char(b.pixel(x, y)[c]);
    return out;
}

// A fresh folder for one test's files, removed afterwards.
class scratch_folder {
public:
    scratch_folder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-formats-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~scratch_folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline bool have_program(const std::string& path)
{
    return ::access(path.c_str(), X_OK) == 0;
}

inline const char* imagemagick = "/usr/bin/convert";
inline const char* system_python = "/usr/bin/python3";

inline bool have_pillow()
{
    return have_program(system_python) &&
           std::system((std::string(system_python) + " -c 'import PIL' 2>/dev/null").c_str()) == 0;
}

// Runs a shell command, returns its standard output.
inline std::string run_command(const std::string& command)
{
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

inline std::string data_file(const std::string& name)
{
    return std::string(VELMORA_TEST_DATA) + "/formats/" + name;
}

} // namespace velmora::test
