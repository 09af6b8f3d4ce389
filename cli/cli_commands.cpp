#include "cli/cli_commands.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <utility>

#include "cli/card_load.h"
#include "cli/export_run.h"
#include "cli/list_output.h"

namespace kro::cli {
namespace {

// How long watch waits for a card's arrival or removal: as good as ever.
constexpr std::chrono::hours kWatchForever{24 * 365 * 10};
// While watch gives way, it looks for the window program's end once a
// second, and for a stop request every 50 ms.
constexpr std::uint32_t kWindowCheckSliceMs = 50;
constexpr int kWindowCheckSlices = 20;

NameConverter ConverterOf(CliEnvironment& environment) {
    return [&environment](std::string_view text) { return environment.system.AnsiToUtf8(text); };
}

// Waits for the card up to --wait and loads its lists; none (the reason
// said on standard error) when there is no card or it cannot be read.
std::optional<CardContents> LoadCardWithin(const Options& options, DeviceSession& device,
                                           CliEnvironment& environment) {
    if (device.WaitForCard(true, std::chrono::seconds(options.waitSeconds)) != CardWait::Reached) {
        environment.console.Err(environment.stop.load()
                                    ? std::string("Stopped.\n")
                                    : "No card found within " + std::to_string(options.waitSeconds) +
                                          (options.waitSeconds == 1 ? " second.\n" : " seconds.\n"));
        return std::nullopt;
    }
    CardContents card = LoadCard(device.Library(), environment.stop);
    if (card.outcome != LoadOutcome::Completed) {
        environment.console.Err(environment.stop.load() ? "Stopped.\n"
                                                        : "The card's recordings could not be read.\n");
        return std::nullopt;
    }
    return card;
}

std::vector<RecordingRow> RowsOf(const CardContents& card, RecordingCategory category) {
    std::vector<RecordingRow> rows;
    for (const RecordingRow& row : card.rows) {
        if (row.category == category) rows.push_back(row);
    }
    return rows;
}

// "Exported 3 of 4 recordings of the event list into C:\ZiduvOra\; 2 were
// exported before." Without the folder: "Exported 0 of 4 recordings of the
// event list: the folder C:\ZiduvOra\ could not be created."
std::string OutcomeLine(CliEnvironment& environment, RecordingCategory category,
                        const ExportOutcome& outcome) {
    const std::size_t asked =
        static_cast<std::size_t>(outcome.exported) + outcome.failed.size() + outcome.stopped.size();
    const std::string folder = environment.system.AnsiToUtf8(environment.exportFolder);
    // The library may have taken every AVI, but it places them itself: none
    // is in a folder that is not there.
    std::string line =
        "Exported " + std::to_string(outcome.folderReady ? outcome.exported : 0) + " of " +
        std::to_string(asked) + (asked == 1 ? " recording" : " recordings") + " of the " +
        CategoryWord(category) + " list" +
        (outcome.folderReady ? " into " + folder : ": the folder " + folder + " could not be created");
    if (outcome.skipped > 0) {
        line += "; " + std::to_string(outcome.skipped) +
                (outcome.skipped == 1 ? " was exported before" : " were exported before");
    }
    return line + ".\n";
}

bool HasProblems(const ExportOutcome& outcome) {
    return !outcome.failed.empty() || !outcome.stopped.empty() || !outcome.folderReady;
}

}  // namespace

int RunList(const Options& options, DeviceSession& device, CliEnvironment& environment) {
    const std::optional<CardContents> card = LoadCardWithin(options, device, environment);
    if (!card) return kExitNoDevice;
    environment.console.Out(
        options.json
            ? FormatListJson(*card, options.categories, device.DeviceValue(), ConverterOf(environment))
            : FormatListText(*card, options.categories, ConverterOf(environment)));
    return kExitOk;
}

int RunExport(const Options& options, DeviceSession& device, CliEnvironment& environment) {
    const std::optional<CardContents> card = LoadCardWithin(options, device, environment);
    if (!card) return kExitNoDevice;
    const RecordingCategory category = options.categories.at(0);
    std::vector<RecordingRow> rows = RowsOf(*card, category);
    bool missing = false;
    if (!options.all) {
        // The named recordings, in list order; a name the list lacks is an
        // error of its own.
        for (const std::string& name : options.names) {
            if (std::none_of(rows.begin(), rows.end(),
                             [&](const RecordingRow& row) { return row.name == name; })) {
                environment.console.Err("Not on the card's " + std::string(CategoryWord(category)) +
                                        " list: " + DisplayName(environment.system.AnsiToUtf8(name)) + "\n");
                missing = true;
            }
        }
        std::erase_if(rows, [&](const RecordingRow& row) {
            return std::find(options.names.begin(), options.names.end(), row.name) == options.names.end();
        });
    }
    ExportRecord record = LoadExportRecord(environment);
    const ExportOutcome outcome =
        ExportRows(environment, device.Library(), category, rows, record, options.onlyNew);
    environment.console.Out(OutcomeLine(environment, category, outcome));
    ReportProblems(environment, outcome);
    return missing || HasProblems(outcome) ? kExitFailures : kExitOk;
}

namespace {

// The window program is given the card while it runs: watch lets the
// library go (its host ends), waits for the window program's end and takes
// the library again. What it found then.
enum class Resumed {
    CardIn,  // the card is in
    NoCard,  // no card is in
    Ended,   // a stop came first, or the output failed
    LibraryLost,  // the library could not be had again
};

Resumed StepAside(DeviceSession& device, CliEnvironment& environment,
                  const std::function<bool(const std::string&)>& report) {
    device.Release();
    if (!report("KroFileList.exe is running: watch pauses until it ends.\n")) return Resumed::Ended;
    for (int slice = 0; !environment.stop.load(); ++slice) {
        if (slice % kWindowCheckSlices == 0 && !environment.system.WindowProgramRunning()) {
            if (!report("KroFileList.exe has ended: watch resumes.\n")) return Resumed::Ended;
            if (!device.Open()) {
                environment.console.Err(kLibraryUnavailableText);
                return Resumed::LibraryLost;
            }
            // The card's presence once the poller has first reported it.
            return device.WaitForCard(true, std::chrono::milliseconds(0)) == CardWait::Reached
                       ? Resumed::CardIn
                       : Resumed::NoCard;
        }
        environment.clock.Sleep(kWindowCheckSliceMs);
    }
    return Resumed::Ended;
}

}  // namespace

const char kLibraryUnavailableText[] =
    "The device library KROLib.dll could not be loaded or started. Put the camera "
    "maker's KROLib.dll beside KroFileListCLI.exe.\n";

// Watch runs unattended, so its output is all its user sees of it: once a
// line to standard output has failed it exports nothing more. The list being
// exported when that happens is finished (each of its recordings is whole),
// then watch ends.
//
// While the window program runs, watch gives it the card: it finishes the
// recording in progress (or the load), steps aside, and on the window
// program's end goes on where it stopped: the recordings of the card in
// that it has already exported (or tried) are not exported again.
int RunWatch(const Options& options, DeviceSession& device, CliEnvironment& environment) {
    CliConsole& console = environment.console;
    const std::function<bool(const std::string&)> report = [&console](const std::string& line) {
        console.Out(line);
        return !console.OutFailure();
    };
    const std::function<bool()> giveWay = [&environment] { return environment.system.WindowProgramRunning(); };
    std::string lists;
    for (RecordingCategory category : options.categories)
        lists += (lists.empty() ? "" : ", ") + std::string(CategoryWord(category));
    bool reporting = report("Waiting for cards to export " + lists +
                            (options.onlyNew ? " (new recordings)" : "") + " from. Press Ctrl+C to end.\n");

    enum class Phase { AwaitCard, ExportCard, AwaitRemoval };
    Phase phase = Phase::AwaitCard;
    // What this watch has reached of the card that is in.
    std::set<std::pair<RecordingCategory, std::string>> handled;
    bool problems = false;
    bool libraryLost = false;
    // After a pause: where to go on, or false when watch ends.
    const auto resumeAfterPause = [&](Phase withCard) {
        const Resumed resumed = StepAside(device, environment, report);
        libraryLost = resumed == Resumed::LibraryLost;
        if (resumed == Resumed::Ended || libraryLost) return false;
        if (resumed == Resumed::CardIn) {
            phase = withCard;
            return true;
        }
        handled.clear();
        phase = Phase::AwaitCard;
        return report(withCard == Phase::AwaitRemoval ? "Card removed. Waiting for the next card.\n"
                                                      : "The card was removed. Waiting for the next card.\n");
    };
    while (reporting && !environment.stop.load()) {
        if (phase == Phase::AwaitCard) {
            const CardWait arrival = device.WaitForCard(true, kWatchForever, giveWay);
            if (arrival == CardWait::GaveWay) {
                if (!resumeAfterPause(Phase::ExportCard)) break;
                continue;
            }
            if (arrival != CardWait::Reached) break;
            if (!report(CardFoundLine(device.DeviceValue(), environment.disks))) break;
            phase = Phase::ExportCard;
        } else if (phase == Phase::ExportCard) {
            bool paused = false;
            const CardContents card = LoadCard(device.Library(), environment.stop);
            if (card.outcome == LoadOutcome::Completed) {
                ExportRecord record = LoadExportRecord(environment);
                for (RecordingCategory category : options.categories) {
                    std::vector<RecordingRow> rows = RowsOf(card, category);
                    const std::size_t onCard = rows.size();
                    std::erase_if(rows, [&](const RecordingRow& row) {
                        return handled.contains({category, row.name});
                    });
                    if (rows.empty() && onCard > 0) continue;  // done before a pause
                    const ExportOutcome outcome = ExportRows(environment, device.Library(), category, rows,
                                                             record, options.onlyNew, giveWay);
                    for (const RecordingRow& row : rows) {
                        if (std::find(outcome.deferred.begin(), outcome.deferred.end(), row.name) ==
                            outcome.deferred.end())
                            handled.insert({category, row.name});
                    }
                    paused = !outcome.deferred.empty();
                    // A list given way to before its first recording has no outcome yet.
                    if (rows.empty() || outcome.deferred.size() < rows.size())
                        reporting = report(OutcomeLine(environment, category, outcome));
                    ReportProblems(environment, outcome);
                    problems = problems || HasProblems(outcome);
                    if (!reporting || paused) break;
                }
            } else if (!environment.stop.load()) {
                console.Err("The card's recordings could not be read.\n");
                problems = true;
            }
            if (!reporting || environment.stop.load()) break;
            if (paused || giveWay()) {
                if (!resumeAfterPause(Phase::ExportCard)) break;
                continue;
            }
            if (!report("Waiting for the card to be removed.\n")) break;
            phase = Phase::AwaitRemoval;
        } else {
            const CardWait removal = device.WaitForCard(false, kWatchForever, giveWay);
            if (removal == CardWait::GaveWay) {
                if (!resumeAfterPause(Phase::AwaitRemoval)) break;
                continue;
            }
            if (removal != CardWait::Reached) break;
            handled.clear();
            reporting = report("Card removed. Waiting for the next card.\n");
            phase = Phase::AwaitCard;
        }
    }
    console.Out("Stopped.\n");
    if (libraryLost) return kExitNoDevice;
    return problems ? kExitFailures : kExitOk;
}

}  // namespace kro::cli
