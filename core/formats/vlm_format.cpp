#include "formats/vlm_format.h"

#include "document/error.h"
#include "document/rounding.h"
#include "formats/byte_io.h"
#include "formats/file_io.h"
#include "formats/vlm_thumbnail.h"
#include "selection/selection.h"
#include "shell/progress.h"

#include <algorithm>
#include <bit>
#include <bzlib.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

namespace velmora {

const char vlm_identification[] =
    "Velmora layered image file (.vlm): a header, then each layer with its position, opacity, blend mode, mask "
    "and text, the selection and saved selections, preview and the vector path; pixels are BMP files, bzip2 or raw.";
static_assert(sizeof(vlm_identification) == 216 + 1);

namespace {

constexpr const char* read_error = "@ch_read_error";
constexpr const char* write_error = "@ch_error";
constexpr std::size_t bmp_header_size = 54;
constexpr std::uint32_t bmp_pixels_per_metre = 3780; // 96 pixels per inch

[[noreturn]] void damaged(const std::string& why)
{
    throw velmora_error(read_error, why);
}

// ---------------------------------------------------------------- text

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned ones.
constexpr char16_t cp1252_high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void append_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

char to_cp1252(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (int i = 0; i < 32; ++i)
        if (cp1252_high[i] != 0 && cp1252_high[i] == c)
            return char(0x80 + i);
    return '?';
}

// Converts and cuts to `capacity` characters (one byte each in the file).
std::string file_text(const std::string& text, std::size_t capacity)
{
    std::string bytes = utf8_to_cp1252(text);
    if (bytes.size() > capacity)
        bytes.resize(capacity);
    return bytes;
}

// ---------------------------------------------------------------- writing

std::uint16_t clamp_u16(std::int64_t value)
{
    return std::uint16_t(std::clamp<std::int64_t>(value, 0, 0xFFFF));
}

std::uint8_t clamp_u8(std::int64_t value)
{
    return std::uint8_t(std::clamp<std::int64_t>(value, 0, 0xFF));
}

std::size_t bmp_row_size(std::int32_t width, bmp_depth depth)
{
    return (std::size_t(width) * std::size_t(int(depth) / 8) + 3) & ~std::size_t(3);
}

std::uint64_t bmp_stream_size(const Tfbitmap& bitmap, bmp_depth depth)
{
    return bmp_header_size + std::uint64_t(bmp_row_size(bitmap.width(), depth)) * std::uint64_t(bitmap.height());
}

void f64(tbyte_writer& out, double value)
{
    const auto bits = std::bit_cast<std::uint64_t>(value);
    out.u32(std::uint32_t(bits));
    out.u32(std::uint32_t(bits >> 32));
}

// One piece of the file: bytes already laid out, or the BMP stream of a
// raster written straight from its rows.
struct tchunk {
    std::vector<std::uint8_t> bytes;
    const Tfbitmap* bitmap = nullptr;
    bmp_depth depth = bmp_depth::bits32;

    std::uint64_t size() const { return bitmap ? bmp_stream_size(*bitmap, depth) : bytes.size(); }
};

struct tplan {
    std::vector<tchunk> chunks;
    tbyte_writer pending{false};
    std::uint64_t flushed = 0;
    std::unique_ptr<Tfbitmap> thumbnail;

