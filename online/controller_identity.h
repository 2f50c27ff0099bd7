// The identity of the controller at the end of a route, read through the
// communications library: one library context, one packet server and the
// Identity object's reply, for the length of one call.
#pragma once

#include "frame/port.h"

#include "comm/packet_server.h"
#include "frame/errors.h"

namespace revdir {

class CControllerIdentity {
 public:
  // The identity image: attributes 1 to 7 of the Identity object as its
  // Get_Attributes_All reply carries them, and one byte more for the
  // terminator of a product name of full length.
  static constexpr DWORD kImageBytes = 270;
  static constexpr DWORD kNameChars = 255;

  // Opens the library context and creates the packet server.
  CControllerIdentity();
  // Disconnects, destroys the packet server and closes the context.
  ~CControllerIdentity();
  CControllerIdentity(const CControllerIdentity &) = delete;
  CControllerIdentity &operator=(const CControllerIdentity &) = delete;

  // Reads the identity along an encoded route ("cvpath:" and a path string,
  // or a driver name, "%" and a CIP path in hexadecimal text). Disconnected
  // again on return, whatever the outcome.
  HRESULT Read(const WCHAR *route);

  WORD VendorId() const { return Word(0); }
  WORD DeviceType() const { return Word(2); }
  WORD ProductCode() const { return Word(4); }
  BYTE MajorRevision() const { return m_image[6]; }
  BYTE MinorRevision() const { return m_image[7]; }
  DWORD SerialNumber() const;
  // Never null while the object lives: empty until a name was read.
  const WCHAR *ProductName() const { return m_productName ? m_productName : OLESTR(""); }
  bool Connected() const { return m_connected != 0; }

 private:
  void Reset();
  HRESULT TargetFromPathForm(char *path);
  HRESULT TargetFromDriverForm(char *route);
  HRESULT Connect();
  void Disconnect();
  HRESULT RequestIdentity();
  void SetProductName(DWORD length);
  WORD Word(DWORD offset) const { return static_cast<WORD>(m_image[offset] | m_image[offset + 1] << 8); }

  comm::QxASAPacketServer *m_packetServer = nullptr;
  HRESULT m_setUp = S_OK;  // why there is no packet server
  BYTE m_image[kImageBytes + 1];
  BSTR m_productName = nullptr;
  DWORD m_connected = 0;
  char m_application[MAX_PATH];
};

// What a release is looked up by for a controller: the identity's device
// type, product code and major revision.
struct ControllerId {
  LONG productType = 0;
  LONG productCode = 0;
  LONG majorRev = 0;
};

// The id of the controller at the end of `route` (not null). Everything on
// the way to the controller fails as one: RdE_NoDeviceFound.
Outcome<ControllerId> IdentifyController(const WCHAR *route);

}  // namespace revdir
