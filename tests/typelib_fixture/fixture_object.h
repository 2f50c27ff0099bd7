// The objects of the fixture library: IFixture2 and IFixItem, dual, their
// IDispatch answered from the library's type information as a server built
// on the standard dispatch does.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include "Fixture.h"

// Creates a fixture object whose IDispatch is served by `lib`.
HRESULT CreateFixture(ITypeLib *lib, IFixture2 **out);

// Text of the error information that Fail sets.
#define FIXTURE_ERROR_SOURCE OLESTR("Fixture.Fixture")
#define FIXTURE_ERROR_TEXT OLESTR("The fixture failed on purpose.")
