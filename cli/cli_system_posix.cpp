#include <cerrno>
#include <cstdio>
#include <fstream>

#include <unistd.h>

#include "cli/cli_system.h"

namespace kro::cli {
namespace {

class PosixCliSystem final : public CliSystem {
public:
    // There is no window program here.
    bool WindowProgramRunning() override { return false; }

    std::optional<std::string> ReadFile(const std::string& path, std::size_t limit) override {
        std::ifstream file(path, std::ios::binary);
        if (!file) return std::nullopt;
        std::string bytes;
        char buffer[64 * 1024];
        while (bytes.size() <= limit && file.read(buffer, sizeof buffer).gcount() > 0) {
            bytes.append(buffer, static_cast<std::size_t>(file.gcount()));
        }
        if (file.bad()) return std::nullopt;
        if (bytes.size() > limit + 1) bytes.resize(limit + 1);
        return bytes;
    }

    // Names are taken as UTF-8 already.
    std::string AnsiToUtf8(std::string_view text) override { return std::string(text); }
};

class PosixCliConsole final : public CliConsole {
public:
    void Err(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }
    bool OutIsConsole() const override { return isatty(1) != 0; }

protected:
    bool WriteOut(std::string_view text, std::string& reason) override {
        errno = 0;
        if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0)
            return true;
        reason = errno != 0 ? SystemErrorText(static_cast<std::uint32_t>(errno)) : "the write was cut short";
        return false;
    }
};

}  // namespace

CliSystem& SystemCliSystem() {
    static PosixCliSystem system;
    return system;
}

CliConsole& SystemCliConsole() {
    static PosixCliConsole console;
    return console;
}

}  // namespace kro::cli
