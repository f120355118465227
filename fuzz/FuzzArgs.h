#pragma once
// Turns a fuzzer's bytes into command-line arguments: one argument per line
// (a NUL inside an argument is kept, as a file can hold it even if a shell
// cannot pass it).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline std::vector<std::string> fuzzArguments(const uint8_t* data, size_t size)
{
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n')
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    return args;
}
