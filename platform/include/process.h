// C-runtime thread start functions.
#pragma once

#include "windef.h"

EXTERN_C DECLSPEC_IMPORT uintptr_t _beginthread(void(*start_address)(void *), unsigned stack_size,
                                                void *arglist);
EXTERN_C DECLSPEC_IMPORT uintptr_t _beginthreadex(void *security, unsigned stack_size,
                                                  unsigned(*start_address)(void *), void *arglist,
                                                  unsigned initflag, unsigned *thrdaddr);
EXTERN_C DECLSPEC_IMPORT void _endthreadex(unsigned retval);
