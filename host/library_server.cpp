#include "host/library_server.h"
#include "device/in_process_library.h"

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>

#include "device/kro_library.h"

namespace kro {
namespace {

// Which entry of the export table a name the binding looks up stands for:
// the plain name, or its __stdcall decorations "_Name@N" and "Name@N".
std::uint32_t ExportBit(std::string_view name) {
    name = name.substr(0, name.find('@'));
    for (int i = 0; i < kKroExportCount; ++i) {
        const std::string_view plain = kKroExports[i].name;
        if (name == plain || (name.size() == plain.size() + 1 && name[0] == '_' && name.substr(1) == plain)) {
            return std::uint32_t{1} << i;
        }
    }
    return 0;
}

bool HasEveryRequiredExport(std::uint32_t mask) {
    for (int i = 0; i < kKroExportCount; ++i) {
        if (kKroExports[i].required && (mask & std::uint32_t{1} << i) == 0) return false;
    }
    return true;
}

// The host's loader: the system's, with the folder the request names standing
// in for the running program's own, and a note of what one Load found, so
// that a failed Load can say why.
class HostModuleLoader final : public ModuleLoader {
public:
    explicit HostModuleLoader(ModuleLoader& system) : system_(system) {}

    void BeginLoad(const std::string& programFolder) {
        programFolder_ = programFolder;
        loadedModule_ = false;
        wrongArchitecture_ = false;
        found_ = 0;
    }
    bool LoadedModule() const { return loadedModule_; }
    bool SawWrongArchitecture() const { return wrongArchitecture_; }
    std::uint32_t FoundExports() const { return found_; }

    Module Load(const std::string& path) override {
        Module module = system_.Load(path);
        if (module != nullptr) {
            loadedModule_ = true;
            found_ = 0;
        } else if (system_.LastLoadWasWrongArchitecture()) {
            wrongArchitecture_ = true;
        }
        return module;
    }
    void* Symbol(Module module, const char* name) override {
        void* entry = system_.Symbol(module, name);
        if (entry != nullptr) found_ |= ExportBit(name);
        return entry;
    }
    void Free(Module module) override { system_.Free(module); }
    // The binding takes what precedes the last backslash as the program's
    // folder; without one it skips that place.
    std::string ExecutablePath() override {
        return programFolder_.empty() ? std::string() : programFolder_ + '\\';
    }
    std::string SystemFolder() override { return system_.SystemFolder(); }
    bool LastLoadWasWrongArchitecture() override { return system_.LastLoadWasWrongArchitecture(); }

private:
    ModuleLoader& system_;
    std::string programFolder_;
    bool loadedModule_ = false;
    bool wrongArchitecture_ = false;
    std::uint32_t found_ = 0;
};

// The library is not told how big the picture buffer is. A guard region
// with a known pattern follows it, as in the in-process export; a changed
// guard means the library wrote past the buffer.
constexpr std::size_t kPictureGuardSize = 64 * 1024;

std::uint8_t GuardByte(std::size_t offset) {
    return static_cast<std::uint8_t>(0xA5 ^ (offset * 31));
}

// What the loop serves requests with. The library may keep the addresses it
// was given, so the card flags and the picture buffer are declared before the
// binding: it is closed, on the loop's thread, before they go.
class LibraryServer {
public:
    explicit LibraryServer(ModuleLoader& loader)
        : loader_(loader),
          picture_(new (std::nothrow) std::uint8_t[kPictureBufferSize + kPictureGuardSize]),
          library_(loader_) {}

    LoadReply Serve(const LoadRequest& request) {
        LoadReply reply;
        const bool hadInstance = library_.Instance() != 0;
        loader_.BeginLoad(request.programFolder);
        reply.loaded = library_.Load(request.folder);
        if (library_.IsLoaded()) {
            for (int i = 0; i < kKroExportCount; ++i) {
                if (library_.HasEntry(static_cast<KroExport>(i))) reply.exportMask |= std::uint32_t{1} << i;
            }
        } else if (loader_.LoadedModule()) {
            reply.exportMask = loader_.FoundExports();
        }
        reply.failure = reply.loaded ? LoadFailure::None : WhyNotLoaded(hadInstance, reply.exportMask);
        reply.called = reply.loaded || reply.failure == LoadFailure::CreateFailed;
        return reply;
    }

    CheckDeviceReply Serve(const CheckDeviceRequest& request) {
        CheckDeviceReply reply{Ready(KroExport::CheckKroDevice), 0, request.deviceValue};
        reply.result = library_.CheckDevice(&reply.deviceValue);
        return reply;
    }

    GetFileFlagReply Serve(const GetFileFlagRequest&) {
        GetFileFlagReply reply;
        reply.called = Ready(KroExport::GetFileFlag);
        reply.result = library_.GetFileFlag(flags_.area, &flags_.flag1, &flags_.flag2, &flags_.flag3);
        std::copy(std::begin(flags_.area), std::end(flags_.area), reply.area.begin());
        reply.flag1 = flags_.flag1;
        reply.flag2 = flags_.flag2;
        reply.flag3 = flags_.flag3;
        return reply;
    }

    GetFileCountReply Serve(const GetFileCountRequest& request) {
        return {Ready(KroExport::GetFileCnt), library_.GetFileCount(request.category)};
    }

