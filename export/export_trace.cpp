#include "export/export_trace.h"

#include <cstdio>

namespace kro {
namespace {

class StandardOutput final : public TraceOutput {
public:
    void Write(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
};

}  // namespace

TraceOutput& StandardOutputTrace() {
    static StandardOutput output;
    return output;
}

}  // namespace kro