    std::uint64_t position() const { return flushed + pending.position(); }
    void close_pending()
    {
        if (pending.position() == 0)
            return;
        flushed += pending.position();
        chunks.push_back({std::move(pending.buffer()), nullptr, bmp_depth::bits32});
        pending = tbyte_writer(false);
    }
    void add_bytes(std::vector<std::uint8_t> bytes)
    {
        close_pending();
        flushed += bytes.size();
        chunks.push_back({std::move(bytes), nullptr, bmp_depth::bits32});
    }
    void add_bitmap(const Tfbitmap& bitmap, bmp_depth depth)
    {
        close_pending();
        chunks.push_back({{}, &bitmap, depth});
        flushed += chunks.back().size();
    }
};

std::vector<std::uint8_t> bmp_header(const Tfbitmap& bitmap, bmp_depth depth)
{
    tbyte_writer h(false);
    const std::uint64_t total = bmp_stream_size(bitmap, depth);
    h.u8('B');
    h.u8('M');
    h.u32(std::uint32_t(total));
    h.u32(0);
    h.u32(std::uint32_t(bmp_header_size));
    h.u32(40);
    h.u32(std::uint32_t(bitmap.width()));
    h.u32(std::uint32_t(bitmap.height()));
    h.u16(1);
    h.u16(std::uint16_t(int(depth)));
    h.u32(0);
    h.u32(std::uint32_t(total - bmp_header_size));
    h.u32(bmp_pixels_per_metre);
    h.u32(bmp_pixels_per_metre);
    h.u32(0);
    h.u32(0);
    return std::move(h.buffer());
}

void pack_row_24(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width);

// A raster's BMP stream compressed with bzip2 at block size 9, fed row by row
// so that the whole uncompressed picture never sits in memory.
std::vector<std::uint8_t> bzip2_bmp(const Tfbitmap& bitmap, bmp_depth depth)
{
    struct tencoder {
        bz_stream stream{};
        bool live = false;
        ~tencoder()
        {
            if (live)
                BZ2_bzCompressEnd(&stream);
        }
    } encoder;
    const int init = BZ2_bzCompressInit(&encoder.stream, 9, 0, 0);
    if (init != BZ_OK)
        throw velmora_error(init == BZ_MEM_ERROR ? "@ch_no_mem" : write_error, "bzip2 encoder");
    encoder.live = true;

    std::vector<std::uint8_t> out(std::size_t(1) << 16);
    std::size_t produced = 0;
    auto feed = [&](const std::uint8_t* data, std::size_t size, int action) {
        bz_stream& s = encoder.stream;
        s.next_in = const_cast<char*>(reinterpret_cast<const char*>(data));
        s.avail_in = static_cast<unsigned int>(size);
        for (;;) {
            if (produced == out.size())
                out.resize(out.size() * 2);
            const std::size_t room = std::min<std::size_t>(out.size() - produced, std::size_t(1) << 30);
            s.next_out = reinterpret_cast<char*>(out.data() + produced);
            s.avail_out = static_cast<unsigned int>(room);
            const int result = BZ2_bzCompress(&s, action);
            produced += room - s.avail_out;
            if (result == BZ_STREAM_END || (action == BZ_RUN && result == BZ_RUN_OK && s.avail_in == 0))
                return;
            if (result != BZ_RUN_OK && result != BZ_FINISH_OK)
                throw velmora_error(write_error, "bzip2 failed with code " + std::to_string(result));
        }
    };

    const std::vector<std::uint8_t> header = bmp_header(bitmap, depth);
    feed(header.data(), header.size(), BZ_RUN);
    const std::size_t row_size = bmp_row_size(bitmap.width(), depth);
    std::vector<std::uint8_t> row(depth == bmp_depth::bits24 ? row_size : 0, 0);
    for (std::int32_t y = bitmap.height() - 1; y >= 0 && !bitmap.empty(); --y) {
        if (depth == bmp_depth::bits32) {
            feed(bitmap.row(y), row_size, BZ_RUN);
        } else {
            pack_row_24(bitmap.row(y), row.data(), bitmap.width());
            feed(row.data(), row.size(), BZ_RUN);
        }
    }
    feed(nullptr, 0, BZ_FINISH);
    out.resize(produced);
    return out;
}

// Size of an uncompressed pixel stream, which the 32-bit size fields must hold.
std::uint64_t raw_stream_size(const Tfbitmap& bitmap, bmp_depth depth)
{
    const std::uint64_t size = bmp_stream_size(bitmap, depth);
    if (size > UINT32_MAX)
        throw velmora_error(write_error, "a raster is too large for the file");
    return size;
}

void check_writable(const tdocument& doc)
{
    if (doc.layers.empty())
        throw velmora_error(write_error, "the document has no layers");
    if (doc.width() < 1 || doc.height() < 1 || doc.width() > 0xFFFF || doc.height() > 0xFFFF)
        throw velmora_error(write_error, "the document is larger than 65535 pixels on a side");
    if (doc.layers.size() > 0xFFFF)
        throw velmora_error(write_error, "more than 65535 layers");
    if (doc.saved_selections.size() + 1 > 0xFFFF)
        throw velmora_error(write_error, "more than 65534 saved selections");
}

std::vector<std::uint8_t> bmp_image(const Tfbitmap& bitmap, bmp_depth depth);

// Lays the whole file out; pixel streams stay references to the document's
// rasters unless they are compressed.
tplan plan_vlm(const tdocument& doc, const tvlm_write_options& options, bool use_progress)
{
    check_writable(doc);
    const bool compressed = options.compressed;
    tplan plan;
    tbyte_writer& w = plan.pending;
    w.reserve(vlm_header_size + vlm_layer_record_size);

    auto stream = [&](const Tfbitmap& bitmap, bmp_depth depth) -> std::vector<std::uint8_t> {
        if (compressed)
            return bzip2_bmp(bitmap, depth);
        return {};
    };

    // Header.
    w.text(vlm_identification);
    w.text(std::string(40, ' '));
    if (options.signature) {
        std::string author = file_text(options.signature->author, vlm_author_capacity);
        author.resize(vlm_author_capacity, ' ');
        std::string copyright = file_text(options.signature->copyright, vlm_copyright_capacity);
        copyright.resize(vlm_copyright_capacity, ' ');
        w.text("Author:");
        w.text(author);
        w.text(".");
        w.text("Copyright info:");
        w.text(copyright);
        w.text(".");
    } else {
        w.zeros(256);
    }
    std::size_t text_layers = 0;
    for (const auto& layer : doc.layers)
        if (layer->text.is_text)
            ++text_layers;
    text_layers = std::min(text_layers, vlm_max_text_records);
    w.u8(1);
    w.u8(0);
    w.u16(std::uint16_t(doc.width()));
    w.u16(std::uint16_t(doc.height()));
    w.u16(std::uint16_t(doc.layers.size()));
    w.u16(std::uint16_t(doc.valid_layer(doc.current_layer) ? doc.current_layer : 0));
    w.u8(doc.mask_editing ? 1 : 0);
    w.u8(1);
    w.u8(compressed ? 1 : 0);
    w.u8(doc.path_count > 0 ? 1 : 0);
    w.zeros(2);
    w.u32(0); // thumbnail offset, patched below
    w.u32(0); // thumbnail size
    f64(w, options.view.path_state[0]);
    f64(w, options.view.path_state[1]);
    w.u8(std::uint8_t(text_layers));
    w.zeros(vlm_header_size - w.position());

    // Layers, background first.
    for (std::size_t i = 0; i < doc.layers.size(); ++i) {
        const tcalque& layer = *doc.layers[i];
        const bmp_depth depth = i == 0 ? bmp_depth::bits24 : bmp_depth::bits32;
        const tcalque* mask = (i > 0 && layer.mask) ? layer.mask.get() : nullptr;
        std::vector<std::uint8_t> packed = stream(layer.bitmap, depth);
        std::vector<std::uint8_t> packed_mask;
        if (mask)
            packed_mask = stream(mask->bitmap, bmp_depth::bits32);
        const std::uint64_t size = compressed ? packed.size() : raw_stream_size(layer.bitmap, depth);
        const std::uint64_t mask_size =
            !mask ? 0 : compressed ? packed_mask.size() : raw_stream_size(mask->bitmap, bmp_depth::bits32);

        w.s32(i == 0 ? 0 : layer.top);
        w.s32(i == 0 ? 0 : layer.left);
        w.u16(clamp_u16(layer.bitmap.width()));
        w.u16(clamp_u16(layer.bitmap.height()));
        w.s32(mask ? mask->left : 0);
        w.s32(mask ? mask->top : 0);
        const std::string name = file_text(layer.name, vlm_name_capacity);
        w.u8(std::uint8_t(name.size()));
        w.text(name);
        w.zeros(vlm_name_capacity - name.size());
        w.u8(layer.selected ? 1 : 0);
        w.u8(clamp_u8(layer.opacity));
        w.u8(layer.visible);
        w.u8(layer.blend_mode);
        w.u8(layer.preserve_transparency);
        w.u8(mask ? 1 : 0);
        w.u8(layer.mask_enabled);
        w.zeros(2);
        w.u32(std::uint32_t(size));
        w.u32(std::uint32_t(mask_size));
        if (compressed) {
            plan.add_bytes(std::move(packed));
            if (mask)
                plan.add_bytes(std::move(packed_mask));
        } else {
            plan.add_bitmap(layer.bitmap, depth);
            if (mask)
                plan.add_bitmap(mask->bitmap, bmp_depth::bits32);
        }
        if (use_progress)
            progress_step();
    }

    // Selections: the current one first, then the saved ones in list order.
    std::vector<const tselection*> selections;
    if (doc.has_selection)
        selections.push_back(&doc.selection);
    for (const auto& saved : doc.saved_selections)
        selections.push_back(saved.get());
    w.u16(std::uint16_t(selections.size()));
    w.u8(doc.has_selection ? 1 : 0);
    w.u8(options.view.selection_visible ? 1 : 0);
    for (const tselection* selection : selections) {
        std::vector<std::uint8_t> packed = stream(selection->mask, bmp_depth::bits32);
        const std::uint64_t size =
            compressed ? packed.size() : raw_stream_size(selection->mask, bmp_depth::bits32);
        w.s32(selection->left);
        w.s32(selection->top);
        w.u16(clamp_u16(selection->mask.width()));
        w.u16(clamp_u16(selection->mask.height()));
        w.u32(std::uint32_t(size));
        if (compressed)
            plan.add_bytes(std::move(packed));
        else
            plan.add_bitmap(selection->mask, bmp_depth::bits32);
    }
    if (use_progress)
        progress_step();

    if (options.include_thumbnail) {
        plan.thumbnail = std::make_unique<Tfbitmap>(make_vlm_thumbnail(doc));
        const std::uint64_t offset = plan.position();
        if (offset > UINT32_MAX)
            throw velmora_error(write_error, "the file is too large for a preview offset");
        w.u16(std::uint16_t(plan.thumbnail->width()));
        w.u16(std::uint16_t(plan.thumbnail->height()));
        plan.add_bitmap(*plan.thumbnail, bmp_depth::bits24);
        tbyte_writer patch(false);
        patch.u32(std::uint32_t(offset));
        patch.u32(std::uint32_t(bmp_stream_size(*plan.thumbnail, bmp_depth::bits24)));
        std::memcpy(plan.chunks.front().bytes.data() + 528, patch.buffer().data(), 8);
    }
    if (use_progress)
        progress_step();

    if (doc.path_count > 0) {
        const std::int32_t count = std::min(doc.path_count, path_capacity);
        w.s32(count);
        for (std::int32_t i = 0; i < path_capacity; ++i) {
            const tpath_point point = i < count ? doc.path_points[std::size_t(i)] : tpath_point{};
            f64(w, point.x);
            f64(w, point.y);
        }
    }
    if (use_progress)
        progress_step();

    std::size_t written_texts = 0;
    for (std::size_t i = 0; i < doc.layers.size() && written_texts < text_layers; ++i) {
        const ttext_layer_attributes& t = doc.layers[i]->text;
        if (!t.is_text)
            continue;
        ++written_texts;
        w.u16(std::uint16_t(i));
        const std::string text = file_text(t.text, vlm_text_capacity);
        w.u8(std::uint8_t(text.size() >> 8)); // big-endian, as the format has always stored it
        w.u8(std::uint8_t(text.size()));
        w.text(text);
        w.zeros(vlm_text_capacity - text.size());
        const std::string font = file_text(t.font_name, vlm_font_capacity);
        w.u8(std::uint8_t(font.size() >> 8));
        w.u8(std::uint8_t(font.size()));
        w.text(font);
        w.zeros(vlm_font_capacity - font.size());
        w.s16(t.size);
        w.u16(t.angle);
        w.u8(t.underline);
        w.u8(t.bold);
        w.u8(t.italic);
        w.u8(t.strikeout);
        w.u8(t.invert);
        w.u8(t.opacity);
        w.zeros(2);
        w.u32(t.colour);
    }
    plan.close_pending();
    if (use_progress)
        progress_step();
    return plan;
}

#if defined(__x86_64__) || defined(__i386__)
// Sixteen pixels per step with byte shuffles: several times faster than the
// plain loop, which would otherwise cost as much as writing the rest of an
// undo snapshot.
__attribute__((target("ssse3"))) std::int32_t pack_row_24_ssse3(const std::uint8_t* src, std::uint8_t* dst,
                                                                 std::int32_t width)
{
    const __m128i drop_alpha = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    std::int32_t x = 0;
    for (; x + 16 <= width; x += 16, src += 64, dst += 48) {
        const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), drop_alpha);
        const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16)), drop_alpha);
        const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32)), drop_alpha);
        const __m128i d = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 48)), drop_alpha);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_or_si128(a, _mm_slli_si128(b, 12)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 32), _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    }
    return x;
}

