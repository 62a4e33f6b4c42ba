// Runs a fuzzer's entry point once over every file of the folders and files named on the command line,
// as the fuzz build would on its corpus; a broken property traps, failing the test.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

void Replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

} // namespace

int main(int argc, char** argv) {
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path root(argv[i]);
        if (std::filesystem::is_regular_file(root)) {
            Replay(root);
            ++inputs;
            continue;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) {
                Replay(entry.path());
                ++inputs;
            }
        }
    }
    std::printf("%d inputs replayed\n", inputs);
    // An empty or missing corpus checks nothing: refuse it rather than pass.
    return inputs > 0 ? 0 : 1;
}
