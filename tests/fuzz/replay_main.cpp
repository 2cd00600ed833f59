// Runs a fuzz target over the files given (or the files in the folders given) without a fuzzing
// engine, so that its corpus is checked by every test run.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    int files = 0;
    for (int i = 1; i < argc; i++) {
        std::vector<std::filesystem::path> paths = {argv[i]};
        if (std::filesystem::is_directory(argv[i]))
            paths.assign(std::filesystem::directory_iterator(argv[i]),
                         std::filesystem::directory_iterator());
        for (const auto& path : paths) {
            std::ifstream in(path, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            files++;
        }
    }
    std::printf("%d inputs replayed\n", files);
    return files > 0 ? 0 : 1;
}
