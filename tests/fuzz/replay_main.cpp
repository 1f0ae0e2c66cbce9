#include "FuzzTarget.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

// Runs a fuzz target over saved inputs as an ordinary test: every file named on
// the command line and every file of every folder named there (hidden files
// skipped). A folder that does not exist holds no inputs; a run without any
// input at all fails, so a misplaced corpus cannot pass unnoticed.
int main(int argc, char** argv)
{
    std::size_t runs = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path path = argv[i];
        std::vector<fs::path> inputs;
        std::error_code error;
        if (fs::is_directory(path, error)) {
            for (const auto& entry : fs::directory_iterator(path))
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                    inputs.push_back(entry.path());
            std::sort(inputs.begin(), inputs.end());
        } else if (fs::is_regular_file(path, error)) {
            inputs.push_back(path);
        }
        for (const auto& input : inputs) {
            // Named first, so that the last name printed is the input that crashed.
            std::fprintf(stderr, "%s\n", input.c_str());
            std::ifstream in(input, std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            // A buffer of exactly the input's size, as libFuzzer hands it over,
            // so that a read past its end is caught by the sanitizers.
            const auto data = std::make_unique<std::uint8_t[]>(bytes.size());
            std::copy(bytes.begin(), bytes.end(), data.get());
            LLVMFuzzerTestOneInput(data.get(), bytes.size());
            ++runs;
        }
    }
    std::printf("%zu inputs replayed\n", runs);
    return runs == 0 ? 1 : 0;
}
