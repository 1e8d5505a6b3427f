#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// The whole file in memory. Throws velmora_error("@ch_file_unavailable") when
// it cannot be opened or read.
std::vector<std::uint8_t> read_whole_file(const std::string& file_name);

// Writes `bytes` to a temporary file beside `file_name`, flushes it and renames
// it over the target, so a failed save never leaves half a file where the
// user's file was. Throws velmora_error("@ch_error") on failure.
void write_file_atomically(const std::string& file_name, std::span<const std::uint8_t> bytes);

// A whole file mapped read-only into memory, for readers of large files:
// mapping costs far less than reading into fresh memory. Falls back to
// reading when the file cannot be mapped. Throws like read_whole_file.
class tfile_view {
public:
    explicit tfile_view(const std::string& file_name);
    ~tfile_view();
    tfile_view(const tfile_view&) = delete;
    tfile_view& operator=(const tfile_view&) = delete;
    std::span<const std::uint8_t> bytes() const { return bytes_; }
    operator std::span<const std::uint8_t>() const { return bytes_; }

private:
    std::span<const std::uint8_t> bytes_;
    void* mapping_ = nullptr;
    std::vector<std::uint8_t> copy_;
};

// Receives a file's bytes in order; `patch` rewrites bytes already written
// (lengths that are known only at the end).
class tbyte_sink {
public:
    virtual ~tbyte_sink() = default;
    virtual void write(std::span<const std::uint8_t> bytes) = 0;
    virtual void patch(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
    virtual std::uint64_t position() const = 0;
};

class tvector_sink : public tbyte_sink {
public:
    void write(std::span<const std::uint8_t> bytes) override { data.insert(data.end(), bytes.begin(), bytes.end()); }
    void patch(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
    std::uint64_t position() const override { return data.size(); }
    std::vector<std::uint8_t> data;
};

// Streams into a temporary file beside the target; commit() renames it over
// the target. Destroyed without commit, it removes the temporary file, so a
// failed save never touches the user's file. Throws velmora_error("@ch_error").
class tatomic_file_sink : public tbyte_sink {
public:
    explicit tatomic_file_sink(const std::string& file_name);
    ~tatomic_file_sink() override;
    tatomic_file_sink(const tatomic_file_sink&) = delete;
    tatomic_file_sink& operator=(const tatomic_file_sink&) = delete;
    void write(std::span<const std::uint8_t> bytes) override;
    void patch(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
    std::uint64_t position() const override { return written_ + buffer_.size(); }
    void commit();

private:
    void flush();
    void write_all(const std::uint8_t* data, std::size_t size);
    [[noreturn]] void fail(int error);
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    std::uint64_t written_ = 0;
    std::vector<std::uint8_t> buffer_;
};

// Lower-cased extension with its dot (".jpg"), empty when there is none.
std::string lower_extension(const std::string& file_name);

} // namespace velmora
