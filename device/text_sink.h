// Where diagnostic lines go: the platform's diagnostic sink in the program, a
// buffer in tests. Lines are narrow text ending in "\n". A windowed process
// has no console, so on Windows the lines also go to OutputDebugString, where
// a debugger or DebugView shows them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kro {

class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void Write(std::string_view text) = 0;
};

// The platform's diagnostic sink (one program-wide object): standard output,
// and on Windows OutputDebugStringA as well.
TextSink& DiagnosticOutput();

// The system's text for an error code (FormatMessage on Windows, strerror
// elsewhere), without a trailing line end; "error <code>" when it has none.
std::string SystemErrorText(std::uint32_t error);

// Writes "<what> failed: <the system's text> (<error>)\n" to the sink.
void ReportSystemFailure(TextSink& out, std::string_view what, std::uint32_t error);

// ReportSystemFailure to DiagnosticOutput() with the calling thread's last
// error (GetLastError, errno), which it leaves as it found it.
void ReportLastError(std::string_view what);

}  // namespace kro
