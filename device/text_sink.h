// Where diagnostic lines go: standard output in the program, a buffer in
// tests. Lines are narrow text; a windowed process shows them nowhere.
#pragma once

#include <string_view>

namespace kro {

class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void Write(std::string_view text) = 0;
};

// Writes to the process's standard output and flushes.
TextSink& StandardOutput();

}  // namespace kro
