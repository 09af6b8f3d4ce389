// The binding's search for the library file and its load/close protocol,
// against a fake module loader that records what it is asked.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "device/in_process_library.h"
#include "device/kro_library.h"

namespace {

// Fake exports: a module's entries point at these.
int createCalls = 0;
int deleteCalls = 0;

KroHandle KRO_CALL FakeCreate() {
    ++createCalls;
    return 77;
}
std::int32_t KRO_CALL FakeDelete(KroHandle) {
    ++deleteCalls;
    return 1;
}
std::int32_t KRO_CALL FakeUnused() {
    return 0;
}

class FakeLoader final : public kro::ModuleLoader {
public:
    Module Load(const std::string& path) override {
        attempts.push_back(path);
        if (loadable.count(path) == 0) return nullptr;
        ++loaded;
        return &moduleToken;
    }

    // Every name resolves, unless `exported` lists the only names that do.
    void* Symbol(Module, const char* name) override {
        if (!exported.empty() && exported.count(name) == 0) return nullptr;
        const std::string plain = PlainName(name);
        if (plain == "KRO_Create") return reinterpret_cast<void*>(&FakeCreate);
        if (plain == "KRO_Delete") return reinterpret_cast<void*>(&FakeDelete);
        return reinterpret_cast<void*>(&FakeUnused);
    }

    // "_KRO_Open@4" and "KRO_Open@4" are KRO_Open.
    static std::string PlainName(std::string name) {
        if (!name.empty() && name.front() == '_') name.erase(0, 1);
        return name.substr(0, name.find('@'));
    }

    void Free(Module module) override {
        EXPECT_EQ(module, &moduleToken);
        ++freed;
    }

    std::string ExecutablePath() override { return executablePath; }
    std::string SystemFolder() override { return systemFolder; }

    std::vector<std::string> attempts;
    std::set<std::string> loadable;
    std::set<std::string> exported;
    std::string executablePath = "C:\\Program Files\\Kro\\KroFileList.exe";
    std::string systemFolder = "C:\\Windows\\system32";
    int loaded = 0;
    int freed = 0;
    int moduleToken = 0;
};

class KroLibrarySearch : public ::testing::Test {
protected:
    void SetUp() override {
        createCalls = 0;
        deleteCalls = 0;
    }

