#include "simulator/atomic_file.h"

#include <atomic>

#include "simulator/sim_platform.h"

namespace kro::sim {
namespace {

std::atomic<unsigned> temporaryCounter{0};

}  // namespace

AtomicFile::AtomicFile(std::string finalPath) : finalPath_(std::move(finalPath)) {
    // Unique per process and call, so concurrent conversions never share one.
    temporaryPath_ = finalPath_ + "." + std::to_string(CurrentProcessId()) + "-" +
                     std::to_string(temporaryCounter.fetch_add(1)) + ".part";
    stream_ = std::fopen(temporaryPath_.c_str(), "wb");
}

AtomicFile::~AtomicFile() {
    Discard();
}

bool AtomicFile::Commit() {
    if (stream_ == nullptr) return false;
    const bool written = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (written && closed && MoveFileOver(temporaryPath_, finalPath_)) {
        temporaryPath_.clear();
        return true;
    }
    Discard();
    return false;
}

void AtomicFile::Discard() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temporaryPath_.empty()) {
        RemoveFile(temporaryPath_);
        temporaryPath_.clear();
    }
}

}  // namespace kro::sim
