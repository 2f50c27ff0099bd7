// What an interface compiler's output needs of the RPC runtime header: the
// Windows types only; there is no RPC here.
#pragma once

#include "guiddef.h"
#include "windows.h"

#define __RPC_USER
#define __RPC_API
#define __RPC_CALLEE
