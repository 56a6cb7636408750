#pragma once
// The libraries a platform offers to be loaded at run time, by file name: "ddraw.dll" is the
// screen, "dsound.dll" the sound output, "dinput.dll" the keyboard. Names compare without
// regard to case.
#include <string>
#include <string_view>

namespace platform {

// True when the named library is one of the platform's and exports the function.
bool LibraryExports(std::string_view file_name, std::string_view function);

std::string LowerAscii(std::string_view s);

}  // namespace platform
