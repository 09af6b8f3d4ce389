#include "export/file_name_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kro {
namespace {

TEST(PlainFileName, OrdinaryRecordingNamesPass) {
    for (const std::string name : {"EVT_0001.jpg", "20240101_120000", "a", "CONSOLE", "COM10", "LPT", "nul_1",
                                   "x.con", "my file.avi", ".hidden", "a..b",
                                   // Hangul in code page 949: trail bytes never look like separators
                                   "\xC0\xCC\xBA\xA5\xC6\xAE.jpg"}) {
        EXPECT_TRUE(IsPlainFileName(name)) << name;
    }
}

TEST(PlainFileName, NamesThatReachElsewhereOrNameDevicesFail) {
    const std::string withNul("a\0b", 3);
    for (const std::string& name : std::vector<std::string>{
             "",         ".",          "..",        "../x",   "..\\x",       "sub/x",     "sub\\x",
             "/abs",     "\\abs",      "C:x",       "C:\\x",  "x:stream",    "trailing.", "trailing ",
             "x\x01y",   "tab\t",      "del\x7F",   "a<b",    "a>b",         "a\"b",      "a|b",
             "a?b",      "a*b",        "CON",       "con",    "Con.txt",     "PRN",       "AUX.jpg",
             "NUL",      "nul.tar.gz", "NUL .txt",  "COM1",   "com9.avi",    "COM0",      "LPT1",
             "lpt9.jpg", "COM\xB9",    "LPT\xB2.x", "CONIN$", "conout$.txt", withNul}) {
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    }
}

}  // namespace
}  // namespace kro
