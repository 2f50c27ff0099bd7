// Conversion from the ANSI code page (UTF-8 here) as MultiByteToWideChar
// does it, for the narrow text other functions take in.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Ill-formed input becomes U+FFFD, once per maximal ill-formed subpart.
std::u16string AnsiToWide(std::string_view s);

}  // namespace platform
