// The name of the single-instance object: the named mutex the window program
// holds while it runs (and its main window's class). Portable, so that the
// console twin can look for the same object without the window's code.
#pragma once

namespace kro {

inline constexpr char kSingleInstanceName[] = "MERIN.KROFILELIST";

}  // namespace kro
