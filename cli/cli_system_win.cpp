#include <windows.h>

#include <algorithm>

#include "cli/cli_system.h"
#include "resources/single_instance_name.h"

namespace kro::cli {
namespace {

std::wstring Widen(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    const int length =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
    if (wide.empty()) return {};
    const int length = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                           0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                            nullptr, nullptr);
    return text;
}

class WinCliSystem final : public CliSystem {
public:
    bool WindowProgramRunning() override {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kSingleInstanceName);
        if (mutex != nullptr) {
            CloseHandle(mutex);
            return true;
        }
        // The window program runs elevated (its manifest asks for it); a
        // twin without those rights may see its mutex only as access denied.
        return GetLastError() == ERROR_ACCESS_DENIED;
    }

    std::optional<std::string> ReadFile(const std::string& path, std::size_t limit) override {
        HANDLE file =
            CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return std::nullopt;
        std::string bytes;
        char buffer[64 * 1024];
        DWORD read = 0;
        bool ok = true;
        while (bytes.size() <= limit) {
            if (!::ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
                ok = false;
                break;
            }
            if (read == 0) break;
            bytes.append(buffer, read);
        }
        CloseHandle(file);
        if (!ok) return std::nullopt;
        if (bytes.size() > limit + 1) bytes.resize(limit + 1);
        return bytes;
    }

    std::string AnsiToUtf8(std::string_view text) override { return Narrow(Widen(text, CP_ACP), CP_UTF8); }
};

// Writes UTF-8 text to one standard handle: as UTF-16 to a console window,
// whatever its code page, so Korean names show in any console; as the UTF-8
// bytes to a file or a pipe.
class StandardStream {
public:
    // A copy of the handle of its own, so that the entry may point the C
    // runtime's descriptor elsewhere (which closes the original).
    explicit StandardStream(DWORD which) : handle_(GetStdHandle(which)) {
        HANDLE copy = nullptr;
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE &&
            DuplicateHandle(GetCurrentProcess(), handle_, GetCurrentProcess(), &copy, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
            handle_ = copy;
        }
        DWORD mode = 0;
        console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
    }
    bool IsConsole() const { return console_; }
    // False, with the system's reason, when any of the text was not
    // written. A process started without the handle has chosen to see
    // nothing there: the text goes nowhere, and that is no failure.
    bool Write(std::string_view text, std::string& reason) const {
        if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE || text.empty()) return true;
        return console_ ? WriteToConsole(Widen(text, CP_UTF8), reason) : WriteToFile(text, reason);
    }

private:
    // Older consoles refuse one very long write; a few thousand characters
    // at a time, never splitting a surrogate pair.
    static constexpr std::size_t kConsoleChunk = 8192;

    bool WriteToConsole(const std::wstring& wide, std::string& reason) const {
        for (std::size_t done = 0; done < wide.size();) {
            std::size_t chunk = std::min(kConsoleChunk, wide.size() - done);
            if (done + chunk < wide.size() && IS_HIGH_SURROGATE(wide[done + chunk - 1])) --chunk;
            DWORD written = 0;
            if (!WriteConsoleW(handle_, wide.data() + done, static_cast<DWORD>(chunk), &written, nullptr))
                return Failed(reason);
            if (written != chunk) return CutShort(written, chunk, "characters", reason);
            done += chunk;
        }
        return true;
    }

    bool WriteToFile(std::string_view text, std::string& reason) const {
        DWORD written = 0;
        if (!WriteFile(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
            return Failed(reason);
        return written == text.size() || CutShort(written, text.size(), "bytes", reason);
    }

    static bool Failed(std::string& reason) {
        reason = Narrow(Widen(SystemErrorText(GetLastError()), CP_ACP), CP_UTF8);
        return false;
    }
    static bool CutShort(std::size_t written, std::size_t asked, const char* unit, std::string& reason) {
        reason =
            "only " + std::to_string(written) + " of " + std::to_string(asked) + " " + unit + " were written";
        return false;
    }

    HANDLE handle_;
    bool console_ = false;
};

class WinCliConsole final : public CliConsole {
public:
    void Err(std::string_view text) override {
        std::string ignored;
        err_.Write(text, ignored);
    }
    bool OutIsConsole() const override { return out_.IsConsole(); }

protected:
    bool WriteOut(std::string_view text, std::string& reason) override { return out_.Write(text, reason); }

private:
    StandardStream out_{STD_OUTPUT_HANDLE};
    StandardStream err_{STD_ERROR_HANDLE};
};

}  // namespace

CliSystem& SystemCliSystem() {
    static WinCliSystem system;
    return system;
}

CliConsole& SystemCliConsole() {
    static WinCliConsole console;
    return console;
}

}  // namespace kro::cli
