// The declaration macros an interface compiler's header uses. The uuid
// attribute has no meaning to this compiler: interfaces name their IIDs.
#pragma once

#include "rpc.h"

#define DECLSPEC_UUID(x)
#define DECLSPEC_NOVTABLE
#define MIDL_INTERFACE(x) struct DECLSPEC_UUID(x) DECLSPEC_NOVTABLE
#ifndef BEGIN_INTERFACE
#define BEGIN_INTERFACE
#define END_INTERFACE
#endif
// Identifiers may be defined in several modules of one program.
#define DECLSPEC_SELECTANY __attribute__((weak))
#ifndef CONST_VTBL
#define CONST_VTBL
#endif
#define EXTERN_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
