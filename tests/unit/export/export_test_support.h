// Helpers for the export tests: a scratch folder tree, recorders for the
// progress bars and the trace, and readers for what ended up on disk.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "device/text_sink.h"
#include "export/export_worker.h"

namespace kro::fake {

// A fresh folder under the system's temporary folder, removed with its
// contents at the end.
class ScratchTree {
public:
    ScratchTree();
    ~ScratchTree();
    ScratchTree(const ScratchTree&) = delete;
    ScratchTree& operator=(const ScratchTree&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    // A folder path below the root as the worker takes it: with a trailing
    // separator.
    std::string FolderText(const std::string& relative) const;
    // Every file and folder below the root, relative, with "/" separators;
    // folders end in "/".
    std::set<std::string> Entries() const;

private:
    std::filesystem::path root_;
};

std::string ReadWholeFile(const std::filesystem::path& path);
void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes);

class RecordingProgress final : public ExportProgress {
public:
    void SetRange(ExportBar bar, std::int32_t upper) override;
    void SetPosition(ExportBar bar, std::int32_t position) override;

    // "range files 4", "files 0", "step 1", ...; shared with other recorders
    // when they write to the same log.
    std::vector<std::string>* log = &events;
    std::vector<std::string> events;
};

class RecordingTrace final : public TextSink {
public:
    void Write(std::string_view text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};

}  // namespace kro::fake
