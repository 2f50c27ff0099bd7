// The packet server: one client's conversation with one controller. It owns
// a target record, opens a channel to the controller through the
// communications server's client interface, sends CIP requests described by
// an object id and a message handle, waits a bounded time for the reply and
// unpacks it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qxonline.h"

namespace comm {

class Channel;
struct asaMessage;

// A time-out value that can be extended while a request waits; an extension
// adds to every object of its chain (this one and its parents).
class QxCommTimeOut {
 public:
  explicit QxCommTimeOut(DWORD ms, QxCommTimeOut *parent = nullptr) : m_value(ms), m_parent(parent) {}
  DWORD Value() const { return m_value.load(); }
  void Extend(DWORD ms);

 private:
  std::atomic<DWORD> m_value;
  QxCommTimeOut *m_parent;
};

// Three times a time-out, without wrapping (INFINITE - 1 at most).
DWORD TripleTimeOut(DWORD ms);

#pragma pack(push, 1)
struct QxMsgStruct {
  void *pAsync;           // the wait object of the pending request
  WORD status;            // CIP general status of the reply
  BYTE *SendBuf;
  DWORD SendSize;         // bytes used
  BYTE *ReplyBuf;
  DWORD ReplySize;        // bytes received
  BYTE *tmpBuf;
  DWORD tmpBufSize;
  DWORD allocatedByCM;
  DWORD CorvidStatus;     // completion status from the communications server
  DWORD attribReplyType;
  QxCommTimeOut *pTimeOut;  // or null: three times the target's default time-out
  WORD PacketID;
};
#pragma pack(pop)

// A message handle: reference-counted, and counting its pending requests.
class QxMsgHandle {
 public:
  QxMsgHandle();
  QxMsgHandle(const QxMsgHandle &) = delete;
  QxMsgHandle &operator=(const QxMsgHandle &) = delete;
  ULONG AddRef();
  ULONG Release();
  // A request starts (one more reference and one more pending request) or
  // ends (one less of each; without a pending request nothing is released).
  void BeginRequest();
  void EndRequest();
  LONG Pending() const { return m_pending.load(); }

  QxMsgStruct &Msg() { return m_msg; }
  const QxMsgStruct &Msg() const { return m_msg; }
  // "Dump of MsgHandle Structure:" and one line per field.
  std::string Dump() const;

  // Buffers are reused and only grown; false when memory runs out.
  bool ReserveSend(DWORD size);
  bool ReserveReply(DWORD size);
  bool ReserveTmp(DWORD size);
  DWORD ReplyCapacity() const { return m_replyCapacity; }

 private:
  ~QxMsgHandle();
  std::atomic<LONG> m_refs{1};
  std::atomic<LONG> m_pending{0};
  QxMsgStruct m_msg;
  DWORD m_sendCapacity = 0, m_replyCapacity = 0;
};

// A CIP object path being built: class, instance and further logical elements.
class QxASAInternalObjectID {
 public:
  enum Kind : DWORD { kClass = 1, kInstance = 2, kAttribute = 4, kMember = 16, kConnectionPoint = 32 };
  static constexpr size_t kMaxElements = 8;

  HRESULT SetClass(DWORD value) { return Add(kClass, value); }
  HRESULT SetInstance(DWORD value) { return Add(kInstance, value); }
  HRESULT Add(DWORD kind, DWORD value);
  // The class of the first class element, or 0.
  WORD Class() const;
  WORD Instance() const;
  // The path as CIP logical segments (8-bit values in one byte, 16-bit ones
  // padded); 0x80042515 for an id without elements.
  HRESULT BuildPath(std::vector<BYTE> &out) const;

 private:
  struct Element {
    DWORD kind;
    WORD value;
  };
  Element m_elements[kMaxElements] = {};
  size_t m_count = 0;
};

class QxASAPacketServer {
 public:
  // 0x80042533 while the library is not initialized.
  static HRESULT Create(QxASAPacketServer **out);
  virtual ~QxASAPacketServer();
  QxASAPacketServer(const QxASAPacketServer &) = delete;
  QxASAPacketServer &operator=(const QxASAPacketServer &) = delete;

  // Get_Attribute_List (service 0x03) for the attributes in list.
  virtual HRESULT GetAttributesList(QxMsgHandle *handle, QxASAInternalObjectID *id, const WORD *list, DWORD count);
  // Get_Attributes_All (service 0x01); falls back to lists of attributes when
  // the device does not serve it.
  virtual HRESULT GetAttributesAll(QxMsgHandle *handle, QxASAInternalObjectID *id);

  // skipRevisionTable: do not load the class revision table; checkPathWord is
  // handed to the path check; connected asks for a connected channel.
  HRESULT StartCommunicating(DWORD skipRevisionTable = 0, DWORD checkPathWord = 0, bool connected = false);
  void StopCommunicating();
  bool Communicating() const { return m_communicating; }
  bool HasChannel() const { return m_channel != nullptr; }

  // The data bytes of the handle's reply into buffer; *size in: capacity, out:
  // bytes (or bytes needed).
  HRESULT CopyReplyData(QxMsgHandle *handle, BYTE *buffer, DWORD *size);

  QxCommTarget *Target() { return m_target.get(); }
  HRESULT SetTargetProtocol(const char *protocol, const char *driver) {
    return QxSetTargetProtocol(m_target.get(), protocol, driver);
  }
  HRESULT SetTargetOtherNetwork(const char *driver, const char *path) {
    return QxSetTargetOtherNetwork(m_target.get(), driver, path);
  }
  HRESULT SetTargetFromTargetData(const BYTE *data, DWORD count) {
    return QxSetTargetFromTargetData(m_target.get(), data, count);
  }
  // The Identity reply kept by the path check.
  const std::vector<BYTE> &DeviceInfo() const { return m_deviceInfo; }
  // The largest request the channel carries (0 without a channel).
  DWORD LargestRequest() const;

 private:
  QxASAPacketServer();
  HRESULT OpenChannel(bool connected);
  HRESULT CheckPath(DWORD word);
  HRESULT LoadRevisionTable();
  HRESULT PrepareBuffers(QxMsgHandle *handle, bool attributeReply);
  HRESULT SendAndWait(QxMsgHandle *handle, BYTE service, const std::vector<BYTE> &path, const std::vector<BYTE> &data);
  HRESULT ReadAttributeLists(QxMsgHandle *handle, QxASAInternalObjectID *id);
  void ResetDeviceInfo();

  std::unique_ptr<Channel> m_channel;
  std::unique_ptr<QxCommTarget> m_target;
  bool m_communicating = false;
  DWORD m_savedConnectionSize = 0;
  std::vector<BYTE> m_deviceInfo;
  WORD m_lastPacketId = 65535;
};

// The text of a connection state (1 to 12, anything else).
const char *ConnectionStateText(DWORD state);

}  // namespace comm