__attribute__((target("ssse3"))) std::int32_t unpack_row_24_ssse3(const std::uint8_t* src, std::uint8_t* dst,
                                                                   std::int32_t width)
{
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    std::int32_t x = 0;
    for (; x + 16 <= width; x += 16, src += 48, dst += 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32));
        const __m128i groups[4] = {a, _mm_alignr_epi8(b, a, 12), _mm_alignr_epi8(c, b, 8), _mm_srli_si128(c, 4)};
        for (int k = 0; k < 4; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16 * k),
                             _mm_or_si128(_mm_shuffle_epi8(groups[k], spread), opaque));
    }
    return x;
}

bool have_ssse3()
{
    static const bool present = __builtin_cpu_supports("ssse3");
    return present;
}
#endif

// B, G, R, A pixels to B, G, R.
void pack_row_24(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width)
{
    std::int32_t x = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (have_ssse3()) {
        x = pack_row_24_ssse3(src, dst, width);
        src += 4 * std::size_t(x);
        dst += 3 * std::size_t(x);
    }
#endif
    for (; x < width; ++x, src += 4, dst += 3) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
    }
}

// B, G, R to B, G, R, 255.
void unpack_row_24(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width)
{
    std::int32_t x = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (have_ssse3()) {
        x = unpack_row_24_ssse3(src, dst, width);
        src += 3 * std::size_t(x);
        dst += 4 * std::size_t(x);
    }
#endif
    for (; x < width; ++x, src += 3, dst += 4) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
        dst[3] = 255;
    }
}

// The whole BMP file image of a raster. A raster without pixels (0 wide or
// 0 high) has no rows to visit.
std::vector<std::uint8_t> bmp_image(const Tfbitmap& bitmap, bmp_depth depth)
{
    std::vector<std::uint8_t> out = bmp_header(bitmap, depth);
    const std::size_t row_size = bmp_row_size(bitmap.width(), depth);
    out.resize(std::size_t(bmp_stream_size(bitmap, depth)), 0);
    if (bitmap.empty())
        return out;
    for (std::int32_t y = 0; y < bitmap.height(); ++y) {
        std::uint8_t* dst = out.data() + bmp_header_size + std::size_t(bitmap.height() - 1 - y) * row_size;
        if (depth == bmp_depth::bits32)
            std::memcpy(dst, bitmap.row(y), bitmap.stride());
        else
            pack_row_24(bitmap.row(y), dst, bitmap.width());
    }
    return out;
}

// Drops what a gathered read or write has done from the front of `rows`.
void consume(std::vector<iovec>& rows, std::size_t& first, std::size_t done)
{
    while (first < rows.size() && done >= rows[first].iov_len)
        done -= rows[first++].iov_len;
    if (first < rows.size() && done > 0) {
        rows[first].iov_base = static_cast<std::uint8_t*>(rows[first].iov_base) + done;
        rows[first].iov_len -= done;
    }
}

// Writes a plan to a file descriptor: small pieces through a buffer, 32-bit
// rows straight from the rasters with gathered writes.
class tfile_sink {
public:
    tfile_sink(int fd, std::string name, std::uint64_t offset = 0) : fd_(fd), name_(std::move(name)), offset_(offset) {}

    std::uint64_t offset() const { return offset_ + used_; }
    // Leaves room for bytes another sink writes.
    void skip(std::uint64_t size)
    {
        flush();
        offset_ += size;
    }

    void put(const std::uint8_t* data, std::size_t size)
    {
        if (used_ + size > buffer_capacity)
            flush();
        if (size >= buffer_capacity) {
            write_all(data, size);
            return;
        }
        std::memcpy(buffer() + used_, data, size);
        used_ += size;
    }

    void put_bitmap(const Tfbitmap& bitmap, bmp_depth depth)
    {
        const std::vector<std::uint8_t> header = bmp_header(bitmap, depth);
        put(header.data(), header.size());
        if (bitmap.empty())
            return;
        const std::size_t row_size = bmp_row_size(bitmap.width(), depth);
        if (depth == bmp_depth::bits32) {
            flush();
            std::vector<iovec> rows;
            rows.reserve(std::min<std::size_t>(std::size_t(bitmap.height()), IOV_MAX));
            for (std::int32_t y = bitmap.height() - 1; y >= 0; --y) {
                rows.push_back({const_cast<std::uint8_t*>(bitmap.row(y)), row_size});
                if (rows.size() == IOV_MAX || y == 0) {
                    write_rows(rows);
                    rows.clear();
                }
            }
            return;
        }
        for (std::int32_t y = bitmap.height() - 1; y >= 0; --y) {
            if (used_ + row_size > buffer_capacity)
                flush();
            if (row_size > buffer_capacity) { // a row wider than the buffer goes alone
                std::vector<std::uint8_t> wide(row_size, 0);
                pack_row_24(bitmap.row(y), wide.data(), bitmap.width());
                write_all(wide.data(), wide.size());
                continue;
            }
            std::uint8_t* dst = buffer() + used_;
            pack_row_24(bitmap.row(y), dst, bitmap.width());
            std::memset(dst + 3 * std::size_t(bitmap.width()), 0, row_size - 3 * std::size_t(bitmap.width()));
            used_ += row_size;
        }
    }

