#include "tools/cardgen/card_plan.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>

namespace kro::cardgen {
namespace {

class Random {
public:
    explicit Random(std::uint32_t seed) : engine_(seed) {}
    // Uniform enough for test data, and the same on every platform.
    std::int64_t Between(std::int64_t low, std::int64_t high) {
        return low + static_cast<std::int64_t>(engine_() % static_cast<std::uint64_t>(high - low + 1));
    }
    template <typename T>
    void Shuffle(std::vector<T>& items) {
        for (std::size_t i = items.size(); i > 1; --i)
            std::swap(items[i - 1],
                      items[static_cast<std::size_t>(Between(0, static_cast<std::int64_t>(i) - 1))]);
    }

private:
    std::mt19937 engine_;
};

// The recording clock: names carry the local date and time a recording starts.
class Clock {
public:
    explicit Clock(std::int64_t start) : seconds_(start) {}
    void Advance(std::int64_t seconds) { seconds_ += seconds; }

    std::string VideoName(char letter) const {
        const Civil c = Now();
        char name[32];
        std::snprintf(name, sizeof name, "%02d%02d%02d_%02d%02d%02d%c", c.year % 100, c.month, c.day, c.hour,
                      c.minute, c.second, letter);
        return name;
    }
    std::string PhotoName() const {
        const Civil c = Now();
        char name[32];
        std::snprintf(name, sizeof name, "%02d%02d_%02d%02d%02d.JPG", c.month, c.day, c.hour, c.minute,
                      c.second);
        return name;
    }

private:
    struct Civil {
        int year, month, day, hour, minute, second;
    };
    // Days since 1970-01-01 to a civil date (proleptic Gregorian).
    Civil Now() const {
        const std::int64_t days = seconds_ / 86400;
        const std::int64_t daySeconds = seconds_ % 86400;
        const std::int64_t z = days + 719468;
        const std::int64_t era = z / 146097;
        const std::int64_t doe = z - era * 146097;
        const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const std::int64_t mp = (5 * doy + 2) / 153;
        const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
        return {year,
                month,
                day,
                static_cast<int>(daySeconds / 3600),
                static_cast<int>(daySeconds / 60 % 60),
                static_cast<int>(daySeconds % 60)};
    }

    std::int64_t seconds_;
};

constexpr std::int64_t kFirstRecording = 1704439800;  // 2024-01-05 07:30:00

RecordingPlan Video(char letter, std::uint8_t fps, std::int32_t seconds, int width, int height,
                    std::int32_t gSensor) {
    RecordingPlan plan;
    plan.letter = letter;
    plan.framesPerSecond = fps;
    plan.durationSeconds = seconds;
    plan.frontFrames = static_cast<std::uint32_t>(seconds) * fps;
    plan.rearFrames = plan.frontFrames;
    plan.frontWidth = width;
    plan.frontHeight = height;
    plan.rearWidth = width / 2;
    plan.rearHeight = height / 2;
    plan.gSensor = gSensor;
    return plan;
}

RecordingPlan Photo(char letter, int width, int height) {
    RecordingPlan plan;
    plan.letter = letter;
    plan.photo = true;
    plan.frontFrames = 1;
    plan.frontWidth = width;
    plan.frontHeight = height;
    plan.quality = 80;
    return plan;
}

// Names the recordings in a shuffled time line and returns them by name.
void PlaceInTime(std::vector<RecordingPlan>& recordings, Random& random) {
    random.Shuffle(recordings);
    Clock clock(kFirstRecording);
    std::set<std::string> taken;
    for (RecordingPlan& plan : recordings) {
        clock.Advance(random.Between(5, 240));
        // Photo names carry no year: a card spanning years could repeat one.
        for (;;) {
            plan.name = plan.photo ? clock.PhotoName() : clock.VideoName(plan.letter);
            if (taken.insert(plan.name).second) break;
            clock.Advance(1);
        }
        clock.Advance(std::max<std::int64_t>(plan.durationSeconds, 1));
    }
    std::sort(recordings.begin(), recordings.end(),
              [](const RecordingPlan& a, const RecordingPlan& b) { return a.name < b.name; });
}

}  // namespace

CardPlan DemoCard(std::uint32_t seed) {
    Random random(seed);
    std::vector<RecordingPlan> recordings;
    // Events: short, 5 frames a second, a strong G-sensor reading.
    for (int i = 0; i < 10; ++i) {
        const std::int32_t seconds = i == 0 ? 3 : static_cast<std::int32_t>(random.Between(6, 20));
        recordings.push_back(Video(i < 4 ? 'e' : 'E', 5, seconds, 256, 144,
                                   static_cast<std::int32_t>(random.Between(180, 950))));
    }
    // Normal driving at one frame a second.
    for (int i = 0; i < 11; ++i) {
        recordings.push_back(Video('I', 1, static_cast<std::int32_t>(random.Between(30, 90)), 256, 144,
                                   static_cast<std::int32_t>(random.Between(-40, 40))));
    }
    // A drive of over an hour, smaller pictures and no rear camera, so the
    // card stays a few megabytes.
    RecordingPlan longDrive = Video('I', 1, 3725, 128, 72, 12);
    longDrive.rearFrames = 0;
    recordings.push_back(longDrive);
    // A letter no category knows ("i" is not "I").
    recordings.push_back(Video('i', 1, 20, 256, 144, 0));
    // Parking: time-lapse at one frame a second.
    for (int i = 0; i < 8; ++i) {
        recordings.push_back(Video(i < 4 ? 'M' : 'P', 1, static_cast<std::int32_t>(random.Between(10, 60)),
                                   256, 144, static_cast<std::int32_t>(random.Between(-20, 120))));
    }
    for (int i = 0; i < 9; ++i) recordings.push_back(Photo(i < 4 ? 'j' : 'J', 640, 360));
    PlaceInTime(recordings, random);
    return {2, "KROSIM DEMO CARD", std::move(recordings)};
}

CardPlan ScaleCard(std::uint32_t count, std::uint32_t seed) {
    Random random(seed);
    std::vector<RecordingPlan> recordings;
    recordings.reserve(count);
    constexpr char kVideoLetters[] = {'e', 'E', 'I', 'I', 'I', 'I', 'I', 'M', 'P'};
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto pick = random.Between(0, 99);
        RecordingPlan plan;
        if (pick < 14) {
            plan = Photo(pick % 2 == 0 ? 'j' : 'J', 64, 36);
            plan.quality = 50;
            plan.frontDeclaredBytes = static_cast<std::uint32_t>(random.Between(300000, 900000));
        } else {
            const char letter = pick == 99 ? 'x' : kVideoLetters[pick % std::size(kVideoLetters)];
            plan = Video(letter, 1, static_cast<std::int32_t>(random.Between(30, 600)), 64, 36,
                         static_cast<std::int32_t>(random.Between(-50, 500)));
            // A few frames stored; the streams declare a camera's bit rate.
            plan.frontFrames = 2;
            plan.rearFrames = 1;
            plan.rearWidth = 64;
            plan.rearHeight = 36;
            plan.frontDeclaredBytes =
                static_cast<std::uint32_t>(plan.durationSeconds * random.Between(900000, 1300000));
            plan.rearDeclaredBytes = plan.frontDeclaredBytes / 3;
        }
        recordings.push_back(std::move(plan));
    }
    PlaceInTime(recordings, random);
    return {3, "KROSIM SCALE CARD", std::move(recordings)};
}

}  // namespace kro::cardgen
