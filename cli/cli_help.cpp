// The --help and --version texts.
#include "cli/cli_options.h"

#ifndef KRO_VERSION
#error "KRO_VERSION must be defined by the build"
#endif

namespace kro::cli {

std::string HelpText() {
    return "Usage:\n"
           "  KroFileListCLI list [--category event|normal|park|photo] [--json] [--wait SECONDS]\n"
           "  KroFileListCLI export LIST (NAME... | --all) [--new] [--wait SECONDS]\n"
           "  KroFileListCLI watch LIST... [--new]\n"
           "  KroFileListCLI --help | --version\n"
           "\n"
           "LIST is event, normal, park or photo.\n"
           "\n"
           "list    Waits for a card (up to --wait seconds, default 10) and prints each\n"
           "        recording as list, name, size and duration, tab-separated, then the\n"
           "        summary line of each list. --json prints exact bytes and seconds.\n"
           "export  Exports the named recordings of one list, or all of them, into\n"
           "        C:\\ZiduvOra\\: videos as AVI files made by KROLib.dll, photos as\n"
           "        picture files. --new skips recordings exported before.\n"
           "watch   Waits for cards; each time one is inserted, exports the lists given\n"
           "        (with --new only what is new) and waits for the next card.\n"
           "        Ctrl+C ends it after the current recording. While KroFileList.exe\n"
           "        runs, watch finishes the current recording and waits; it goes on\n"
           "        where it stopped when KroFileList.exe ends.\n"
           "\n"
           "The device library KROLib.dll is looked for beside this program first.\n"
           "Exported recordings are kept in C:\\ZiduvOra\\KroFileListCLI.record; --new\n"
           "skips what it names.\n"
           "\n"
           "Exit codes:\n"
           "  0  everything asked for was done\n"
           "  1  some recordings could not be exported (named on standard error)\n"
           "  2  no device library, or no card\n"
           "  3  wrong usage\n"
           "  4  KroFileList.exe is running (close it first)\n";
}

std::string VersionText() {
    return std::string("KroFileListCLI ") + KRO_VERSION + "\n";
}

}  // namespace kro::cli
