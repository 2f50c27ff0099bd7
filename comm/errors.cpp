#include "qx_errors.h"

namespace comm {

const char *QxErrorName(HRESULT hr) {
  switch (hr) {
    case S_OK: return "SUCCESS";
    case E_INVALIDARG: return "E_INVALIDARG";
    case QxE_COMM_DTLERROR: return "QxE_COMM_DTLERROR";
    case QxE_BUFFER_TOO_SMALL: return "QxE_BUFFER_TOO_SMALL";
    case QxE_COMM_BUFFERTOOSMALL: return "QxE_COMM_BUFFERTOOSMALL";
    case QxE_COMM_TIMEOUT: return "QxE_COMM_TIMEOUT";
    default: return nullptr;
  }
}

}  // namespace comm