    void flush()
    {
        write_all(buffer(), used_);
        used_ = 0;
    }

private:
    // One small buffer per thread, kept for the program's life: fresh pages
    // for every snapshot would cost more than the copying they serve.
    static constexpr std::size_t buffer_capacity = std::size_t(1) << 20;
    static std::uint8_t* buffer()
    {
        thread_local std::unique_ptr<std::uint8_t[]> storage = std::make_unique_for_overwrite<std::uint8_t[]>(buffer_capacity);
        return storage.get();
    }

    [[noreturn]] void fail() const
    {
        throw velmora_error(write_error, name_ + ": " + std::strerror(errno));
    }

    void write_all(const std::uint8_t* data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::pwrite(fd_, data, size, off_t(offset_));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail();
            offset_ += std::uint64_t(n);
            data += n;
            size -= std::size_t(n);
        }
    }

    void write_rows(std::vector<iovec>& rows)
    {
        std::size_t first = 0;
        while (first < rows.size()) {
            const ssize_t n = ::pwritev(fd_, rows.data() + first, int(rows.size() - first), off_t(offset_));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail();
            offset_ += std::uint64_t(n);
            consume(rows, first, std::size_t(n));
        }
    }

    int fd_;
    std::string name_;
    std::uint64_t offset_;
    std::size_t used_ = 0;
};

void emit(const tplan& plan, int fd, const std::string& name)
{
    tfile_sink sink(fd, name);
    for (const tchunk& chunk : plan.chunks) {
        if (chunk.bitmap)
            sink.put_bitmap(*chunk.bitmap, chunk.depth);
        else
            sink.put(chunk.bytes.data(), chunk.bytes.size());
    }
    sink.flush();
}

std::vector<std::uint8_t> file_image(const tplan& plan)
{
    std::uint64_t total = 0;
    for (const tchunk& chunk : plan.chunks)
        total += chunk.size();
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t(total));
    for (const tchunk& chunk : plan.chunks) {
        if (!chunk.bitmap) {
            out.insert(out.end(), chunk.bytes.begin(), chunk.bytes.end());
            continue;
        }
        const std::vector<std::uint8_t> bmp = bmp_image(*chunk.bitmap, chunk.depth);
        out.insert(out.end(), bmp.begin(), bmp.end());
    }
    return out;
}

class tfd {
public:
    explicit tfd(int fd = -1) : fd_(fd) {}
    ~tfd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    tfd(tfd&& other) noexcept : fd_(other.release()) {}
    tfd(const tfd&) = delete;
    tfd& operator=(const tfd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// ---------------------------------------------------------------- reading

// Reads exactly `size` bytes at `offset`; false when the file is shorter.
bool read_at(int fd, std::uint8_t* out, std::size_t size, std::uint64_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pread(fd, out, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        out += n;
        size -= std::size_t(n);
        offset += std::uint64_t(n);
    }
    return true;
}

// The bytes of one file, either all in memory or read on demand: then only
// the fields and the heads of the pixel streams are fetched while the file is
// checked, and the pixels go straight from the file into their rasters later.
class tvlm_input {
public:
    explicit tvlm_input(std::span<const std::uint8_t> data) : data_(data), loaded_end_(data.size()) {}
    // `buffer` has the file's size; it is only written where bytes are fetched.
    tvlm_input(int fd, std::uint8_t* buffer, std::size_t size) : data_(buffer, size), fd_(fd) {}

    bool lazy() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }

    void seek(std::uint64_t position)
    {
        if (position > data_.size())
            damaged("offset beyond the end of the file");
        pos_ = std::size_t(position);
    }
    void skip(std::uint64_t count)
    {
        if (count > remaining())
            damaged("the file ends early");
        pos_ += std::size_t(count);
    }
    std::span<const std::uint8_t> bytes(std::uint64_t count) { return take(count, count); }
    // A pixel stream of `count` bytes of which only the first `head` are fetched.
    std::span<const std::uint8_t> stream(std::uint64_t count, std::size_t head)
    {
        return take(count, std::min<std::uint64_t>(count, head));
    }

    std::uint8_t u8() { return bytes(1)[0]; }
    std::uint16_t u16()
    {
        const auto b = bytes(2);
        return std::uint16_t(b[0] | b[1] << 8);
    }
    std::uint32_t u32()
    {
        const auto b = bytes(4);
        return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
    }
    std::int16_t s16() { return std::int16_t(u16()); }
    std::int32_t s32() { return std::int32_t(u32()); }

private:
    static constexpr std::size_t read_ahead = 4096;

    std::span<const std::uint8_t> take(std::uint64_t count, std::uint64_t fetch)
    {
        if (count > remaining())
            damaged("the file ends early");
        const std::size_t at = pos_;
        pos_ += std::size_t(count);
        if (lazy() && fetch > 0 && (at < loaded_begin_ || at + fetch > loaded_end_)) {
            // Consecutive small fields come from one read.
            const std::size_t end = std::min(data_.size(), at + std::max<std::size_t>(std::size_t(fetch), read_ahead));
            if (!read_at(fd_, const_cast<std::uint8_t*>(data_.data()) + at, end - at, at))
                damaged("the file cannot be read");
            loaded_begin_ = at;
            loaded_end_ = end;
        }
        return data_.subspan(at, std::size_t(count));
    }

    std::span<const std::uint8_t> data_;
    int fd_ = -1;
    std::size_t pos_ = 0;
    std::size_t loaded_begin_ = 0;
    std::size_t loaded_end_ = 0;
};

double read_f64(tvlm_input& r)
{
    const std::uint64_t low = r.u32();
    const std::uint64_t high = r.u32();
    return std::bit_cast<double>(low | (high << 32));
}

std::uint16_t read_u16_big_endian(tvlm_input& r)
{
    auto b = r.bytes(2);
    return std::uint16_t(b[0] << 8 | b[1]);
}

std::string read_text(tvlm_input& r, std::size_t length, std::size_t capacity)
{
    auto field = r.bytes(capacity);
    return cp1252_to_utf8(std::string(field.begin(), field.begin() + std::ptrdiff_t(length)));
}

std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// The bzip2 decoder's work memory (3.6 MB at block size 9), kept for the
// next stream of the same file instead of being given back and faulted in
// again for every layer.
class tbz_blocks {
public:
    static void* allocate(void* self, int items, int size)
    {
        return static_cast<tbz_blocks*>(self)->take(std::size_t(items) * std::size_t(size));
    }
    static void release(void* self, void* block) { static_cast<tbz_blocks*>(self)->give(block); }

private:
    struct tblock {
        std::size_t size;
        std::unique_ptr<char[]> data;
        bool in_use;
    };

    void* take(std::size_t size)
    {
        for (tblock& block : blocks_)
            if (!block.in_use && block.size == size) {
                block.in_use = true;
                return block.data.get();
            }
        try {
            blocks_.push_back({size, std::make_unique_for_overwrite<char[]>(std::max<std::size_t>(size, 1)), true});
        } catch (const std::bad_alloc&) {
            return nullptr; // the decoder reports BZ_MEM_ERROR
        }
        return blocks_.back().data.get();
    }
    void give(void* data)
    {
        for (tblock& block : blocks_)
            if (block.data.get() == data)
                block.in_use = false;
    }

