// kro_cardgen: writes a simulated card folder for the simulator library.
//
//   kro_cardgen --out DIR --demo [--seed S]
//   kro_cardgen --out DIR --recordings N [--seed S]
//
// The same arguments always give the same card, byte for byte.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "tools/cardgen/card_plan.h"
#include "tools/cardgen/card_writer.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: kro_cardgen --out DIR --demo [--seed S]\n"
                 "       kro_cardgen --out DIR --recordings N [--seed S]\n");
    return 2;
}

bool ParseNumber(const char* text, std::uint32_t& value) {
    char* end = nullptr;
    const unsigned long long number = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0' || number > 0xFFFFFFFFull) return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}

std::uint64_t FolderBytes(const std::string& folder) {
    std::uint64_t total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) total += entry.file_size();
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    std::string out;
    bool demo = false;
    std::uint32_t recordings = 0;
    std::uint32_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--demo") {
            demo = true;
        } else if (arg == "--out" && hasValue) {
            out = argv[++i];
        } else if (arg == "--recordings" && hasValue) {
            if (!ParseNumber(argv[++i], recordings) || recordings == 0) return Usage();
        } else if (arg == "--seed" && hasValue) {
            if (!ParseNumber(argv[++i], seed)) return Usage();
        } else {
            return Usage();
        }
    }
    if (out.empty() || demo == (recordings > 0)) return Usage();

    const auto start = std::chrono::steady_clock::now();
    const kro::cardgen::CardPlan plan =
        demo ? kro::cardgen::DemoCard(seed) : kro::cardgen::ScaleCard(recordings, seed);
    const std::string error = kro::cardgen::WriteCard(plan, out);
    if (!error.empty()) {
        std::fprintf(stderr, "kro_cardgen: %s\n", error.c_str());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("kro_cardgen: %zu recordings, %llu bytes in %s (%.1f s)\n", plan.recordings.size(),
                static_cast<unsigned long long>(FolderBytes(out)), out.c_str(), seconds);
    return 0;
}
