// Calling convention of the doubles' KroDouble_* test controls. It stays the C
// convention in every variant, whatever convention the KRO_ exports are built
// with, so one test program steers them all.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define KRO_CONTROL_CALL __cdecl
#else
#define KRO_CONTROL_CALL
#endif
