#include "device/text_sink.h"

#include <cstdio>

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

TextSink& StandardOutput() {
    static StandardOutputSink sink;
    return sink;
}

}  // namespace kro
