// The communications library's HRESULTs (facility 4, codes 0x2000 and up) and
// their names for the log.
#pragma once

#include <windows.h>

namespace comm {

inline constexpr HRESULT QxE_BUFFER_TOO_SMALL = static_cast<HRESULT>(0x80042000);
inline constexpr HRESULT QxE_CIP_ERROR_REPLY = static_cast<HRESULT>(0x80042501);
inline constexpr HRESULT QxE_NOT_SUPPORTED = static_cast<HRESULT>(0x80042502);
inline constexpr HRESULT QxE_NO_DEVICE = static_cast<HRESULT>(0x80042507);
inline constexpr HRESULT QxE_CHANNEL_NOT_OPEN = static_cast<HRESULT>(0x80042508);
inline constexpr HRESULT QxE_COMM_DTLERROR = static_cast<HRESULT>(0x80042509);
inline constexpr HRESULT QxE_OPEN_INCOMPLETE = static_cast<HRESULT>(0x8004250a);
inline constexpr HRESULT QxE_ALREADY_OPEN = static_cast<HRESULT>(0x8004250c);
inline constexpr HRESULT QxE_COMM_TIMEOUT = static_cast<HRESULT>(0x8004250d);
inline constexpr HRESULT QxE_LOG_STARTED = static_cast<HRESULT>(0x8004250f);
inline constexpr HRESULT QxE_NO_PATH = static_cast<HRESULT>(0x80042515);
inline constexpr HRESULT QxE_COMM_BUFFERTOOSMALL = static_cast<HRESULT>(0x80042517);
inline constexpr HRESULT QxE_OUT_OF_RANGE = static_cast<HRESULT>(0x80042518);
inline constexpr HRESULT QxE_NO_REPLY = static_cast<HRESULT>(0x8004251a);
inline constexpr HRESULT QxE_ALREADY_COMMUNICATING = static_cast<HRESULT>(0x80042520);
inline constexpr HRESULT QxE_REPLY_NO_DATA = static_cast<HRESULT>(0x80042522);
inline constexpr HRESULT QxE_NO_OBJECT_DEFINITION = static_cast<HRESULT>(0x80042526);
inline constexpr HRESULT QxE_TOO_MANY_ATTRIBUTES = static_cast<HRESULT>(0x80042528);
inline constexpr HRESULT QxE_PATH_REFUSED_0318 = static_cast<HRESULT>(0x8004252d);
inline constexpr HRESULT QxE_NOT_INITIALIZED = static_cast<HRESULT>(0x80042533);
inline constexpr HRESULT QxE_CHANNEL_OPEN_FAILED = static_cast<HRESULT>(0x80042534);
inline constexpr HRESULT QxE_CONNECTION_REFUSED = static_cast<HRESULT>(0x80042536);
inline constexpr HRESULT QxE_DRIVER_OPEN_FAILED = static_cast<HRESULT>(0x80042538);
inline constexpr HRESULT QxE_NO_VIRTUAL_BACKPLANE = static_cast<HRESULT>(0x80042539);
inline constexpr HRESULT QxE_REVISION_TABLE = static_cast<HRESULT>(0x800426ff);

// "SUCCESS", a constant's name, or null for a value without one.
const char *QxErrorName(HRESULT hr);

}  // namespace comm
