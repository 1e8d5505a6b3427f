#pragma once

#include "document/error.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// A bounds-checked cursor over a whole file held in memory. Every read past
// the end throws velmora_error(`error_key`), so a reader never trusts a length
// it has not checked against the data it really has.
class tbyte_reader {
public:
    tbyte_reader(std::span<const std::uint8_t> data, std::string error_key, bool big_endian = true)
        : data_(data), key_(std::move(error_key)), big_endian_(big_endian) {}

    std::size_t size() const { return data_.size(); }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }
    bool at_end() const { return pos_ >= data_.size(); }
    void set_big_endian(bool big) { big_endian_ = big; }
    bool big_endian() const { return big_endian_; }
    const std::string& error_key() const { return key_; }
    std::span<const std::uint8_t> data() const { return data_; }

    [[noreturn]] void fail(const std::string& detail) const { throw velmora_error(key_, detail); }

    void seek(std::uint64_t position)
    {
        if (position > data_.size())
            fail("offset beyond the end of the file");
        pos_ = std::size_t(position);
    }
    void skip(std::uint64_t count)
    {
        if (count > remaining())
            fail("the file ends early");
        pos_ += std::size_t(count);
    }
    std::span<const std::uint8_t> bytes(std::uint64_t count)
    {
        if (count > remaining())
            fail("the file ends early");
        auto result = data_.subspan(pos_, std::size_t(count));
        pos_ += std::size_t(count);
        return result;
    }
    std::uint8_t u8()
    {
        if (pos_ >= data_.size())
            fail("the file ends early");
        return data_[pos_++];
    }
    std::uint16_t u16()
    {
        auto b = bytes(2);
        return big_endian_ ? std::uint16_t(b[0] << 8 | b[1]) : std::uint16_t(b[1] << 8 | b[0]);
    }
    std::uint32_t u32()
    {
        auto b = bytes(4);
        return big_endian_ ? std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3]
                           : std::uint32_t(b[3]) << 24 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[1]) << 8 | b[0];
    }
    std::int16_t s16() { return std::int16_t(u16()); }
    std::int32_t s32() { return std::int32_t(u32()); }
    std::string tag4()
    {
        auto b = bytes(4);
        return std::string(b.begin(), b.end());
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    std::string key_;
    bool big_endian_;
};

// Appends numbers to a byte vector in either byte order; `patch` rewrites a
// field written earlier (lengths known only at the end).
class tbyte_writer {
public:
    explicit tbyte_writer(bool big_endian) : big_endian_(big_endian) {}

    std::vector<std::uint8_t>& buffer() { return out_; }
    std::size_t position() const { return out_.size(); }
    void reserve(std::size_t n) { out_.reserve(n); }

    void u8(std::uint8_t v) { out_.push_back(v); }
    void u16(std::uint16_t v)
    {
        if (big_endian_) {
            out_.push_back(std::uint8_t(v >> 8));
            out_.push_back(std::uint8_t(v));
        } else {
            out_.push_back(std::uint8_t(v));
            out_.push_back(std::uint8_t(v >> 8));
        }
    }
    void u32(std::uint32_t v)
    {
        if (big_endian_) {
            for (int shift = 24; shift >= 0; shift -= 8)
                out_.push_back(std::uint8_t(v >> shift));
        } else {
            for (int shift = 0; shift <= 24; shift += 8)
                out_.push_back(std::uint8_t(v >> shift));
        }
    }
    void s16(std::int16_t v) { u16(std::uint16_t(v)); }
    void s32(std::int32_t v) { u32(std::uint32_t(v)); }
    void text(std::string_view s) { out_.insert(out_.end(), s.begin(), s.end()); }
    void bytes(std::span<const std::uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
    void zeros(std::size_t n) { out_.resize(out_.size() + n, 0); }
    // Room for `n` bytes to be filled in place; returns their offset.
    std::size_t grow(std::size_t n)
    {
        const std::size_t at = out_.size();
        out_.resize(at + n);
        return at;
    }
    std::uint8_t* at(std::size_t offset) { return out_.data() + offset; }

    void patch_u32(std::size_t offset, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i) {
            const int shift = big_endian_ ? 24 - 8 * i : 8 * i;
            out_[offset + std::size_t(i)] = std::uint8_t(v >> shift);
        }
    }
    void patch_u16(std::size_t offset, std::uint16_t v)
    {
        out_[offset + (big_endian_ ? 0 : 1)] = std::uint8_t(v >> 8);
        out_[offset + (big_endian_ ? 1 : 0)] = std::uint8_t(v);
    }

private:
    std::vector<std::uint8_t> out_;
    bool big_endian_;
};

} // namespace velmora
