#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace velmora::testing {

// Points VELMORA_HOME at a fresh temporary folder for one test, so no test
// reads or writes a real user's settings.
class tsettings_home {
public:
    explicit tsettings_home(const std::string& leaf = "home")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-shell-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        folder_ = root_ + "/" + leaf;
        std::filesystem::create_directories(folder_);
        ::setenv("VELMORA_HOME", folder_.c_str(), 1);
    }
    ~tsettings_home()
    {
        ::unsetenv("VELMORA_HOME");
        std::error_code ignored;
        std::filesystem::permissions(folder_ + "/prefs.cfg", std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(root_, ignored);
    }
    tsettings_home(const tsettings_home&) = delete;
    tsettings_home& operator=(const tsettings_home&) = delete;

    const std::string& folder() const { return folder_; }
    std::string file(const std::string& name) const { return folder_ + "/" + name; }

    void write(const std::string& name, const std::string& content) const
    {
        std::ofstream(file(name), std::ios::binary) << content;
    }
    std::string read(const std::string& name) const
    {
        std::ifstream in(file(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::string root_;
    std::string folder_;
};

} // namespace velmora::testing
