// Seams of the console twin beyond the core's: its console, the window
// program's presence, reading the record file and the names' conversion to
// UTF-8. The Win32 side is cli_system_win.cpp; the POSIX twin serves the
// native tests.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "device/clock.h"
#include "device/disk_queries.h"
#include "host_proxy/library_host_process.h"
#include "device/module_loader.h"
#include "device/text_sink.h"
#include "device/thread_priority.h"
#include "export/export_file_system.h"

namespace kro::cli {

class CliConsole {
public:
    virtual ~CliConsole() = default;
    // UTF-8 text to standard output. The first write that fails or is cut
    // short is remembered with the system's reason, and nothing more goes
    // to standard output after it: what a script reads there would have a
    // hole in it.
    void Out(std::string_view text) {
        if (outFailure_ || text.empty()) return;
        std::string reason;
        if (!WriteOut(text, reason)) outFailure_ = reason.empty() ? std::string("the write failed") : reason;
    }
    // Why standard output could not be written; none while every write to it
    // has succeeded.
    const std::optional<std::string>& OutFailure() const { return outFailure_; }
    // UTF-8 text to standard error; its own failures have nowhere to go.
    virtual void Err(std::string_view text) = 0;
    // True when standard output is a console window (the progress line is
    // then rewritten in place).
    virtual bool OutIsConsole() const = 0;

protected:
    // Writes all of the text to standard output; false, with the system's
    // reason (UTF-8), when any of it was not written.
    virtual bool WriteOut(std::string_view text, std::string& reason) = 0;

private:
    std::optional<std::string> outFailure_;
};

class CliSystem {
public:
    virtual ~CliSystem() = default;
    // True while the window program runs in this logon session.
    virtual bool WindowProgramRunning() = 0;
    // The file's bytes, at most limit + 1 of them (so an oversized file is
    // seen as such); none when there is no such file or it cannot be read.
    virtual std::optional<std::string> ReadFile(const std::string& path, std::size_t limit) = 0;
    // A name from the device library (ANSI code page bytes) as UTF-8.
    virtual std::string AnsiToUtf8(std::string_view text) = 0;
};

// What the composition root hands the commands. Everything outlives the run.
struct CliEnvironment {
    ModuleLoader& loader;
    // Where the device library runs: in a host process started by this
    // launcher, or, when null (the native tests), in this process.
    LibraryHostLauncher* hosts;
    Clock& clock;
    ThreadPriority& priority;
    DiskQueries& disks;
    ExportFileSystem& fileSystem;
    CliSystem& system;
    CliConsole& console;
    TextSink& trace;                // the export steps' trace lines
    const std::atomic<bool>& stop;  // raised by Ctrl+C
    std::string exportFolder;       // ends with a separator
};

// The platform's twin seams (one program-wide object each).
CliSystem& SystemCliSystem();
CliConsole& SystemCliConsole();

}  // namespace kro::cli