    std::vector<tblock> blocks_;
};

// How much the bzip2 streams of one file may still unpack to, and the
// decoder memory they share.
struct tunpack_budget {
    tvlm_read_limits limits;
    std::uint64_t used = 0;
    tbz_blocks blocks{};
};

struct tbz_decoder {
    bz_stream stream{};
    bool live = false;
    explicit tbz_decoder(tbz_blocks& blocks)
    {
        stream.bzalloc = &tbz_blocks::allocate;
        stream.bzfree = &tbz_blocks::release;
        stream.opaque = &blocks;
        const int result = BZ2_bzDecompressInit(&stream, 0, 0);
        if (result == BZ_MEM_ERROR)
            throw velmora_error("@ch_no_mem", "bzip2 decoder");
        if (result != BZ_OK)
            damaged("bzip2 decoder");
        live = true;
    }
    ~tbz_decoder()
    {
        if (live)
            BZ2_bzDecompressEnd(&stream);
    }
    tbz_decoder(const tbz_decoder&) = delete;
    tbz_decoder& operator=(const tbz_decoder&) = delete;

    // Unpacks into out[from, to); returns how far it got (short only at the
    // end of the stream).
    std::size_t fill(std::vector<std::uint8_t>& out, std::size_t from, std::size_t to)
    {
        std::size_t at = from;
        while (at < to) {
            const std::size_t room = std::min<std::size_t>(to - at, std::size_t(1) << 30);
            stream.next_out = reinterpret_cast<char*>(out.data() + at);
            stream.avail_out = static_cast<unsigned int>(room);
            const unsigned int in_before = stream.avail_in;
            const int result = BZ2_bzDecompress(&stream);
            const std::size_t produced = room - stream.avail_out;
            at += produced;
            if (result == BZ_STREAM_END)
                return at;
            if (result == BZ_MEM_ERROR)
                throw velmora_error("@ch_no_mem", "bzip2 decoder");
            if (result != BZ_OK)
                damaged("damaged bzip2 stream");
            if (produced == 0 && stream.avail_in == in_before)
                damaged("bzip2 stream ends early");
        }
        return at;
    }
};

// A compressed pixel stream unpacked, never past what its BMP header says the
// picture needs, and growing only as the stream really yields data: a small
// stream that claims a huge picture costs no memory until it delivers it.
std::vector<std::uint8_t> unpack_bmp(std::span<const std::uint8_t> packed, tunpack_budget& budget)
{
    if (packed.size() > UINT_MAX)
        damaged("compressed stream too large");
    tbz_decoder decoder(budget.blocks);
    decoder.stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(packed.data()));
    decoder.stream.avail_in = static_cast<unsigned int>(packed.size());

    std::vector<std::uint8_t> out(bmp_header_size);
    if (decoder.fill(out, 0, bmp_header_size) < bmp_header_size)
        damaged("compressed BMP stream too short");
    const std::uint8_t* h = out.data();
    if (h[0] != 'B' || h[1] != 'M')
        damaged("compressed stream is not a BMP image");
    const std::uint32_t offset = le32(h + 10);
    const auto width = std::int32_t(le32(h + 18));
    const auto raw_height = std::int32_t(le32(h + 22));
    const int bits = h[28] | h[29] << 8;
    if (bits != 24 && bits != 32)
        damaged("unsupported BMP depth");
    if (width < 0 || raw_height == INT32_MIN || offset < bmp_header_size || offset > bmp_header_size + 65536)
        damaged("bad BMP header");
    const std::int64_t height = raw_height < 0 ? -std::int64_t(raw_height) : raw_height;
    try {
        check_raster_size(width, height);
    } catch (const velmora_error&) {
        damaged("BMP dimensions beyond the limit");
    }
    const std::uint64_t expected =
        offset + std::uint64_t((std::uint64_t(width) * std::uint64_t(bits / 8) + 3) & ~std::uint64_t(3)) *
                     std::uint64_t(height);
    if (expected > budget.limits.max_stream_bytes || expected > budget.limits.max_total_bytes - budget.used)
        damaged("compressed stream unpacks beyond the limit");

    std::size_t have = bmp_header_size;
    while (have < expected) {
        const std::size_t next = std::size_t(std::min<std::uint64_t>(expected, std::max<std::uint64_t>(have * 2, 1 << 16)));
        out.resize(next);
        const std::size_t got = decoder.fill(out, have, next);
        if (got < next) {
            out.resize(got);
            break;
        }
        have = got;
    }
    budget.used += out.size();
    return out;
}

// The shape of an uncompressed 24- or 32-bit BMP stream, checked as
// load_bmp checks it. Snapshots are loaded in two steps (check everything,
// then copy pixels into rasters that already exist), which load_bmp cannot do.
struct tbmp_shape {
    std::int32_t width = 0;
    std::int32_t height = 0;
    int bits = 0;
    bool top_down = false;
    std::size_t offset = 0;
    std::size_t row_size = 0;
};

tbmp_shape parse_bmp(std::span<const std::uint8_t> data)
{
    if (data.size() < bmp_header_size || data[0] != 'B' || data[1] != 'M')
        damaged("BMP stream: no BMP header");
    const std::uint8_t* info = data.data() + 14;
    const std::uint32_t header_size = le32(info);
    const auto raw_height = std::int32_t(le32(info + 8));
    const std::uint32_t compression = le32(info + 16);
    tbmp_shape shape;
    shape.width = std::int32_t(le32(info + 4));
    shape.bits = info[14] | info[15] << 8;
    // Bit fields pass for 32 bits only when they describe the plain B, G, R, A layout.
    const bool plain_fields = compression == 3 && shape.bits == 32 && header_size >= 52 &&
                              le32(info + 40) == 0x00FF0000 && le32(info + 44) == 0x0000FF00 &&
                              le32(info + 48) == 0x000000FF;
    if (header_size < 40 || header_size > data.size() - 14 || shape.width < 0 || raw_height == INT32_MIN ||
        (shape.bits != 24 && shape.bits != 32) || (compression != 0 && !plain_fields))
        damaged("BMP stream: unsupported or damaged header");
    shape.top_down = raw_height < 0;
    shape.height = shape.top_down ? -raw_height : raw_height;
    try {
        check_raster_size(shape.width, shape.height);
    } catch (const velmora_error&) {
        damaged("BMP stream: dimensions beyond the limit");
    }
    shape.offset = le32(data.data() + 10);
    shape.row_size = (std::size_t(shape.width) * std::size_t(shape.bits / 8) + 3) & ~std::size_t(3);
    if (shape.offset < 14 + header_size || shape.offset > data.size() ||
        (shape.row_size > 0 && (data.size() - shape.offset) / shape.row_size < std::size_t(shape.height)))
        damaged("BMP stream: pixel data truncated");
    return shape;
}

// Fills `target` (already of the stream's size); 24-bit pixels get alpha 255.
void copy_bmp(std::span<const std::uint8_t> data, const tbmp_shape& shape, Tfbitmap& target)
{
    if (target.empty())
        return;
    for (std::int32_t y = 0; y < shape.height; ++y) {
        const std::int32_t file_row = shape.top_down ? y : shape.height - 1 - y;
        const std::uint8_t* src = data.data() + shape.offset + std::size_t(file_row) * shape.row_size;
        std::uint8_t* dst = target.row(y);
        if (shape.bits == 32) {
            std::memcpy(dst, src, target.stride());
            continue;
        }
        unpack_row_24(src, dst, shape.width);
    }
}

