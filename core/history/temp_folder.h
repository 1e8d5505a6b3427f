#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace velmora {

// A private folder (mode 0700) for one running program: undo snapshots,
// scanner transfers and plug-in exchange files live here and nowhere shared.
// The folder holds a lock for as long as its owner lives, so a later run can
// tell the folders of dead runs from those of running ones and remove them.
class ttemp_folder {
public:
    // Creates "velmora-run-XXXXXX" under `parent` (created when missing).
    // Throws velmora_error("@ch_error") when that fails.
    explicit ttemp_folder(const std::filesystem::path& parent);
    // Removes the folder with everything in it.
    ~ttemp_folder();
    ttemp_folder(const ttemp_folder&) = delete;
    ttemp_folder& operator=(const ttemp_folder&) = delete;

    // The folder of this program run, under default_parent(). Created on first
    // use, after removing the folders that dead runs left behind; removed at
    // exit.
    static ttemp_folder& program();
    // $XDG_RUNTIME_DIR when set and usable, else the system temporary folder.
    static std::filesystem::path default_parent();

    const std::filesystem::path& path() const { return path_; }

    // Full name of the next undo snapshot: "tmp" followed by the run-wide
    // counter after incrementing it ("tmp1" first).
    std::string next_snapshot_name();

private:
    std::filesystem::path path_;
    int lock_fd_ = -1;
    std::int32_t counter_ = 0;
};

// Removes the folders under `parent` that belong to runs no longer alive
// (ours only: same user, real folders, our name pattern). Returns how many.
std::size_t remove_stale_temp_folders(const std::filesystem::path& parent);

} // namespace velmora
