#include "formats/file_io.h"

#include "document/error.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
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
    namespace fs = std::filesystem;
    const fs::path target(file_name);
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        throw velmora_error("@ch_error", file_name + ": " + std::strerror(errno));
    const std::string temporary(name.data());
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += std::size_t(n);
    }
    const int saved_errno = errno;
    // mkstemp creates the file 0600; a saved picture gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ok = ok && ::fchmod(fd, 0666 & ~mask) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && std::rename(temporary.c_str(), file_name.c_str()) == 0)
        return;
    ::unlink(temporary.c_str());
    throw velmora_error("@ch_error", file_name + ": " + std::strerror(saved_errno ? saved_errno : errno));
}

std::string lower_extension(const std::string& file_name)
{
    std::string ext = std::filesystem::path(file_name).extension().string();
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

} // namespace velmora
