#include "formats/file_io.h"

#include "document/error.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <unistd.h>

namespace velmora {

std::vector<std::uint8_t> read_whole_file(const std::string& file_name)
{
    std::FILE* file = std::fopen(file_name.c_str(), "rb");
    if (!file)
        throw velmora_error("@ch_file_unavailable", file_name + ": " + std::strerror(errno));
    std::vector<std::uint8_t> data;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(file) : -1;
    ok = ok && size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        data.resize(std::size_t(size));
        ok = std::fread(data.data(), 1, data.size(), file) == data.size();
    }
    std::fclose(file);
    if (!ok)
        throw velmora_error("@ch_file_unavailable", file_name + ": read failed");
    return data;
}

void write_file_atomically(const std::string& file_name, std::span<const std::uint8_t> bytes)
{
    tatomic_file_sink sink(file_name);
    sink.write(bytes);
    sink.commit();
}

tfile_view::tfile_view(const std::string& file_name)
{
    const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        void* p = ::mmap(nullptr, std::size_t(info.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (p != MAP_FAILED) {
            mapping_ = p;
            bytes_ = {static_cast<const std::uint8_t*>(p), std::size_t(info.st_size)};
        }
    }
    if (fd >= 0)
        ::close(fd);
    if (!mapping_) {
        copy_ = read_whole_file(file_name);
        bytes_ = copy_;
    }
}

tfile_view::~tfile_view()
{
    if (mapping_)
        ::munmap(mapping_, bytes_.size());
}

void tvector_sink::patch(std::uint64_t offset, std::span<const std::uint8_t> bytes)
{
    std::copy(bytes.begin(), bytes.end(), data.begin() + std::ptrdiff_t(offset));
}

tatomic_file_sink::tatomic_file_sink(const std::string& file_name) : target_(file_name)
{
    namespace fs = std::filesystem;
    const fs::path target(file_name);
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0)
        throw velmora_error("@ch_error", file_name + ": " + std::strerror(errno));
    temporary_ = pattern;
    buffer_.reserve(std::size_t(1) << 20);
}

tatomic_file_sink::~tatomic_file_sink()
{
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temporary_.c_str());
    }
}

void tatomic_file_sink::fail(int error)
{
    throw velmora_error("@ch_error", target_ + ": " + std::strerror(error));
}

void tatomic_file_sink::write_all(const std::uint8_t* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(n < 0 ? errno : ENOSPC);
        done += std::size_t(n);
    }
    written_ += size;
}

void tatomic_file_sink::flush()
{
    write_all(buffer_.data(), buffer_.size());
    buffer_.clear();
}

void tatomic_file_sink::write(std::span<const std::uint8_t> bytes)
{
    if (buffer_.size() + bytes.size() > buffer_.capacity())
        flush();
    if (bytes.size() >= buffer_.capacity())
        write_all(bytes.data(), bytes.size());
    else
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void tatomic_file_sink::patch(std::uint64_t offset, std::span<const std::uint8_t> bytes)
{
    if (offset >= written_ && offset + bytes.size() <= written_ + buffer_.size()) {
        std::copy(bytes.begin(), bytes.end(), buffer_.begin() + std::ptrdiff_t(offset - written_));
        return;
    }
    flush();
    if (::pwrite(fd_, bytes.data(), bytes.size(), off_t(offset)) != ssize_t(bytes.size()))
        fail(errno);
}

void tatomic_file_sink::commit()
{
    flush();
    // mkstemp creates the file 0600; a saved picture gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd_, 0666 & ~mask) != 0)
        fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 || std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary_.c_str());
        fail(error);
    }
}

std::string lower_extension(const std::string& file_name)
{
    std::string ext = std::filesystem::path(file_name).extension().string();
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

} // namespace velmora