    GetFileListReply Serve(const GetFileListRequest& request) {
        GetFileListReply reply;
        reply.called = Ready(KroExport::GetFileListTt);
        // At least one element each, zero-filled, so that the library never
        // receives a null array; the reply then carries `capacity` of them.
        const auto length = static_cast<std::size_t>(std::max(request.capacity, 1));
        reply.entries.resize(length);
        reply.auxiliary.resize(length);
        reply.sizes.resize(length);
        reply.durations.resize(length);
        reply.result =
            library_.GetFileList(request.category, request.capacity, reply.entries.data(),
                                 reply.auxiliary.data(), reply.sizes.data(), reply.durations.data());
        const auto capacity = static_cast<std::size_t>(request.capacity);
        reply.entries.resize(capacity);
        reply.auxiliary.resize(capacity);
        reply.sizes.resize(capacity);
        reply.durations.resize(capacity);
        return reply;
    }

    GetFileIndexInfoReply Serve(const GetFileIndexInfoRequest& request) {
        GetFileIndexInfoReply reply;
        reply.called = Ready(KroExport::GetFileIndexInfo);
        reply.result = library_.GetFileIndexInfo(request.category, request.name.c_str(), &reply.info);
        return reply;
    }

    MakeAviFileReply Serve(const MakeAviFileRequest& request) {
        return {Ready(KroExport::MakeAviFile), library_.MakeAviFile(request.name.c_str())};
    }

    MakeKroFileReply Serve(const MakeKroFileRequest& request) {
        return {Ready(KroExport::MakeKroFile), library_.MakeKroFile(request.name.c_str())};
    }

    MakePictureFileReply Serve(const MakePictureFileRequest& request) {
        MakePictureFileReply reply;
        reply.called = Ready(KroExport::MakePictureFile) && picture_ != nullptr;
        if (!reply.called) return reply;
        // Cleared each time, so that a reply never carries an earlier picture.
        std::uint8_t* const buffer = picture_.get();
        std::uint8_t* const guard = buffer + kPictureBufferSize;
        std::fill_n(buffer, kPictureBufferSize, std::uint8_t{0});
        for (std::size_t i = 0; i < kPictureGuardSize; ++i) guard[i] = GuardByte(i);
        reply.result = library_.MakePictureFile(request.name.c_str(), &reply.length, buffer);
        for (std::size_t i = 0; i < kPictureGuardSize && !reply.overrun; ++i) {
            reply.overrun = guard[i] != GuardByte(i);
        }
        reply.bytes.assign(buffer, buffer + PictureBytesFor(reply.length, reply.overrun));
        return reply;
    }

    CloseReply Serve(const CloseRequest&) {
        CloseReply reply{Ready(KroExport::Delete)};
        library_.Close();
        return reply;
    }

private:
    LoadFailure WhyNotLoaded(bool hadInstance, std::uint32_t foundExports) const {
        if (hadInstance) return LoadFailure::AlreadyLoaded;
        if (!loader_.LoadedModule()) {
            return loader_.SawWrongArchitecture() ? LoadFailure::WrongArchitecture : LoadFailure::NoModule;
        }
        return HasEveryRequiredExport(foundExports) ? LoadFailure::CreateFailed : LoadFailure::MissingExport;
    }

    // Whether the binding will call this entry rather than answer 0.
    bool Ready(KroExport which) const {
        return library_.IsLoaded() && library_.Instance() != 0 && library_.HasEntry(which);
    }

    // What KRO_Get_File_Flag writes; nothing reads it but the reply.
    struct CardFlagStorage {
        char area[kFileFlagAreaSize];
        std::uint8_t flag1;
        std::uint8_t flag2;
        std::uint8_t flag3;
    };

    HostModuleLoader loader_;
    CardFlagStorage flags_{};
    // The picture buffer and its guard region; null when it could not be had
    // (no picture is then made).
    const std::unique_ptr<std::uint8_t[]> picture_;
    InProcessLibrary library_;
};

}  // namespace

ServeEnd ServeLibrary(LibraryChannel& channel, ModuleLoader& loader) {
    LibraryServer server(loader);
    for (;;) {
        try {
            const LibraryChannel::Received received =
                channel.ReadFrame(LibraryChannel::kNoDeadline, kMostRequestBytes);
            if (received.status == LibraryChannel::Status::Closed) return ServeEnd::ChannelClosed;
            if (received.status != LibraryChannel::Status::Ok) return ServeEnd::MalformedRequest;
            const std::optional<Request> request = DecodeRequest(received.payload);
            if (!request) return ServeEnd::MalformedRequest;
            const Reply reply = std::visit([&](const auto& m) -> Reply { return server.Serve(m); }, *request);
            const auto frame = EncodeReply(reply);
            if (!frame ||
                channel.WriteFrame(*frame, LibraryChannel::kNoDeadline) != LibraryChannel::Status::Ok) {
                return ServeEnd::ChannelClosed;
            }
            if (std::holds_alternative<CloseRequest>(*request)) return ServeEnd::CloseServed;
        } catch (const std::bad_alloc&) {
            return ServeEnd::OutOfMemory;
        } catch (const std::length_error&) {
            return ServeEnd::OutOfMemory;
        }
    }
}

int HostExitCode(ServeEnd end) {
    switch (end) {
        case ServeEnd::MalformedRequest:
            return 3;
        case ServeEnd::OutOfMemory:
            return 4;
        case ServeEnd::ChannelClosed:
        case ServeEnd::CloseServed:
            break;
    }
    return 0;
}

}  // namespace kro
