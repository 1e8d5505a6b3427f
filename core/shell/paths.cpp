#include "shell/paths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string home_folder()
{
    std::string home = environment("HOME");
    if (!home.empty())
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/tmp";
}

std::string parent_folder(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

struct tfd_closer {
    int fd;
    ~tfd_closer()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

bool write_all(int fd, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

std::string settings_folder()
{
    if (std::string home = environment("VELMORA_HOME"); !home.empty())
        return home;
    // The XDG rules ignore a relative folder.
    if (std::string config = environment("XDG_CONFIG_HOME"); !config.empty() && config.front() == '/')
        return config + "/velmora";
    return home_folder() + "/.config/velmora";
}

std::string prefs_path()
{
    return settings_folder() + "/prefs.cfg";
}

std::string language_path()
{
    return settings_folder() + "/language";
}

bool read_settings_file(const std::string& path, std::string& content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool store_settings_file(const std::string& path, std::string_view content)
{
    const std::string folder = parent_folder(path);
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);

    mode_t mode = 0644;
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) {
        // Renaming over a read-only file would succeed; the user made it read-only for a reason.
        if ((existing.st_mode & S_IWUSR) == 0 || ::access(path.c_str(), W_OK) != 0)
            return false;
        mode = existing.st_mode & 07777;
    }

    std::string temporary = path + ".XXXXXX";
    tfd_closer file{::mkstemp(temporary.data())};
    if (file.fd < 0)
        return false;
    const bool written = ::fchmod(file.fd, mode) == 0 && write_all(file.fd, content) && ::fsync(file.fd) == 0;
    const bool closed = ::close(file.fd) == 0;
    file.fd = -1;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace velmora
