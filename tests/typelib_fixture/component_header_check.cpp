// The generated header of the component compiles and derives its versioned
// interfaces from one another, as clients of the vtables rely on.
#include <type_traits>

#include "QuillonRevisionDirectory.h"

static_assert(std::is_base_of_v<IRevisionDirectory_V5, IRevisionDirectory_V6> &&
              std::is_base_of_v<IDispatch, IRevisionDirectory>);
static_assert(std::is_base_of_v<IRevision, IRevision_V2> && std::is_base_of_v<IProcessorType, IProcessorType_V2>);
static_assert(sizeof(RdErrors) == 4 && RdE_NotInitialized == static_cast<LONG>(0x80043D00));
static_assert(RdRevisionDirectoryInterfaceCurrentVersion == 0x600 && Korean == 1042 && Betrel12 == 32);