// Reads the pixel streams of one file. Deferred (reading a file on demand),
// an uncompressed stream is only checked and remembered with the raster it
// belongs to; its pixels are read once the whole file has proved sound.
class tstream_reader {
public:
    struct tpending {
        Tfbitmap* target;
        std::size_t offset; // of the stream in the file
        tbmp_shape shape;
    };

    tstream_reader(const tvlm_read_limits& limits, bool defer) : budget_{limits}, defer_(defer) {}

    // Moves the gauge by the kilobytes of the file read so far.
    void show_progress() { progress_ = true; }

    // Returns the raster's size.
    tvlm_size read(tvlm_input& in, std::uint32_t size, bool compressed, Tfbitmap& target)
    {
        const tvlm_size result = read_stream(in, size, compressed, target);
        if (progress_)
            progress_set_position(std::int32_t(in.position() / 1024));
        return result;
    }

    std::vector<tpending> pending;

private:
    tvlm_size read_stream(tvlm_input& in, std::uint32_t size, bool compressed, Tfbitmap& target)
    {
        if (compressed) {
            const std::vector<std::uint8_t> unpacked = unpack_bmp(in.bytes(size), budget_);
            target = load(unpacked);
        } else if (defer_ && in.lazy()) {
            const std::size_t offset = in.position();
            const tbmp_shape shape = parse_bmp(in.stream(size, 128)); // the header is all it looks at
            pending.push_back({&target, offset, shape});
            return {shape.width, shape.height};
        } else {
            target = load(in.bytes(size));
        }
        return {target.width(), target.height()};
    }

    static Tfbitmap load(std::span<const std::uint8_t> bytes)
    {
        const tbmp_shape shape = parse_bmp(bytes);
        Tfbitmap bitmap(shape.width, shape.height);
        copy_bmp(bytes, shape, bitmap);
        return bitmap;
    }

    tunpack_budget budget_;
    bool defer_;
    bool progress_ = false;
};

// Reads a checked stream's pixels from the file straight into its raster:
// 32-bit rows with one gathered read per batch of rows, 24-bit rows through a
// small buffer.
void read_pixels(int fd, const tstream_reader::tpending& stream, Tfbitmap& target)
{
    if (target.empty())
        return;
    const tbmp_shape& shape = stream.shape;
    const std::size_t start = stream.offset + shape.offset;
    auto row_of = [&](std::int32_t file_row) { return shape.top_down ? file_row : shape.height - 1 - file_row; };
    if (shape.bits == 32) {
        std::vector<iovec> rows;
        for (std::int32_t first = 0; first < shape.height;) {
            const std::int32_t count = std::min<std::int32_t>(shape.height - first, IOV_MAX);
            rows.clear();
            for (std::int32_t k = 0; k < count; ++k)
                rows.push_back({target.row(row_of(first + k)), shape.row_size});
            std::size_t at = start + std::size_t(first) * shape.row_size;
            std::size_t index = 0;
            while (index < rows.size()) {
                const ssize_t n = ::preadv(fd, rows.data() + index, int(rows.size() - index), off_t(at));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    damaged("the file cannot be read");
                at += std::size_t(n);
                consume(rows, index, std::size_t(n));
            }
            first += count;
        }
        return;
    }
    const std::int32_t batch = std::max<std::int32_t>(1, std::int32_t((std::size_t(64) << 10) / std::max<std::size_t>(shape.row_size, 1)));
    std::vector<std::uint8_t> buffer(std::size_t(batch) * shape.row_size);
    for (std::int32_t first = 0; first < shape.height; first += batch) {
        const std::int32_t count = std::min(batch, shape.height - first);
        if (!read_at(fd, buffer.data(), std::size_t(count) * shape.row_size, start + std::size_t(first) * shape.row_size))
            damaged("the file cannot be read");
        for (std::int32_t k = 0; k < count; ++k)
            unpack_row_24(buffer.data() + std::size_t(k) * shape.row_size, target.row(row_of(first + k)), shape.width);
    }
}

struct tfile_bytes {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
    std::span<const std::uint8_t> span() const { return {data.get(), size}; }
};

