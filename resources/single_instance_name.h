// The single-instance name: the named mutex the window program holds while
// it runs, and the class of its main window (window_class.h, which checks
// that the two are the same text). Portable and header-only, below both
// programs, so that the console twin looks for the same mutex without any
// of the window program's code.
#pragma once

namespace kro {

inline constexpr char kSingleInstanceName[] = "MERIN.KROFILELIST";

}  // namespace kro
