#include "document/error.h"
#include "formats/byte_io.h"
#include "formats/file_io.h"
#include "formats/gfx_pcx.h"
#include "formats/gfx_tga.h"

namespace velmora {

namespace {

void check_16_bit_size(const Tfbitmap& picture, const char* format)
{
    if (picture.width() > 0xFFFF || picture.height() > 0xFFFF)
        throw velmora_error("@ch_error", std::string(format) + " files hold at most 65535 pixels a side");
}

// One plane of a row: runs of up to 63 equal bytes; a lone byte above 191
// needs a run header so it is not taken for one.
void encode_plane(std::vector<std::uint8_t>& out, const std::uint8_t* plane, std::int32_t length)
{
    std::int32_t i = 0;
    while (i < length) {
        const std::uint8_t byte = plane[i];
        std::int32_t run = 1;
        while (i + run < length && plane[i + run] == byte && run < 63)
            ++run;
        if (run > 1 || byte > 191)
            out.push_back(std::uint8_t(0xC0 + run));
        out.push_back(byte);
        i += run;
    }
}

} // namespace

std::vector<std::uint8_t> build_pcx(const Tfbitmap& picture)
{
    check_16_bit_size(picture, "PCX");
    const std::int32_t w = picture.width(), h = picture.height();
    tbyte_writer out(false);
    out.reserve(128 + std::size_t(w) * std::size_t(h) * 3 + 1);
    out.u8(10);
    out.u8(5);
    out.u8(1);
    out.u8(8);
    out.u16(0);
    out.u16(0);
    out.u16(std::uint16_t(w - 1));
    out.u16(std::uint16_t(h - 1));
    out.u16(std::uint16_t(w));
    out.u16(std::uint16_t(h));
    out.zeros(48);
    out.u8(0);
    out.u8(3);
    out.u16(std::uint16_t(w));
    out.u16(1);
    out.u16(0);
    out.u16(0);
    out.zeros(54);
    std::vector<std::uint8_t> planes(std::size_t(w) * 3);
    for (std::int32_t y = 0; y < h; ++y) {
        const std::uint8_t* p = picture.row(y);
        for (std::int32_t x = 0; x < w; ++x, p += 4) {
            planes[std::size_t(x)] = p[red_byte];
            planes[std::size_t(w + x)] = p[green_byte];
            planes[std::size_t(2 * w + x)] = p[blue_byte];
        }
        for (int plane = 0; plane < 3; ++plane)
            encode_plane(out.buffer(), planes.data() + std::size_t(plane) * std::size_t(w), w);
    }
    out.u8(0x0C);
    return std::move(out.buffer());
}

void write_pcx(const Tfbitmap& picture, const std::string& file_name)
{
    write_file_atomically(file_name, build_pcx(picture));
}

std::vector<std::uint8_t> build_tga(const Tfbitmap& picture)
{
    check_16_bit_size(picture, "TGA");
    static constexpr std::string_view identification = "TARGA-File produced by Quorantel Velmora\x1A";
    const std::int32_t w = picture.width(), h = picture.height();
    tbyte_writer out(false);
    out.u8(std::uint8_t(identification.size()));
    out.u8(0);
    out.u8(2);
    out.u16(0);
    out.u16(0);
    out.u8(24);
    out.u16(0);
    out.u16(0);
    out.u16(std::uint16_t(w));
    out.u16(std::uint16_t(h));
    out.u8(24);
    out.u8(0x20);
    out.text(identification);
    const std::size_t at = out.grow(std::size_t(w) * std::size_t(h) * 3);
    std::uint8_t* dst = out.at(at);
    for (std::int32_t y = 0; y < h; ++y) {
        const std::uint8_t* p = picture.row(y);
        for (std::int32_t x = 0; x < w; ++x, p += 4, dst += 3) {
            dst[0] = p[blue_byte];
            dst[1] = p[green_byte];
            dst[2] = p[red_byte];
        }
    }
    return std::move(out.buffer());
}

void write_tga(const Tfbitmap& picture, const std::string& file_name)
{
    write_file_atomically(file_name, build_tga(picture));
}

} // namespace velmora
