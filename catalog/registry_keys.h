// The registry keys the component reads and writes, each text written once.
// Macros, so that a key below another is written as one literal.
#pragma once

#include <windows.h>

// HKLM: the maker's key, below it the product's language packs ("Quillon",
// "Quillon German", ...) and the installed releases by language
// ("Quillon.1\English\15", ...).
#define REVDIR_MAKER_KEY OLESTR("SOFTWARE\\Brenmoor Software")
#define REVDIR_PRODUCT_KEY REVDIR_MAKER_KEY OLESTR("\\Quillon")
#define REVDIR_RELEASES_KEY REVDIR_MAKER_KEY OLESTR("\\Quillon.1")
