#include "history/temp_folder.h"

#include "document/error.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velmora {

namespace fs = std::filesystem;

namespace {

constexpr const char* folder_prefix = "velmora-run-";
// A folder is made under this name, locked, then renamed into view, so no
// other run ever sees one of ours unlocked while we live.
constexpr const char* new_prefix = "velmora-run.new-";
constexpr std::size_t suffix_length = 6;
// Left when a run was killed between making and renaming its folder.
constexpr auto unfinished_grace = std::chrono::minutes(1);

bool usable_folder(const char* name)
{
    struct stat info {};
    return name && *name && ::stat(name, &info) == 0 && S_ISDIR(info.st_mode) && ::access(name, W_OK | X_OK) == 0;
}

fs::path prepared_parent()
{
    const fs::path parent = ttemp_folder::default_parent();
    remove_stale_temp_folders(parent);
    return parent;
}

[[noreturn]] void fail(const std::string& what)
{
    throw velmora_error("@ch_error", what + ": " + std::strerror(errno));
}

} // namespace

fs::path ttemp_folder::default_parent()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (usable_folder(runtime))
        return runtime;
    std::error_code error;
    fs::path system = fs::temp_directory_path(error);
    return error ? fs::path("/tmp") : system;
}

ttemp_folder::ttemp_folder(const fs::path& parent)
{
    std::error_code error;
    fs::create_directories(parent, error);
    std::string pattern = (parent / (std::string(new_prefix) + "XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) // mode 0700
        fail("cannot create a temporary folder under " + parent.string());
    const fs::path made(name.data());
    lock_fd_ = ::open(made.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (lock_fd_ < 0 || ::flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
        const int saved = errno;
        if (lock_fd_ >= 0)
            ::close(lock_fd_);
        fs::remove(made, error);
        errno = saved;
        fail("cannot lock the temporary folder");
    }
    const std::string suffix = made.filename().string().substr(std::strlen(new_prefix));
    path_ = parent / (folder_prefix + suffix);
    if (::rename(made.c_str(), path_.c_str()) != 0) {
        const int saved = errno;
        ::close(lock_fd_);
        fs::remove(made, error);
        errno = saved;
        fail("cannot name the temporary folder");
    }
}

ttemp_folder::~ttemp_folder()
{
    std::error_code error;
    fs::remove_all(path_, error);
    ::close(lock_fd_);
}

ttemp_folder& ttemp_folder::program()
{
    static ttemp_folder folder(prepared_parent());
    return folder;
}

std::string ttemp_folder::next_snapshot_name()
{
    ++counter_;
    return (path_ / ("tmp" + std::to_string(counter_))).string();
}

std::size_t remove_stale_temp_folders(const fs::path& parent)
{
    std::size_t removed = 0;
    std::error_code error;
    fs::directory_iterator it(parent, error);
    if (error)
        return 0;
    for (const fs::directory_entry& entry : it) {
        const std::string name = entry.path().filename().string();
        const bool named = name.size() == std::strlen(folder_prefix) + suffix_length && name.rfind(folder_prefix, 0) == 0;
        const bool unfinished =
            name.size() == std::strlen(new_prefix) + suffix_length && name.rfind(new_prefix, 0) == 0;
        if (!named && !unfinished)
            continue;
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
            continue;
        bool stale = false;
        if (named) {
            // The owner holds the lock on its folder until it ends, however it ends.
            const int fd = ::open(entry.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0)
                continue;
            stale = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
            ::close(fd);
        } else {
            stale = std::chrono::system_clock::now() - std::chrono::system_clock::from_time_t(info.st_mtime) >
                    unfinished_grace;
        }
        if (!stale)
            continue;
        fs::remove_all(entry.path(), error);
        if (!error)
            ++removed;
    }
    return removed;
}

} // namespace velmora
