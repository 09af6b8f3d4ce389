// The host's request loop on a thread of its own, at the far end of a socket
// pair: against the test doubles and a scripted library.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <thread>

#include "device/in_process_library.h"
#include "host/library_server.h"
#include "host_proxy/call_host.h"
#include "tests/doubles/double_support.h"
#include "tests/support/bounded_wait.h"
#include "tests/unit/host_link/wire_fixtures.h"

namespace {

using namespace kro;
using namespace kro::wire_test;
using kro::testing::BecomesReady;
using test::CallLog;
using test::ScratchFolder;

// A library the test scripts, behind a fake loader: every export notes the
// thread that called it. It never answers a device check (so the byte must
// come back as sent), fills one list entry whatever the capacity and claims
// five more, and makes pictures as their names say: "whole:N" fills the
// buffer and reports N bytes, "short:N" writes 4 and reports N, "overrun"
// writes 16 bytes past the buffer.
struct ScriptedLibrary {
    std::mutex mutex;
    std::vector<std::thread::id> callers;
    bool listGotArrays = true;
};
ScriptedLibrary scripted;

std::int32_t Noted() {
    const std::lock_guard lock(scripted.mutex);
    scripted.callers.push_back(std::this_thread::get_id());
    return 1;
}

std::int32_t ListOne(KroHandle, std::uint8_t, std::int32_t capacity, RecordingEntry* entries,
                     std::int32_t* auxiliary, std::uint32_t* sizes, std::int32_t* durations) {
    Noted();
    if (entries == nullptr || auxiliary == nullptr || sizes == nullptr || durations == nullptr) {
        const std::lock_guard lock(scripted.mutex);
        scripted.listGotArrays = false;
    }
    entries[0] = Entry("ONE", 'P');
    sizes[0] = 99;
    return capacity + 5;
}

std::int32_t MakePicture(KroHandle, const char* name, std::int32_t* size, std::uint8_t* buffer) {
    Noted();
    const std::string text = name;
    const std::size_t colon = text.find(':');
    *size = colon == std::string::npos ? 0 : std::stoi(text.substr(colon + 1));
    std::size_t written = text.starts_with("whole") ? kPictureBufferSize : 4;
    if (text == "overrun") written = kPictureBufferSize + 16;
    for (std::size_t i = 0; i < written; ++i) buffer[i] = static_cast<std::uint8_t>(i % 251 + 1);
    return 1;
}

template <typename Fn>
void* Export(Fn* entry) {
    return reinterpret_cast<void*>(entry);
}

class ScriptedLoader final : public ModuleLoader {
public:
    Module Load(const std::string&) override { return &token_; }
    void* Symbol(Module, const char* name) override {
        static const std::map<std::string, void*> exports = {
            {"KRO_Create", Export(+[]() -> KroHandle { return Noted() + 6; })},
            {"KRO_Delete", Export(+[](KroHandle) { return Noted(); })},
            {"KRO_Check_Kro_Device", Export(+[](KroHandle, std::uint8_t*) { return Noted(); })},
            {"KRO_Get_File_Flag",
             Export(+[](KroHandle, char*, std::uint8_t*, std::uint8_t*, std::uint8_t*) { return Noted(); })},
            {"KRO_Get_File_Cnt", Export(+[](KroHandle, std::uint8_t) { return Noted(); })},
            {"KRO_Get_File_List_tt", Export(&ListOne)},
            {"KRO_Get_File_Index_Info",
             Export(+[](KroHandle, std::uint8_t, const char*, RecordingIndexInfo*) { return Noted(); })},
            {"KRO_Make_Avi_File", Export(+[](KroHandle, const char*) { return Noted(); })},
            {"KRO_Make_Kro_File", Export(+[](KroHandle, const char*) { return Noted(); })},
            {"KRO_Make_Picture_File", Export(&MakePicture)},
        };
        // The exports the binding never calls.
        const auto found = exports.find(name);
        return found != exports.end() ? found->second : Export(&Noted);
    }
    void Free(Module) override {}
    // Any path will do: Load answers every one.
    std::string ExecutablePath() override { return "C:\\test\\program.exe"; }

private:
    int token_ = 0;
};

// The platform's loader, hiding one export name when told to.
class HidingLoader final : public ModuleLoader {
public:
    void Hide(std::string name) {
        const std::lock_guard lock(mutex_);
        hidden_ = std::move(name);
    }
    Module Load(const std::string& path) override { return system_.Load(path); }
    void* Symbol(Module module, const char* name) override {
        const std::lock_guard lock(mutex_);
        return hidden_ == name ? nullptr : system_.Symbol(module, name);
    }
    void Free(Module module) override { system_.Free(module); }
    std::string ExecutablePath() override { return system_.ExecutablePath(); }
    bool LastLoadWasWrongArchitecture() override { return system_.LastLoadWasWrongArchitecture(); }

private:
    ModuleLoader& system_ = SystemModuleLoader();
    std::mutex mutex_;
    std::string hidden_;
};

// The host's loop on a thread of its own, at the far end of a socket pair.
class LibraryHost : public ::testing::Test {
protected:
    LibraryHost() {
        int ends[2] = {-1, -1};
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        program = MakeSocketChannel(ends[0]);
        host = MakeSocketChannel(ends[1]);
    }
    // The program going ends the loop, which must then end.
    void TearDown() override {
        program.reset();
        if (served.valid()) {
            EXPECT_TRUE(BecomesReady(served, "the host's loop to end"));
        }
    }

