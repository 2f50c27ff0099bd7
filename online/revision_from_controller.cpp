#include "frame/port.h"

#include "directory/revision_directory.h"
#include "online/controller_identity.h"

namespace revdir {

// The directory's member: everything on the way to the controller is one
// error; what the identity names is looked up as any controller id is.
STDMETHODIMP CRevisionDirectory::GetRevisionFromController(BSTR EncodedRouteString, IRevision **Revision) {
  if (!Revision) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *Revision = nullptr;
  if (!EncodedRouteString) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  CControllerIdentity identity;
  if (FAILED(identity.Read(EncodedRouteString))) return m_errorInfo.ReportError(RdE_NoDeviceFound);
  IRevisionDirectory_V6 *self = this;
  return self->GetRevisionFromControllerId(identity.DeviceType(), identity.ProductCode(), identity.MajorRevision(),
                                           Revision);
}

}  // namespace revdir
