#include <cerrno>
#include <cstdio>
#include <cstring>

#include "device/text_sink.h"

namespace kro {
namespace {

class StandardOutputSink final : public TextSink {
public:
    void Write(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
};

}  // namespace

TextSink& DiagnosticOutput() {
    static StandardOutputSink sink;
    return sink;
}

void ReportLastError(std::string_view what) {
    const int error = errno;
    ReportSystemFailure(DiagnosticOutput(), what, static_cast<std::uint32_t>(error));
    errno = error;
}

std::string SystemErrorText(std::uint32_t error) {
    const char* text = std::strerror(static_cast<int>(error));
    return text != nullptr && *text != '\0' ? std::string(text) : "error " + std::to_string(error);
}

}  // namespace kro