    void Start(ModuleLoader& loader) {
        served = std::async(std::launch::async, [this, &loader] {
            loopThread = std::this_thread::get_id();
            return ServeLibrary(*host, loader);
        });
    }
    ServeEnd End() {
        if (!BecomesReady(served, "the host's loop to end")) return ServeEnd::OutOfMemory;
        return served.get();
    }
    template <typename Answer>
    std::optional<Answer> Call(const Request& request) {
        const std::optional<Reply> reply = CallHost(*program, request, Later());
        if (!reply || !std::holds_alternative<Answer>(*reply)) return std::nullopt;
        return std::get<Answer>(*reply);
    }
    std::filesystem::path Place(const ScratchFolder& where, const char* builtName) const {
        return test::PlaceCopy(where.Path(), builtName);
    }

    ScratchFolder folder{"host"};
    HidingLoader hidingLoader;
    ScriptedLoader scriptedLoader;
    std::unique_ptr<LibraryChannel> program;
    std::unique_ptr<LibraryChannel> host;
    std::thread::id loopThread;
    // Last, so that it is waited for before everything the loop uses goes.
    std::future<ServeEnd> served;
};

TEST_F(LibraryHost, EveryCallIsAnsweredAsTheInProcessBindingAnswersIt) {
    const auto hosted = Place(folder, test::kCompleteDouble);
    ScratchFolder ownFolder{"in-process"};
    const auto own = Place(ownFolder, test::kCompleteDouble);
    InProcessLibrary library{SystemModuleLoader()};
    ASSERT_TRUE(library.Load(ownFolder.Text()));
    Start(SystemModuleLoader());
    const auto load = Call<LoadReply>(LoadRequest{folder.Text(), ""});
    ASSERT_TRUE(load);
    EXPECT_TRUE(*load == (LoadReply{true, true, LoadFailure::None, 0xFFFFFFFF}));

    std::uint8_t deviceValue = 0;
    EXPECT_EQ(Call<CheckDeviceReply>(CheckDeviceRequest{0}),
              (CheckDeviceReply{true, library.CheckDevice(&deviceValue), deviceValue}));
    GetFileFlagReply flags{true, 0, {}, 0, 0, 0};
    flags.result = library.GetFileFlag(flags.area.data(), &flags.flag1, &flags.flag2, &flags.flag3);
    EXPECT_EQ(Call<GetFileFlagReply>(GetFileFlagRequest{}), flags);
    EXPECT_EQ(Call<GetFileCountReply>(GetFileCountRequest{200}),
              (GetFileCountReply{true, library.GetFileCount(200)}));
    GetFileListReply list = ZeroList(true, 3);
    list.result = library.GetFileList(3, 3, list.entries.data(), list.auxiliary.data(), list.sizes.data(),
                                      list.durations.data());
    EXPECT_TRUE(Call<GetFileListReply>(GetFileListRequest{3, 3}) == list);
    GetFileIndexInfoReply info{true, 0, {}};
    info.result = library.GetFileIndexInfo(2, "EVT_0001", &info.info);
    EXPECT_TRUE(Call<GetFileIndexInfoReply>(GetFileIndexInfoRequest{2, "EVT_0001"}) == info);
    EXPECT_EQ(Call<MakeAviFileReply>(MakeAviFileRequest{"EVT_0002"}),
              (MakeAviFileReply{true, library.MakeAviFile("EVT_0002")}));
    EXPECT_EQ(Call<MakeKroFileReply>(MakeKroFileRequest{"EVT_0003"}),
              (MakeKroFileReply{true, library.MakeKroFile("EVT_0003")}));
    MakePictureFileReply picture{true, 0, 0, false, Bytes(kPictureBufferSize)};
    picture.result = library.MakePictureFile("PHO_0004", &picture.length, picture.bytes.data());
    picture.bytes.resize(static_cast<std::size_t>(picture.length));
    EXPECT_EQ(Call<MakePictureFileReply>(MakePictureFileRequest{"PHO_0004"}), picture);

    EXPECT_EQ(Call<CloseReply>(CloseRequest{}), CloseReply{true});
    EXPECT_EQ(End(), ServeEnd::CloseServed);
    library.Close();
    EXPECT_EQ(CallLog(hosted), CallLog(own));
    EXPECT_EQ(CallLog(hosted).back(), "KRO_Delete h=4660");
    EXPECT_FALSE(test::IsLibraryLoaded(hosted));
}

TEST_F(LibraryHost, AFailedLoadSaysWhyAndLeavesEveryCallUnmade) {
    ScratchFolder empty{"empty"}, foreign{"foreign"}, failing{"failing"};
    const auto complete = Place(folder, test::kCompleteDouble);
    Place(failing, test::kCreateFailsDouble);
    // The header of a 32-bit ELF file: a library no 64-bit process loads.
    const char elf32[64] = {0x7f, 'E', 'L', 'F', 1, 1, 1};
    std::ofstream(foreign.Path() / kKroLibraryFileName, std::ios::binary).write(elf32, sizeof elf32);
    hidingLoader.Hide("KRO_Read");
    Start(hidingLoader);
    const std::uint32_t all = 0xFFFFFFFF, withoutRead = all & ~(1u << static_cast<int>(KroExport::Read));
    EXPECT_EQ(Call<LoadReply>(LoadRequest{empty.Text(), empty.Text()}),
              (LoadReply{false, false, LoadFailure::NoModule, 0}));
    EXPECT_EQ(Call<LoadReply>(LoadRequest{foreign.Text(), ""}),
              (LoadReply{false, false, LoadFailure::WrongArchitecture, 0}));
    EXPECT_EQ(Call<LoadReply>(LoadRequest{folder.Text(), ""}),
              (LoadReply{false, false, LoadFailure::MissingExport, withoutRead}));
    EXPECT_TRUE(CallLog(complete).empty());
    EXPECT_FALSE(test::IsLibraryLoaded(complete));
    hidingLoader.Hide("");
    EXPECT_EQ(Call<LoadReply>(LoadRequest{failing.Text(), ""}),
              (LoadReply{true, false, LoadFailure::CreateFailed, all}));

    EXPECT_EQ(Call<CheckDeviceReply>(CheckDeviceRequest{9}), (CheckDeviceReply{false, 0, 9}));
    EXPECT_TRUE(Call<GetFileListReply>(GetFileListRequest{0, 2}) == ZeroList(false, 2));
    EXPECT_EQ(Call<MakePictureFileReply>(MakePictureFileRequest{"PHO"}),
              (MakePictureFileReply{false, 0, 0, false, {}}));
    EXPECT_EQ(Call<CloseReply>(CloseRequest{}), CloseReply{false});
}

TEST_F(LibraryHost, TheProgramFolderIsTheOneTheRequestNamesAndASecondLoadChangesNothing) {
    const auto hosted = Place(folder, test::kNoOptionalDouble);
    Start(SystemModuleLoader());
    const std::uint32_t optional =
        (1u << static_cast<int>(KroExport::Format)) | (1u << static_cast<int>(KroExport::GetFileListTt)) |
        (1u << static_cast<int>(KroExport::FatPbStart)) | (1u << static_cast<int>(KroExport::FatPbStop));
    const LoadReply loaded{true, true, LoadFailure::None, 0xFFFFFFFF & ~optional};
    EXPECT_EQ(Call<LoadReply>(LoadRequest{"", folder.Text()}), loaded);
    EXPECT_EQ(Call<LoadReply>(LoadRequest{"", folder.Text()}),
              (LoadReply{false, false, LoadFailure::AlreadyLoaded, loaded.exportMask}));
    // The entry that is missing answers "not ready"; the others are called.
    EXPECT_TRUE(Call<GetFileListReply>(GetFileListRequest{0, 1}) == ZeroList(false, 1));
    EXPECT_EQ(Call<GetFileCountReply>(GetFileCountRequest{1}), (GetFileCountReply{true, 2}));
    EXPECT_EQ(CallLog(hosted),
              (std::vector<std::string>{"KRO_Create", "KRO_Get_File_Cnt h=4660 category=1"}));
}

TEST_F(LibraryHost, TheProgramGoingOrAMalformedRequestEndsTheLoopAndReleasesTheLibrary) {
    const auto hosted = Place(folder, test::kCompleteDouble);
    Start(SystemModuleLoader());
    ASSERT_TRUE(Call<LoadReply>(LoadRequest{folder.Text(), ""}));
    program.reset();
    EXPECT_EQ(End(), ServeEnd::ChannelClosed);
    EXPECT_EQ(CallLog(hosted), (std::vector<std::string>{"KRO_Create", "KRO_Delete h=4660"}));
    EXPECT_FALSE(test::IsLibraryLoaded(hosted));

    ScratchFolder again{"malformed"};
    SocketPair pair;
    const std::unique_ptr<LibraryChannel> hostEnd = pair.PeerChannel();
    pair.channel->WriteFrame(*EncodeRequest(LoadRequest{again.Text(), ""}), Later());
    pair.channel->WriteFrame(Payload{}.U8(0x42).Frame(), Later());
    pair.channel->WriteFrame(*EncodeRequest(CheckDeviceRequest{}), Later());
    const auto copy = Place(again, test::kCompleteDouble);
    EXPECT_EQ(ServeLibrary(*hostEnd, SystemModuleLoader()), ServeEnd::MalformedRequest);
    EXPECT_EQ(CallLog(copy), (std::vector<std::string>{"KRO_Create", "KRO_Delete h=4660"}));
    EXPECT_EQ(pair.channel->ReadFrame(Later()).status, Status::Ok);  // the load's answer
    EXPECT_EQ(pair.channel->ReadFrame(Soon()).status, Status::TimedOut);
}

TEST_F(LibraryHost, EveryLibraryCallIsMadeOnTheLoopsThreadAndHostileAnswersStayInBounds) {
    scripted.callers.clear();
    Start(scriptedLoader);
    ASSERT_TRUE(Call<LoadReply>(LoadRequest{"D:", ""}));
    EXPECT_EQ(Call<CheckDeviceReply>(CheckDeviceRequest{9}), (CheckDeviceReply{true, 1, 9}));
    EXPECT_TRUE(Call<GetFileFlagReply>(GetFileFlagRequest{}));
    EXPECT_TRUE(Call<GetFileCountReply>(GetFileCountRequest{0}));
    EXPECT_TRUE(Call<GetFileListReply>(GetFileListRequest{1, 0}) ==
                (GetFileListReply{true, 5, {}, {}, {}, {}}));
    const auto list = Call<GetFileListReply>(GetFileListRequest{1, 3});
    ASSERT_TRUE(list);
    EXPECT_EQ(list->result, 8);
    EXPECT_STREQ(list->entries[0].name, "ONE");
    EXPECT_EQ(list->sizes, (std::vector<std::uint32_t>{99, 0, 0}));
    EXPECT_EQ(list->entries[2].name[0], '\0');
    EXPECT_TRUE(Call<GetFileIndexInfoReply>(GetFileIndexInfoRequest{0, "EVT"}));
    EXPECT_TRUE(Call<MakeAviFileReply>(MakeAviFileRequest{"EVT"}));
    EXPECT_TRUE(Call<MakeKroFileReply>(MakeKroFileRequest{"EVT"}));

    const auto whole = Call<MakePictureFileReply>(MakePictureFileRequest{"whole:2000000000"});
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->length, 2000000000);
    ASSERT_EQ(whole->bytes.size(), static_cast<std::size_t>(kPictureBufferSize));
    EXPECT_EQ(whole->bytes.back(), (kPictureBufferSize - 1) % 251 + 1);
    // A later, shorter picture does not carry the earlier one's bytes.
    EXPECT_EQ(Call<MakePictureFileReply>(MakePictureFileRequest{"short:6"}),
              (MakePictureFileReply{true, 1, 6, false, {1, 2, 3, 4, 0, 0}}));
    EXPECT_EQ(Call<MakePictureFileReply>(MakePictureFileRequest{"short:-5"}),
              (MakePictureFileReply{true, 1, -5, false, {}}));
    EXPECT_EQ(Call<MakePictureFileReply>(MakePictureFileRequest{"overrun"}),
              (MakePictureFileReply{true, 1, 0, true, {}}));
    EXPECT_EQ(Call<CloseReply>(CloseRequest{}), CloseReply{true});
    ASSERT_EQ(End(), ServeEnd::CloseServed);

    const std::lock_guard lock(scripted.mutex);
    EXPECT_TRUE(scripted.listGotArrays);
    EXPECT_EQ(scripted.callers.size(), 14u);  // KRO_Create, twelve calls, KRO_Delete
    EXPECT_NE(loopThread, std::this_thread::get_id());
    for (const std::thread::id caller : scripted.callers) EXPECT_EQ(caller, loopThread);
}

}  // namespace
