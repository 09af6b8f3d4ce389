// An output file that appears under its final name only when complete: it
// is written under a temporary name in the same folder and moved over the
// final name by Commit. A file that is never committed is removed.
#pragma once

#include <cstdio>
#include <string>

namespace kro::sim {

class AtomicFile {
public:
    explicit AtomicFile(std::string finalPath);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The open temporary file, or null when it could not be created.
    std::FILE* Stream() const { return stream_; }
    // Closes the file and moves it to its final name; false when any of it
    // failed, and then nothing is left behind.
    bool Commit();

private:
    void Discard();

    std::string finalPath_;
    std::string temporaryPath_;
    std::FILE* stream_ = nullptr;
};

}  // namespace kro::sim
