#include "device/text_sink.h"

namespace kro {

void ReportSystemFailure(TextSink& out, std::string_view what, std::uint32_t error) {
    out.Write(std::string(what) + " failed: " + SystemErrorText(error) + " (" + std::to_string(error) +
              ")\n");
}

}  // namespace kro