tfile_bytes read_file(const std::string& file_name)
{
    tfd fd(::open(file_name.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        throw velmora_error("@ch_file_unavailable", file_name + ": " + std::strerror(errno ? errno : ENOENT));
    tfile_bytes file;
    file.size = std::size_t(info.st_size);
    try {
        file.data = std::make_unique_for_overwrite<std::uint8_t[]>(std::max<std::size_t>(file.size, 1));
    } catch (const std::bad_alloc&) {
        throw velmora_error("@ch_no_mem", file_name);
    }
    std::size_t done = 0;
    while (done < file.size) {
        const ssize_t n = ::read(fd.get(), file.data.get() + done, file.size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw velmora_error("@ch_file_unavailable", file_name + ": " + std::strerror(errno));
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    file.size = done; // a file that shrank meanwhile is judged on what was read
    return file;
}

tfd open_for_reading(const std::string& file_name)
{
    tfd fd(::open(file_name.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        throw velmora_error("@ch_file_unavailable", file_name + ": " + std::strerror(errno));
    return fd;
}

// Decodes into `doc`, which must be freshly made and stay where it is while
// deferred streams point into it.
void decode_into(tdocument& doc, tvlm_view_state& state, tvlm_input& r, tstream_reader& streams)
{
    if (r.remaining() < vlm_header_size)
        damaged("shorter than the header");
    r.seek(512);
    if (r.u8() != 1)
        damaged("not a native layered file");
    r.skip(1);
    const std::uint16_t width = r.u16();
    const std::uint16_t height = r.u16();
    const std::uint16_t layer_count = r.u16();
    const std::uint16_t current = r.u16();
    const std::uint8_t mask_editing = r.u8();
    const std::uint8_t has_selection_block = r.u8();
    const std::uint8_t compressed_byte = r.u8();
    const std::uint8_t has_path = r.u8();
    r.skip(2);
    const std::uint32_t thumbnail_offset = r.u32();
    const std::uint32_t thumbnail_size = r.u32();
    state.path_state[0] = read_f64(r);
    state.path_state[1] = read_f64(r);
    const std::uint8_t text_count = r.u8();
    r.seek(vlm_header_size);

    if (width == 0 || height == 0)
        damaged("empty document size");
    if (layer_count == 0)
        damaged("no layers");
    if (current >= layer_count)
        damaged("current layer beyond the layer count");
    if (compressed_byte > 1)
        damaged("unknown compression");
    const bool compressed = compressed_byte == 1;
    // Every layer needs at least its record and a BMP header: refuse counts the
    // file cannot hold before reserving anything for them.
    if (std::uint64_t(layer_count) * (vlm_layer_record_size + (compressed ? 14 : bmp_header_size)) > r.remaining())
        damaged("more layers than the file holds");

    doc.layers.reserve(layer_count);
    for (std::uint32_t i = 0; i < layer_count; ++i) {
        auto layer = std::make_unique<tcalque>();
        tcalque_clear(*layer);
        layer->top = r.s32();
        layer->left = r.s32();
        r.skip(4); // width and height: the stream is the authority
        const std::int32_t mask_left = r.s32();
        const std::int32_t mask_top = r.s32();
        const std::uint8_t name_length = r.u8();
        if (name_length > vlm_name_capacity)
            damaged("layer name too long");
        layer->name = read_text(r, name_length, vlm_name_capacity);
        layer->selected = r.u8() & 1;
        layer->opacity = r.u8();
        layer->visible = r.u8();
        layer->blend_mode = r.u8();
        layer->preserve_transparency = r.u8();
        const std::uint8_t has_mask = r.u8();
        layer->mask_enabled = r.u8();
        r.skip(2);
        const std::uint32_t size = r.u32();
        const std::uint32_t mask_size = r.u32();

        const tvlm_size size_read = streams.read(r, size, compressed, layer->bitmap);
        if (has_mask) {
            if (i > 0) {
                auto mask = std::make_unique<tcalque>();
                tcalque_clear(*mask);
                mask->left = mask_left;
                mask->top = mask_top;
                streams.read(r, mask_size, compressed, mask->bitmap);
                layer->mask = std::move(mask);
            } else {
                r.skip(mask_size); // the background never has a mask
            }
        }
        if (i == 0) {
            if (size_read.width != width || size_read.height != height)
                damaged("background size differs from the header");
            layer->left = 0;
            layer->top = 0;
            layer->mask_enabled = 0;
        }
        doc.layers.push_back(std::move(layer));
    }

    doc.selection = {};
    doc.selection.left = 1;
    doc.selection.top = 1;
    doc.selection.mask = Tfbitmap(1, 1);
    doc.selection.mask.fill_pixels(0, 0, 0, 255);
    doc.has_selection = 0;
    if (has_selection_block) {
        const std::uint16_t count = r.u16();
        const bool current_stored = r.u8() != 0;
        state.selection_visible = r.u8() ? 1 : 0;
        if (current_stored && count == 0)
            damaged("selection count");
        if (std::uint64_t(count) * (vlm_selection_record_size + (compressed ? 14 : bmp_header_size)) > r.remaining())
            damaged("more selections than the file holds");
        for (std::uint32_t i = 0; i < count; ++i) {
            tselection* selection = &doc.selection;
            if (i == 0 && current_stored) {
                doc.has_selection = 1;
            } else {
                doc.saved_selections.push_back(std::make_unique<tselection>());
                selection = doc.saved_selections.back().get();
            }
            selection->left = r.s32();
            selection->top = r.s32();
            r.skip(4);
            const std::uint32_t size = r.u32();
            streams.read(r, size, compressed, selection->mask);
        }
    }

    if (thumbnail_offset != 0)
        r.skip(4 + std::uint64_t(thumbnail_size));

    if (has_path) {
        const std::uint32_t count = r.u32() & 0xFFFF;
        if (count > std::uint32_t(path_capacity))
            damaged("path longer than 2048 vertices");
        for (std::uint32_t i = 0; i < std::uint32_t(path_capacity); ++i) {
            const double x = read_f64(r);
            const double y = read_f64(r);
            if (i < count)
                doc.path_points[i] = {x, y};
        }
        doc.path_count = std::int32_t(count);
    }

    for (auto& layer : doc.layers)
        layer->text.is_text = 0;
    for (std::uint32_t i = 0; i < text_count; ++i) {
        const std::uint16_t index = r.u16();
        if (index >= doc.layers.size())
            damaged("text record for a missing layer");
        ttext_layer_attributes t;
        t.is_text = 1;
        const std::uint16_t text_length = read_u16_big_endian(r);
        if (text_length > vlm_text_capacity)
            damaged("text too long");
        t.text = read_text(r, text_length, vlm_text_capacity);
        const std::uint16_t font_length = read_u16_big_endian(r);
        if (font_length > vlm_font_capacity)
            damaged("font name too long");
        t.font_name = read_text(r, font_length, vlm_font_capacity);
        t.size = r.s16();
        t.angle = r.u16();
        t.underline = r.u8();
        t.bold = r.u8();
        t.italic = r.u8();
        t.strikeout = r.u8();
        t.invert = r.u8();
        t.opacity = r.u8();
        r.skip(2);
        t.colour = r.u32();
        doc.layers[index]->text = std::move(t);
    }

    doc.current_layer = current;
    // Mask editing without a mask on the current layer would paint nowhere.
    doc.mask_editing = (mask_editing && doc.layers[current]->mask) ? 1 : 0;
}

// Takes over what a native file holds; the window's own fields stay.
void adopt(tdocument& doc, tdocument& loaded) noexcept
{
    doc.layers = std::move(loaded.layers);
    doc.current_layer = loaded.current_layer;
    doc.mask_editing = loaded.mask_editing;
    doc.selection = std::move(loaded.selection);
    doc.has_selection = loaded.has_selection;
    doc.saved_selections = std::move(loaded.saved_selections);
    doc.outline = std::move(loaded.outline);
    doc.path_count = loaded.path_count;
    doc.path_points = loaded.path_points;
}

} // namespace

// ---------------------------------------------------------------- public

std::string utf8_to_cp1252(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        char32_t c = 0;
        std::size_t length = 1;
        if (lead < 0x80) {
            c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            c = lead & 0x1F;
            length = 2;
        } else if ((lead & 0xF0) == 0xE0) {
            c = lead & 0x0F;
            length = 3;
        } else if ((lead & 0xF8) == 0xF0) {
            c = lead & 0x07;
            length = 4;
        } else {
            out += '?';
            ++i;
            continue;
        }
        bool valid = i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (!valid) {
            out += '?';
            ++i;
            continue;
        }
        out += to_cp1252(c);
        i += length;
    }
    return out;
}

std::string cp1252_to_utf8(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        char32_t c = b;
        if (b >= 0x80 && b < 0xA0)
            c = cp1252_high[b - 0x80] ? cp1252_high[b - 0x80] : U'?';
        append_utf8(out, c);
    }
    return out;
}

tvlm_size vlm_thumbnail_size(std::int32_t width, std::int32_t height)
{
    if (width <= 0 || height <= 0)
        return {1, 1};
    // A very thin document still gets a preview one pixel across.
    if (width >= height) {
        const auto h = round_half_even(static_cast<long double>(height) / (static_cast<long double>(width) / 150));
        return {vlm_thumbnail_long_side, std::int32_t(std::max<std::int64_t>(h, 1))};
    }
    const auto w = round_half_even(static_cast<long double>(width) / (static_cast<long double>(height) / 112));
    return {std::int32_t(std::max<std::int64_t>(w, 1)), vlm_thumbnail_portrait_height};
}

std::vector<std::uint8_t> encode_vlm(const tdocument& doc, const tvlm_write_options& options)
{
    return file_image(plan_vlm(doc, options, false));
}

void write_vlm(const tdocument& doc, const std::string& file_name, const tvlm_write_options& options)
{
    std::optional<tprogress_scope> progress;
    if (options.show_progress)
        progress.emplace(options.progress_caption, std::int32_t(std::min<std::size_t>(doc.layers.size() + 4, INT32_MAX)));
    std::vector<std::uint8_t> bytes;
    try {
        bytes = file_image(plan_vlm(doc, options, options.show_progress));
    } catch (const std::bad_alloc&) {
        throw velmora_error("@ch_no_mem", "saving " + file_name);
    }
    write_file_atomically(file_name, bytes);
}

void write_vlm_snapshot(const tdocument& doc, const std::string& file_name, const tvlm_view_state& view)
{
    tvlm_write_options options;
    options.view = view;
    tplan plan;
    try {
        plan = plan_vlm(doc, options, false);
    } catch (const std::bad_alloc&) {
        throw velmora_error("@ch_no_mem", "snapshot " + file_name);
    }
    tfd fd(::open(file_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0)
        throw velmora_error(write_error, file_name + ": " + std::strerror(errno));
    try {
        emit(plan, fd.get(), file_name);
        if (::close(fd.release()) != 0)
            throw velmora_error(write_error, file_name + ": " + std::strerror(errno));
    } catch (...) {
        ::unlink(file_name.c_str());
        throw;
    }
}

tdocument decode_vlm(std::span<const std::uint8_t> data, tvlm_view_state* view, const tvlm_read_limits& limits)
{
    tdocument doc;
    tvlm_view_state state;
    tstream_reader streams(limits, false);
    tvlm_input input(data);
    decode_into(doc, state, input, streams);
    // The background is opaque whatever its stream held.
    make_opaque(doc.layers[0]->bitmap);
    refresh_selection_outline(doc);
    if (view)
        *view = state;
    return doc;
}

tvlm_view_state read_vlm(tdocument& doc, const std::string& file_name, const std::string* progress_caption)
{
    tvlm_view_state view;
    tdocument loaded;
    try {
        const tfile_bytes file = read_file(file_name);
        std::optional<tprogress_scope> progress;
        tstream_reader streams({}, false);
        if (progress_caption) {
            progress.emplace(*progress_caption, std::int32_t(std::min<std::size_t>(file.size / 1024 + 1, INT32_MAX)));
            streams.show_progress();
        }
        tvlm_input input(file.span());
        decode_into(loaded, view, input, streams);
        make_opaque(loaded.layers[0]->bitmap);
        loaded.zoom_index = doc.zoom_index;
        refresh_selection_outline(loaded);
    } catch (const std::bad_alloc&) {
        throw velmora_error("@ch_no_mem", "reading " + file_name);
    }
    adopt(doc, loaded);
    return view;
}

tvlm_view_state read_vlm_snapshot(tdocument& doc, const std::string& file_name, std::vector<Tfbitmap>& spare)
{
    const tfd fd(::open(file_name.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        damaged(file_name + ": " + std::strerror(errno ? errno : ENOENT));
    tdocument loaded;
    tvlm_view_state view;
    bool background_opaque = false; // a 24-bit stream comes in with alpha 255
    try {
        // Only the pages that receive fields are ever touched.
        const auto size = std::size_t(info.st_size);
        const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(std::max<std::size_t>(size, 1));
        tvlm_input input(fd.get(), buffer.get(), size);
        tstream_reader streams({}, true);
        decode_into(loaded, view, input, streams);
        for (const auto& stream : streams.pending) {
            auto match = std::find_if(spare.begin(), spare.end(), [&](const Tfbitmap& b) {
                return b.width() == stream.shape.width && b.height() == stream.shape.height;
            });
            if (match != spare.end()) {
                *stream.target = std::move(*match);
                spare.erase(match);
            } else {
                *stream.target = Tfbitmap(stream.shape.width, stream.shape.height);
            }
            read_pixels(fd.get(), stream, *stream.target);
            if (stream.target == &loaded.layers[0]->bitmap && stream.shape.bits == 24)
                background_opaque = true;
        }
        loaded.zoom_index = doc.zoom_index;
        refresh_selection_outline(loaded);
    } catch (const std::bad_alloc&) {
        throw velmora_error("@ch_no_mem", "reading " + file_name);
    }
    if (!background_opaque)
        make_opaque(loaded.layers[0]->bitmap);
    std::swap(doc.layers, loaded.layers);
    std::swap(doc.selection, loaded.selection);
    std::swap(doc.saved_selections, loaded.saved_selections);
    std::swap(doc.outline, loaded.outline);
    doc.current_layer = loaded.current_layer;
    doc.mask_editing = loaded.mask_editing;
    doc.has_selection = loaded.has_selection;
    doc.path_count = loaded.path_count;
    doc.path_points = loaded.path_points;
    // What was replaced serves the next load.
    spare.clear();
    for (auto& layer : loaded.layers) {
        spare.push_back(std::move(layer->bitmap));
        if (layer->mask)
            spare.push_back(std::move(layer->mask->bitmap));
    }
    spare.push_back(std::move(loaded.selection.mask));
    for (auto& saved : loaded.saved_selections)
        spare.push_back(std::move(saved->mask));
    return view;
}

tvlm_size read_vlm_size(const std::string& file_name)
{
    const tfd fd = open_for_reading(file_name);
    std::uint8_t header[vlm_header_size];
    if (!read_at(fd.get(), header, sizeof header, 0) || header[512] != 1)
        damaged(file_name + ": not a native layered file");
    const tvlm_size size{header[514] | header[515] << 8, header[516] | header[517] << 8};
    if (size.width == 0 || size.height == 0)
        damaged(file_name + ": empty document size");
    return size;
}

bool read_vlm_thumbnail(const std::string& file_name, Tfbitmap& thumbnail, TColor face_colour)
{
    const tfd fd = open_for_reading(file_name);
    try {
        std::uint8_t header[vlm_header_size];
        if (!read_at(fd.get(), header, sizeof header, 0) || header[512] != 1)
            damaged("no header");
        const std::uint32_t offset = le32(header + 528);
        const std::uint32_t size = le32(header + 532);
        struct stat info {};
        if (offset == 0 || ::fstat(fd.get(), &info) != 0 || std::uint64_t(offset) + 4 + size > std::uint64_t(info.st_size))
            damaged("no preview");
        std::vector<std::uint8_t> bytes(std::size_t(size) + 4);
        if (!read_at(fd.get(), bytes.data(), bytes.size(), offset))
            damaged("preview cut short");
        Tfbitmap stored = load_bmp(std::span<const std::uint8_t>(bytes).subspan(4));
        if (stored.width() != (bytes[0] | bytes[1] << 8) || stored.height() != (bytes[2] | bytes[3] << 8))
            damaged("preview size differs from its stream");
        thumbnail = std::move(stored);
        make_opaque(thumbnail);
        return true;
    } catch (const velmora_error&) {
    } catch (const std::bad_alloc&) {
    }
    thumbnail = Tfbitmap(vlm_thumbnail_long_side, vlm_thumbnail_portrait_height);
    thumbnail.fill(face_colour);
    make_opaque(thumbnail);
    return false;
}

void read_vlm_background(const std::string& file_name, Tfbitmap& target)
{
    tfd fd(::open(file_name.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        damaged(file_name + ": " + std::strerror(errno));
    std::uint8_t head[vlm_header_size + vlm_layer_record_size];
    if (!read_at(fd.get(), head, sizeof head, 0) || head[512] != 1)
        damaged(file_name + ": no header");
    if (head[524] != 0)
        damaged(file_name + ": compressed, not a snapshot");
    if ((head[518] | head[519] << 8) == 0)
        damaged(file_name + ": no layers");
    const std::uint32_t size = le32(head + vlm_header_size + 92);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || std::uint64_t(size) > std::uint64_t(info.st_size) - sizeof head)
        damaged(file_name + ": background stream beyond the end of the file");
    std::vector<std::uint8_t> bytes(size);
    if (!read_at(fd.get(), bytes.data(), bytes.size(), sizeof head))
        damaged(file_name + ": background stream cut short");
    Tfbitmap background = load_bmp(bytes);
    make_opaque(background);
    target = std::move(background);
}

} // namespace velmora
