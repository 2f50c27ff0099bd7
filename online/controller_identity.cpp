#include "frame/port.h"
#include "online/controller_identity.h"

#include <string.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "QuillonRevisionDirectory.h"
#include "frame/boundary.h"
#include "frame/qx_buffer.h"
#include "platform/text/wide_text.h"

namespace revdir {

namespace {

constexpr char kPathPrefix[] = "cvpath:";
constexpr DWORD kPathPrefixChars = 7;
constexpr DWORD kTargetDataBytes = 512;
// Offsets in the identity image.
constexpr DWORD kSerialOffset = 10;
constexpr DWORD kNameLengthOffset = 14;
constexpr DWORD kNameOffset = 15;
// What the look-up uses: vendor, device type, product code and revision.
constexpr DWORD kLookUpBytes = 8;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasPathPrefix(const char *text) {
  for (DWORD i = 0; i < kPathPrefixChars; ++i) {
    if (Lower(text[i]) != kPathPrefix[i]) return false;
  }
  return true;
}

void CopyText(char (&out)[MAX_PATH], const char *text) {
  size_t n = strnlen(text, MAX_PATH - 1);
  memcpy(out, text, n);
  out[n] = '\0';
}

// The host program's file name and extension, which the library's log and
// start-up report name.
void ApplicationName(char (&out)[MAX_PATH]) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    CopyText(out, "Unidentified application");
    return;
  }
  path[n] = '\0';
  const char *name = path;
  for (const char *p = path; *p; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  CopyText(out, name);
}

}  // namespace

CControllerIdentity::CControllerIdentity() {
  m_productName = SysAllocStringLen(nullptr, kNameChars);
  ApplicationName(m_application);
  // The record as this build lays it out: its Size is the native one, so the
  // library reads every field set here.
  QxOnlineInitInfo info;
  memset(&info, 0, sizeof info);
  info.Revision = 5;
  info.Size = sizeof info;
  memcpy(info.LibraryType, "STATIC", 7);
  info.CipObjects = 1;
  info.Application = m_application;
  info.ConsoleWindow = 1;
  QxOnlineInitialize(m_application, &info);
  // Without a context there is no packet server, and every read fails.
  m_setUp = comm::QxASAPacketServer::Create(&m_packetServer);
  if (FAILED(m_setUp)) m_packetServer = nullptr;
  // The library starts its packet log with the context, when it has one.
  Reset();
}

CControllerIdentity::~CControllerIdentity() {
  Disconnect();
  delete m_packetServer;
  m_packetServer = nullptr;
  QxOnlineUninitialize();
  SysFreeString(m_productName);
}

DWORD CControllerIdentity::SerialNumber() const {
  // Unaligned in the image.
  return static_cast<DWORD>(m_image[kSerialOffset]) | static_cast<DWORD>(m_image[kSerialOffset + 1]) << 8 |
         static_cast<DWORD>(m_image[kSerialOffset + 2]) << 16 | static_cast<DWORD>(m_image[kSerialOffset + 3]) << 24;
}

void CControllerIdentity::Reset() {
  memset(m_image, 0xFF, kImageBytes);
  m_image[kNameLengthOffset] = 0;
  memset(m_image + kNameOffset, 0, kImageBytes - kNameOffset + 1);
  if (m_productName) memset(m_productName, 0, kNameChars * sizeof(WCHAR));
}

HRESULT CControllerIdentity::Read(const WCHAR *route) {
  Reset();
  if (!route) return E_INVALIDARG;
  if (!m_packetServer) return FAILED(m_setUp) ? m_setUp : E_POINTER;
  return OutOfMemoryGuard([&] {
    // 1. The route in the system's ANSI code page.
    std::string text = platform::Narrow(route, CP_ACP);
    // 2. The target, from whichever form the route has.
    HRESULT hr;
    if (HasPathPrefix(text.c_str()))
      hr = TargetFromPathForm(text.data());
    else if (text.find('%') != std::string::npos)
      hr = TargetFromDriverForm(text.data());
    else
      hr = comm::QxE_OUT_OF_RANGE;
    if (FAILED(hr)) return hr;
    // 3. Connect, ask, and disconnect whatever the answer.
    hr = Connect();
    if (FAILED(hr)) return hr;
    hr = RequestIdentity();
    Disconnect();
    return hr;
  });
}