    FakeLoader loader;
};

TEST_F(KroLibrarySearch, TriesFolderThenProgramFolderThenSystemFolderNeverTheBareName) {
    kro::InProcessLibrary library(loader);
    EXPECT_FALSE(library.Load("D:\\cards"));
    EXPECT_EQ(loader.attempts,
              (std::vector<std::string>{"D:\\cards\\KROLib.dll", "C:\\Program Files\\Kro\\KROLib.dll",
                                        "C:\\Windows\\system32\\KROLib.dll"}));
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(createCalls, 0);
}

TEST_F(KroLibrarySearch, StopsAtTheFirstPlaceThatLoads) {
    loader.loadable = {"D:\\cards\\KROLib.dll", "C:\\Program Files\\Kro\\KROLib.dll",
                       "C:\\Windows\\system32\\KROLib.dll"};
    kro::InProcessLibrary fromFolder(loader);
    EXPECT_TRUE(fromFolder.Load("D:\\cards"));
    EXPECT_EQ(loader.attempts, (std::vector<std::string>{"D:\\cards\\KROLib.dll"}));

    loader.attempts.clear();
    loader.loadable.erase("D:\\cards\\KROLib.dll");
    kro::InProcessLibrary fromProgramFolder(loader);
    EXPECT_TRUE(fromProgramFolder.Load("D:\\cards"));
    EXPECT_EQ(loader.attempts,
              (std::vector<std::string>{"D:\\cards\\KROLib.dll", "C:\\Program Files\\Kro\\KROLib.dll"}));

    loader.attempts.clear();
    loader.loadable = {"C:\\Windows\\system32\\KROLib.dll"};
    kro::InProcessLibrary fromSystemFolder(loader);
    EXPECT_TRUE(fromSystemFolder.Load("D:\\cards"));
    EXPECT_EQ(loader.attempts.back(), "C:\\Windows\\system32\\KROLib.dll");
}

TEST_F(KroLibrarySearch, EmptyFolderStartsBesideTheProgram) {
    kro::InProcessLibrary library(loader);
    library.Load("");
    EXPECT_EQ(loader.attempts, (std::vector<std::string>{"C:\\Program Files\\Kro\\KROLib.dll",
                                                         "C:\\Windows\\system32\\KROLib.dll"}));
}

TEST_F(KroLibrarySearch, ProgramPathIsCutAtItsLastBackslash) {
    loader.executablePath = "C:\\a.b\\c\\prog.exe";
    kro::InProcessLibrary library(loader);
    library.Load("");
    EXPECT_EQ(loader.attempts.front(), "C:\\a.b\\c\\KROLib.dll");
}

TEST_F(KroLibrarySearch, PlaceThatCannotBeHadIsSkipped) {
    for (const char* path : {"", "prog.exe", "/opt/kro/prog"}) {
        loader.attempts.clear();
        loader.executablePath = path;
        kro::InProcessLibrary library(loader);
        library.Load("D:\\cards");
        EXPECT_EQ(loader.attempts,
                  (std::vector<std::string>{"D:\\cards\\KROLib.dll", "C:\\Windows\\system32\\KROLib.dll"}))
            << path;
    }
    loader.attempts.clear();
    loader.executablePath = "C:\\Program Files\\Kro\\KroFileList.exe";
    loader.systemFolder.clear();
    kro::InProcessLibrary withoutSystemFolder(loader);
    EXPECT_FALSE(withoutSystemFolder.Load(""));
    EXPECT_EQ(loader.attempts, (std::vector<std::string>{"C:\\Program Files\\Kro\\KROLib.dll"}));
}

// A __stdcall library exports decorated names unless a module-definition
// file says otherwise: "_Name@N" from Microsoft's compiler, "Name@N" from
// GNU's, N being the bytes of arguments.
TEST_F(KroLibrarySearch, StdcallDecoratedNamesAreFoundWhenThePlainOnesAreMissing) {
    loader.loadable = {"C:\\Program Files\\Kro\\KROLib.dll"};
    for (const std::string prefix : {"_", ""}) {
        loader.exported.clear();
        for (int i = 0; i < kKroExportCount; ++i) {
            const int argumentBytes = i == 0 ? 0 : 4 * (1 + i % 7);
            loader.exported.insert(prefix + kKroExports[i].name + '@' + std::to_string(argumentBytes));
        }
        kro::InProcessLibrary library(loader);
        ASSERT_TRUE(library.Load("")) << prefix;
        EXPECT_EQ(library.Instance(), 77);
        for (int i = 0; i < kKroExportCount; ++i) {
            EXPECT_TRUE(library.HasEntry(static_cast<KroExport>(i))) << prefix << kKroExports[i].name;
        }
    }
    // The plain name wins over a decorated one, and a name with neither is
    // missing: here the required KRO_Open.
    loader.exported = {"KRO_Create", "_KRO_Create@0", "KRO_Delete"};
    createCalls = 0;
    kro::InProcessLibrary partial(loader);
    EXPECT_FALSE(partial.Load(""));
    EXPECT_EQ(createCalls, 0);
}

TEST_F(KroLibrarySearch, CloseOnAnEmptyObjectDoesNothing) {
    {
        kro::InProcessLibrary library(loader);
        library.Close();
        library.Close();
    }
    EXPECT_EQ(loader.freed, 0);
    EXPECT_EQ(deleteCalls, 0);
}

TEST_F(KroLibrarySearch, DestructionDeletesTheInstanceAndReleasesTheModule) {
    loader.loadable = {"C:\\Program Files\\Kro\\KROLib.dll"};
    {
        kro::InProcessLibrary library(loader);
        ASSERT_TRUE(library.Load(""));
    }
    EXPECT_EQ(deleteCalls, 1);
    EXPECT_EQ(loader.freed, 1);
}

TEST_F(KroLibrarySearch, LoadAfterCloseStartsAgain) {
    loader.loadable = {"C:\\Program Files\\Kro\\KROLib.dll"};
    kro::InProcessLibrary library(loader);
    ASSERT_TRUE(library.Load(""));
    library.Close();
    EXPECT_TRUE(library.Load(""));
    EXPECT_EQ(createCalls, 2);
    EXPECT_EQ(loader.loaded, 2);
    EXPECT_EQ(loader.freed, 1);
}

}  // namespace
