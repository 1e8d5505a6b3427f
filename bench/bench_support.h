#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace velmora::bench {

// Times a reference program (ImageMagick, libvips, bzip2) in the benchmark's
// loop, the command exactly as given; a program that is missing or fails
// skips the case with the command in the message.
inline void run_external(benchmark::State& state, const std::string& command)
{
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError(("failed: " + command).c_str());
            break;
        }
}

} // namespace velmora::bench
