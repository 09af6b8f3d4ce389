// Where the export's diagnostic trace lines go: standard output in the
// product (a windowed process shows them nowhere), a recorder in tests.
#pragma once

#include <string_view>

namespace kro {

class TraceOutput {
public:
    virtual ~TraceOutput() = default;
    // Writes the text as it stands (the lines carry their own "\n").
    virtual void Write(std::string_view text) = 0;
};

// The program's standard output; safe to use from any thread.
TraceOutput& StandardOutputTrace();

}  // namespace kro
