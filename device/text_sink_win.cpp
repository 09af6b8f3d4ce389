#include <windows.h>

#include <cstdio>

#include "device/text_sink.h"

namespace kro {
namespace {

// A windowed program's standard output usually leads nowhere; the debug
// output reaches a debugger or DebugView on the user's machine.
class DebugOutputSink final : public TextSink {
public:
    void Write(std::string_view text) override {
        const std::string line(text);
        OutputDebugStringA(line.c_str());
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
};

}  // namespace

TextSink& DiagnosticOutput() {
    static DebugOutputSink sink;
    return sink;
}

void ReportLastError(std::string_view what) {
    const DWORD error = GetLastError();
    ReportSystemFailure(DiagnosticOutput(), what, error);
    SetLastError(error);
}

std::string SystemErrorText(std::uint32_t error) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length > 0 && buffer != nullptr ? std::string(buffer, length) : std::string();
    if (buffer != nullptr) LocalFree(buffer);
    // The system's texts end in ".\r\n".
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(error) : text;
}

}  // namespace kro
