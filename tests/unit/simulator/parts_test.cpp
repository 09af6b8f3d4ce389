// The simulator's parts on their own: container header, descriptor, fault
// switch parsing, name handling.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "simulator/card.h"
#include "simulator/container.h"
#include "simulator/container_file.h"
#include "simulator/faults.h"
#include "simulator/names.h"
#include "tests/unit/simulator/sim_test_support.h"

namespace kro::sim {
namespace {

TEST(ContainerTest, HeaderRoundTripsEveryField) {
    ContainerHeader header;
    header.typeLetter = 'P';
    header.framesPerSecond = 30;
    header.durationSeconds = 3725;
    header.frontFrames = 111750;
    header.rearFrames = 7;
    header.frontWidth = 1920;
    header.frontHeight = 1080;
    header.rearWidth = 1280;
    header.rearHeight = 720;
    header.gSensor = -412;
    header.frontStoredBytes = 500000;
    header.rearStoredBytes = 28;
    header.frontDeclaredBytes = 4000000000u;
    header.rearDeclaredBytes = 0;
    const auto bytes = EncodeHeader(header);
    ASSERT_EQ(bytes.size(), kContainerHeaderSize);
    const auto decoded = DecodeHeader(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(EncodeHeader(*decoded), bytes);
    EXPECT_EQ(decoded->gSensor, -412);
    EXPECT_EQ(decoded->frontFrames, 111750u);
    EXPECT_EQ(decoded->FrontBytes(), 4000000000u);
    EXPECT_EQ(decoded->RearBytes(), 28u) << "undeclared means as stored";
    EXPECT_EQ(decoded->ReportedSize(), kContainerHeaderSize + 4000000000ull + 28);
    EXPECT_EQ(decoded->StoredFileSize(), kContainerHeaderSize + 500028ull);
}

TEST(ContainerTest, BuildSetsCountsAndSizesFromTheFrames) {
    ContainerHeader header;
    header.typeLetter = 'E';
    header.frontFrames = 99;  // overwritten
    const auto file = BuildContainer(header, {{0xFF, 0xD8, 1}, {0xFF, 0xD8}}, {{0xFF, 0xD8, 1, 2}});
    const auto decoded = DecodeHeader(file);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->frontFrames, 2u);
    EXPECT_EQ(decoded->rearFrames, 1u);
    EXPECT_EQ(decoded->frontStoredBytes, 4u + 3 + 4 + 2);
    EXPECT_EQ(decoded->rearStoredBytes, 4u + 4);
    EXPECT_EQ(file.size(), decoded->StoredFileSize());
}

TEST(ContainerTest, ForeignOrInconsistentHeadersAreRejected) {
    ContainerHeader header;
    header.frontFrames = 3;
    header.frontStoredBytes = 12;
    const auto good = EncodeHeader(header);
    ASSERT_TRUE(DecodeHeader(good));
    EXPECT_FALSE(DecodeHeader(std::span(good).first(kContainerHeaderSize - 1)));
    auto magic = good;
    magic[3] = '2';
    EXPECT_FALSE(DecodeHeader(magic));
    auto headerSize = good;
    headerSize[6] = 64;
    EXPECT_FALSE(DecodeHeader(headerSize));
    header.frontStoredBytes = 11;  // less than a length field per frame
    EXPECT_FALSE(DecodeHeader(EncodeHeader(header)));
    header.frontStoredBytes = 0x7FFFFFFF;
    header.rearStoredBytes = 0x7FFFFFFF;
    EXPECT_FALSE(DecodeHeader(EncodeHeader(header))) << "stored files are limited to 1 GiB";
}

// A file cut short anywhere inside a stream has no index for that stream,
// whatever its header claims.
TEST(ContainerTest, AStreamIsIndexedOnlyWhenTheFileHoldsAllOfIt) {
    ContainerHeader header;
    header.typeLetter = 'E';
    const std::vector<std::uint8_t> frame = {0xFF, 0xD8, 1, 2, 3, 4, 5, 6, 0xFF, 0xD9};
    const auto whole = BuildContainer(header, {frame, frame}, {frame});
    const auto decoded = DecodeHeader(whole);
    ASSERT_TRUE(decoded);
    const std::size_t frontEnd = kContainerHeaderSize + decoded->frontStoredBytes;
    const simtest::TempFolder folder;
    const std::string path = folder.Join("cut.KRO");
    for (std::size_t length = kContainerHeaderSize; length <= whole.size(); ++length) {
        SCOPED_TRACE("file of " + std::to_string(length) + " bytes");
        simtest::WriteFileBytes(path, std::vector<std::uint8_t>(whole.begin(), whole.begin() + length));
        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        const auto front = IndexStream(file, *decoded, Stream::Front);
        const auto rear = IndexStream(file, *decoded, Stream::Rear);
        std::fclose(file);
        EXPECT_EQ(front.has_value(), length >= frontEnd);
        EXPECT_EQ(rear.has_value(), length == whole.size());
        if (front) {
            EXPECT_EQ(front->size(), 2u);
        }
    }
}

TEST(DescriptorTest, DiskNumberAndLabel) {
    const auto descriptor = ParseDescriptor("# card\nlabel = MY CARD \ndisk=12\r\nunknown=1\n");
    ASSERT_TRUE(descriptor);
    EXPECT_EQ(descriptor->diskNumber, 12);
    EXPECT_EQ(descriptor->label, "MY CARD");
    EXPECT_EQ(ParseDescriptor("disk=1")->diskNumber, 1);
    EXPECT_FALSE(ParseDescriptor(""));
    EXPECT_FALSE(ParseDescriptor("disk=12\ndisk=0\n")) << "the last value counts";
    EXPECT_FALSE(ParseDescriptor("disk=+5"));
    EXPECT_FALSE(ParseDescriptor("disk=5x"));
}

TEST(CategoryTest, LettersAreCaseSensitive) {
    EXPECT_EQ(CategoryOfLetter('e'), 0);
    EXPECT_EQ(CategoryOfLetter('E'), 0);
    EXPECT_EQ(CategoryOfLetter('I'), 1);
    EXPECT_EQ(CategoryOfLetter('M'), 2);
    EXPECT_EQ(CategoryOfLetter('P'), 2);
    EXPECT_EQ(CategoryOfLetter('j'), 3);
    EXPECT_EQ(CategoryOfLetter('J'), 3);
    for (char other : {'i', 'm', 'p', 'x', '\0', '\xE9'}) EXPECT_EQ(CategoryOfLetter(other), 1) << int{other};
}

TEST(FaultParsingTest, SwitchesValuesAndDefaults) {
    const Faults none = ParseFaults("");
    EXPECT_EQ(none.slowMilliseconds, 0);
    EXPECT_FALSE(none.hostileNames);
    EXPECT_EQ(none.pictureLength, 0);

    const Faults all = ParseFaults(
        " slow=250 ,overcount=3,negative-count=2,unterminated,hostile,big-picture=2000000,"
        "create-fails,convert-fails,flaky-card=500,reentrancy,overrun=300,hang=check,hang=info,hang=picture,"
        "hang=backup,hang=nothing");
    EXPECT_EQ(all.slowMilliseconds, 250);
    EXPECT_EQ(all.listOvercount, 3);
    EXPECT_EQ(all.listNegative, 2);
    EXPECT_TRUE(all.unterminatedNames);
    EXPECT_TRUE(all.hostileNames);
    EXPECT_EQ(all.pictureLength, 2000000);
    EXPECT_TRUE(all.createFails);
    EXPECT_TRUE(all.conversionsFail);
    EXPECT_EQ(all.cardPeriodMilliseconds, 500);
    EXPECT_TRUE(all.reentrancy);
    EXPECT_EQ(all.pictureOverrun, 300);
    EXPECT_EQ(all.hangCalls, unsigned{kHangCheck | kHangInfo | kHangPicture | kHangBackup});

    const Faults defaults = ParseFaults("slow,overcount,negative-count,big-picture,flaky-card,overrun");
    EXPECT_EQ(defaults.pictureOverrun, 64);
    EXPECT_EQ(defaults.slowMilliseconds, 100);
    EXPECT_EQ(defaults.listOvercount, 16);
    EXPECT_EQ(defaults.listNegative, 1);
    EXPECT_EQ(defaults.pictureLength, 1048577);
    EXPECT_EQ(defaults.cardPeriodMilliseconds, 1000);

    // A bad number gives the default; one out of range is clamped.
    const Faults odd = ParseFaults("slow=abc,overcount=-3,big-picture=5,flaky-card=0,unknown=1,overrun=99999");
    EXPECT_EQ(odd.pictureOverrun, 4096);
    EXPECT_EQ(odd.slowMilliseconds, 100);
    EXPECT_EQ(odd.listOvercount, 1);
    EXPECT_EQ(odd.pictureLength, 1048577);
    EXPECT_EQ(odd.cardPeriodMilliseconds, 1);
}

// The random switches: each kind's calls fault at its rate, drawn from the
// seed alone, so a seed replays the same faults.
TEST(FaultParsingTest, RandomFaultsFollowTheRatesAndTheSeed) {
    const Faults faults = ParseFaults("random=7,crash-rate=avi:250,hang-rate=avi:100,crash-rate=info,"
                                      "hang-rate=check:1000,crash-rate=nothing:500,hang-rate=picture:x");
    EXPECT_EQ(faults.randomSeed, 7u);
    int crashes = 0, hangs = 0;
    for (std::uint64_t draw = 0; draw < 10000; ++draw) {
        const RandomFault avi = DrawRandomFault(faults, kHangAvi, draw);
        crashes += avi == RandomFault::Crash;
        hangs += avi == RandomFault::Hang;
        EXPECT_EQ(DrawRandomFault(faults, kHangCheck, draw), RandomFault::Hang);
        EXPECT_EQ(DrawRandomFault(faults, kHangList, draw), RandomFault::None) << "a kind without a rate";
        EXPECT_EQ(DrawRandomFault(faults, kHangBackup, draw), RandomFault::None) << "an unknown kind names none";
    }
    EXPECT_NEAR(crashes, 2500, 250);
    EXPECT_NEAR(hangs, 1000, 150);
    EXPECT_EQ(faults.crashRate[2], 100) << "a rate not given is one in ten";
    EXPECT_EQ(faults.hangRate[5], 100) << "a rate that is no number is one in ten";
    EXPECT_TRUE(faults.HangsAtRandom(kHangCheck));
    EXPECT_FALSE(faults.HangsAtRandom(kHangAvi | kHangCheck));

    auto sequence = [](const Faults& f) {
        std::string drawn;
        for (std::uint64_t draw = 0; draw < 64; ++draw) drawn += "nch"[static_cast<int>(DrawRandomFault(f, kHangAvi, draw))];
        return drawn;
    };
    const Faults other = ParseFaults("random=8,crash-rate=avi:250,hang-rate=avi:100");
    EXPECT_EQ(sequence(faults), sequence(ParseFaults("hang-rate=avi:100,crash-rate=avi:250,random=7")));
    EXPECT_NE(sequence(faults), sequence(other));
    EXPECT_EQ(sequence(ParseFaults("random=7,crash-rate=avi:1000")), std::string(64, 'c'));
    EXPECT_EQ(sequence(ParseFaults("random=7,crash-rate=avi:0")), std::string(64, 'n'));
}

TEST(SafeFileNameTest, AnyNameBecomesOnePlainFileName) {
    EXPECT_EQ(SafeFileName("240105_093012E"), "240105_093012E");
    EXPECT_EQ(SafeFileName("0105_093012.JPG"), "0105_093012.JPG");
    EXPECT_EQ(SafeFileName("..\\..\\x"), ".._.._x");
    EXPECT_EQ(SafeFileName("../x"), ".._x");
    EXPECT_EQ(SafeFileName("C:\\x"), "C__x");
    EXPECT_EQ(SafeFileName("a*b?c\"d<e>f|g"), "a_b_c_d_e_f_g");
    EXPECT_EQ(SafeFileName(std::string("a\x01\x1f\x7f", 4)), std::string("a__\x7f"));
    EXPECT_EQ(SafeFileName(".."), "__");
    EXPECT_EQ(SafeFileName("."), "_");
    EXPECT_EQ(SafeFileName(""), "_");
    EXPECT_EQ(SafeFileName("dot. . "), "dot____");
    EXPECT_EQ(SafeFileName("CON"), "_CON");
    EXPECT_EQ(SafeFileName("con.txt"), "_con.txt");
    EXPECT_EQ(SafeFileName("Lpt9"), "_Lpt9");
    EXPECT_EQ(SafeFileName("COM1.JPG"), "_COM1.JPG");
    EXPECT_EQ(SafeFileName("COM0"), "COM0");
    EXPECT_EQ(SafeFileName("CONSOLE"), "CONSOLE");
    EXPECT_EQ(SafeFileName("\xB0\xA1.JPG"), "\xB0\xA1.JPG") << "code page bytes pass unchanged";
}

TEST(NamesTest, CallerNamesAreBounded) {
    EXPECT_FALSE(ReadCallerName(nullptr).valid);
    EXPECT_EQ(ReadCallerName("abc").text, "abc");
    const std::string longest(kMaxCallerNameLength, 'a');
    EXPECT_TRUE(ReadCallerName(longest.c_str()).valid);
    const std::string tooLong(kMaxCallerNameLength + 1, 'a');
    EXPECT_FALSE(ReadCallerName(tooLong.c_str()).valid);
}

TEST(NamesTest, PresentedNamesFollowTheSwitches) {
    Recording recording;
    recording.name = "240105_093012E";
    EXPECT_EQ(PresentedName(recording, 0, 0, Faults{}), "240105_093012E");
    Faults unterminated;
    unterminated.unterminatedNames = true;
    EXPECT_EQ(PresentedName(recording, 0, 0, unterminated), "240105_093012E~~");
    Faults hostile;
    hostile.hostileNames = true;
    EXPECT_EQ(PresentedName(recording, 3, 0, hostile), HostileName(3));
    EXPECT_EQ(PresentedName(recording, 1, 4, hostile), HostileName(17));
    EXPECT_EQ(PresentedName(recording, 0, 5, hostile), "240105_093012E") << "beyond the list";
    for (std::size_t i = 0; i < HostileNameCount(); ++i) EXPECT_LE(HostileName(i).size(), 15u) << i;
}

}  // namespace
}  // namespace kro::sim
