#pragma once

#include <string>

// The data files under resources/catalogue, compiled into the program.
namespace velmora::embedded {

const std::string& catalogue_chaines_tsv();
const std::string& catalogue_tips_tsv();
const std::string& catalogue_windows_tsv();
const std::string& catalogue_donot_tsv();

} // namespace velmora::embedded
