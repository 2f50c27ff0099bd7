// OLE control interfaces; the automation subset needs only what oaidl.h and
// objidl.h declare.
#pragma once

#include "oaidl.h"
#include "objidl.h"