// "cvpath:" and a path string; without a server name this computer's goes in
// front, so that the path always names its server.
HRESULT CControllerIdentity::TargetFromPathForm(char *path) {
  const char *rest = path + kPathPrefixChars;
  while (IsBlank(*rest)) ++rest;
  memmove(path, rest, strlen(rest) + 1);
  QxBuffer<char> named;
  if (!strchr(path, '!')) {
    DWORD length = static_cast<DWORD>(strlen(path));
    if (FAILED(named.Resize(length + 17))) return E_OUTOFMEMORY;
    memset(named.Data, 0, named.Count);
    // A name of up to 15 characters, "!" and the rest fit in the rest plus 17.
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameA(named.Data, &size)) named.Data[0] = '\0';
    DWORD at = static_cast<DWORD>(strlen(named.Data));
    named.Data[at] = '!';
    memcpy(named.Data + at + 1, path, length + 1);
    path = named.Data;
  }
  DWORD size = 0;
  HRESULT hr = QxOnlineGetTargetSize(path, &size);
  if (FAILED(hr)) return hr;
  BYTE data[kTargetDataBytes];
  memset(data, 0, sizeof data);
  hr = QxOnlineGetTargetData(path, data, sizeof data);
  if (FAILED(hr)) return hr;
  hr = m_packetServer->SetTargetFromTargetData(data, size);
  if (FAILED(hr)) return hr;
  QxOnlineLogTarget(m_packetServer->Target());
  return S_OK;
}

// A driver name, "%", and the CIP path to the controller: only the first "%"
// splits.
HRESULT CControllerIdentity::TargetFromDriverForm(char *route) {
  char *split = strchr(route, '%');
  *split = '\0';
  HRESULT hr = m_packetServer->SetTargetOtherNetwork(route, split + 1);
  *split = '%';
  return hr;
}

HRESULT CControllerIdentity::Connect() {
  Disconnect();
  HRESULT hr = m_packetServer->StartCommunicating();
  if (FAILED(hr)) return hr;
  m_connected = 1;
  return S_OK;
}

void CControllerIdentity::Disconnect() {
  if (!m_connected) return;
  m_packetServer->StopCommunicating();
  m_connected = 0;
}

// The product name of the image's first `length` name bytes, in the system's
// ANSI code page.
void CControllerIdentity::SetProductName(DWORD length) {
  platform::WideString name =
      platform::Widen(std::string_view(reinterpret_cast<const char *>(m_image + kNameOffset), length), CP_ACP);
  const size_t chars = std::min<size_t>(name.size(), kNameChars);
  memcpy(m_productName, name.data(), chars * sizeof(WCHAR));
  m_productName[chars] = 0;
}

// Get_Attributes_All of the Identity object, instance 1, copied into the
// image in place.
HRESULT CControllerIdentity::RequestIdentity() {
  comm::QxASAInternalObjectID id;
  id.SetClass(1);
  id.SetInstance(1);
  comm::QxMsgHandle *handle = new comm::QxMsgHandle;
  HRESULT hr = m_packetServer->GetAttributesAll(handle, &id);
  if (SUCCEEDED(hr)) {
    DWORD size = kImageBytes;
    hr = m_packetServer->CopyReplyData(handle, m_image, &size);
    // A reply too short for the look-up's fields would mix them with the
    // reset bytes and name some other controller.
    if (SUCCEEDED(hr) && size < kLookUpBytes) hr = comm::QxE_REPLY_NO_DATA;
    if (FAILED(hr)) {
      Reset();
    } else {
      // The name as far as the reply carried it: a length byte that claims
      // more than arrived names nothing beyond the reply.
      DWORD length = m_image[kNameLengthOffset];
      DWORD arrived = size > kNameOffset ? size - kNameOffset : 0;
      if (length > arrived) length = arrived;
      m_image[kNameOffset + length] = '\0';
      if (m_productName) SetProductName(length);
    }
  }
  handle->Release();
  return hr;
}

Outcome<ControllerId> IdentifyController(const WCHAR *route) {
  CControllerIdentity identity;
  if (FAILED(identity.Read(route))) return {{}, ComponentFailure(RdE_NoDeviceFound)};
  return {{identity.DeviceType(), identity.ProductCode(), identity.MajorRevision()}, {}};
}

}  // namespace revdir
