#include "packet_server.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "channel.h"
#include "context.h"

namespace comm {

namespace {

constexpr BYTE kGetAttributesAll = 0x01;
constexpr BYTE kGetAttributeList = 0x03;
constexpr WORD kIdentityClass = 1;
constexpr DWORD kTmpBufferSize = kMaxReply + kReplyHeader;
// The request builder's own failures.
constexpr int kRequestTooLarge = 548;
constexpr int kReplyTooLarge = 549;

HRESULT BuilderResult(int code) {
  switch (code) {
    case 0: return S_OK;
    case kRequestTooLarge:
    case kReplyTooLarge: return QxE_TOO_MANY_ATTRIBUTES;
    case 551:
    case 769: return E_OUTOFMEMORY;
    case 4100: return QxE_REPLY_NO_DATA;
    default: return E_FAIL;
  }
}

constexpr const char *kStateTexts[] = {"connection successfully opened",
                                       "error establishing connection",
                                       "connection failed",
                                       "connection timed out",
                                       "connection successfully closed",
                                       "duplicate packet received",
                                       "packet lost",
                                       "ACK received",
                                       "NAK - unspecified type received",
                                       "NAK - Bad Command received",
                                       "NAK - Sequence Error received",
                                       "NAK - Not Enough Memory received"};

// The completion of a request whose reply failed to arrive, as an HRESULT.
HRESULT CompletionResult(uint32_t iostat) {
  switch (iostat) {
    case DTL_SUCCESS: return S_OK;
    case DTL_E_TIMEOUT: return QxE_COMM_TIMEOUT;
    case DTL_E_NO_DEVICE: return QxE_NO_DEVICE;
    case DTL_E_REPLY_TOO_LONG: return QxE_COMM_BUFFERTOOSMALL;
    case DTL_E_CLOSING: return QxE_NO_REPLY;
    default: return QxE_COMM_DTLERROR;
  }
}

struct Work {
  asaMessage *m;
  QxMsgHandle *handle;
  HRESULT result = QxE_NO_REPLY;
};

// The receive routine: runs once the reply is in, on the request's worker.
void Receive(Work &w) {
  asaMessage *m = w.m;
  QxMsgStruct &msg = w.handle->Msg();
  msg.CorvidStatus = m->iostat;
  if (m->iostat != DTL_SUCCESS) {
    LogLine("\nERROR: from Corvid in PostReceive() - iostat = 0x%08x", static_cast<unsigned>(m->iostat));
    LogLine("       extended error = 0x%04x", static_cast<unsigned>(m->extError & 0xFFFF));
    if (m->iostat == DTL_E_TIMEOUT || m->iostat == DTL_E_NO_DEVICE) {
      LogLine("       CIP general - CONNECTION_FAILURE");
      LogLine(m->iostat == DTL_E_TIMEOUT ? "          extended - UNCONNECTED_MSG_TIMEOUT"
                                         : "          extended - LINK_ADDR_NOT_AVAILABLE");
    }
    w.result = CompletionResult(m->iostat);
    return;
  }
  DWORD size = std::min<DWORD>(m->replySize, w.handle->ReplyCapacity());
  if (size) std::memcpy(msg.ReplyBuf, m->reply, size);
  msg.ReplySize = size;
  msg.status = size >= 3 ? m->reply[2] : 0;
  if (QxASADiagnostics *log = Log()) {
    log->Printf("           received: %s\n", TimeStamp().c_str());
    log->Bytes("RECEIVE", m->reply, size);
  }
  w.result = S_OK;
}

// A request's own worker: waits for the reply or the requester's cancel.
DWORD WINAPI Worker(LPVOID p) {
  static_cast<asaMessage *>(p)->Serve(nullptr, INFINITE);
  return 0;
}

// The request in the handle's send buffer: service, path size in words,
// path, data.
HRESULT WriteRequest(QxMsgStruct &msg, DWORD largest, BYTE service, const std::vector<BYTE> &path,
                     const std::vector<BYTE> &data) {
  DWORD requestSize = static_cast<DWORD>(2 + path.size() + data.size());
  if (requestSize > largest || path.size() > 2 * 0xFF) return BuilderResult(kRequestTooLarge);
  msg.SendBuf[0] = service;
  msg.SendBuf[1] = static_cast<BYTE>(path.size() / 2);
  std::memcpy(msg.SendBuf + 2, path.data(), path.size());
  if (!data.empty()) std::memcpy(msg.SendBuf + 2 + path.size(), data.data(), data.size());
  msg.SendSize = requestSize;
  msg.ReplySize = 0;
  msg.status = 0;
  return S_OK;
}

// Waits until the reply was received or a worker let the request go; a
// time-out extended meanwhile is waited out too. WAIT_OBJECT_0 is the reply.
DWORD WaitForEnd(const asaMessage *m, const QxCommTimeOut &timeOut) {
  HANDLE ends[2] = {m->doneEvent, m->releasedEvent};
  DWORD waited = timeOut.Value();
  DWORD w = WaitForMultipleObjects(2, ends, FALSE, waited);
  while (w == WAIT_TIMEOUT && timeOut.Value() > waited) {
    DWORD more = timeOut.Value() - waited;
    waited += more;
    w = WaitForMultipleObjects(2, ends, FALSE, more);
  }
  return w;
}

// The request's result, once no worker touches it: the receive routine's,
// or why the reply did not come.
HRESULT Outcome(const asaMessage *m, DWORD waitResult, HRESULT received) {
  bool done = WaitForSingleObject(m->doneEvent, 0) == WAIT_OBJECT_0;
  bool released = waitResult == WAIT_OBJECT_0 + 1;
  if (done) return received;
  if (waitResult == WAIT_TIMEOUT || (released && m->abandoned == QxE_COMM_TIMEOUT)) {
    LogLine("APPLICATION TIMED OUT WAITING FOR A REPLY on %s", TimeStamp().c_str());
    LogLine("No reply logged for this message --");
    LogLine("Purged -");
    return QxE_COMM_TIMEOUT;
  }
  return released ? m->abandoned : E_FAIL;
}

void LogOutcome(HRESULT hr) {
  if (hr == QxE_COMM_TIMEOUT)
    LogLine("HRESULT from QxWaitIfSync() is QxE_COMM_TIMEOUT");
  else if (hr == E_FAIL)
    LogLine("HRESULT from QxWaitIfSync() is E_FAIL");
  else
    LogLine("HRESULT from QxWaitIfSync() is 0x%08x  ", static_cast<unsigned>(hr));
}

// Hands the request to the channel and waits for its end. The reply is
// waited for by the channel's second worker, or by a worker of this
// request's own; either has let the message go on return.
HRESULT Transact(Channel &channel, asaMessage *m, const Work &work, DWORD serverTimeOut, const QxCommTimeOut &timeOut) {
  HRESULT hr = channel.SendReceive(m, serverTimeOut);
  if (FAILED(hr)) return hr;
  HANDLE worker = nullptr;
  if (!channel.ServeReply(m)) {
    worker = StartWorker(Worker, m);
    if (!worker) {
      // Nobody else will wait: the server's reference keeps the message alive.
      SetEvent(m->cancelEvent);
      return E_FAIL;
    }
  }
  DWORD w = WaitForEnd(m, timeOut);
  if (w != WAIT_OBJECT_0) SetEvent(m->cancelEvent);
  if (worker) {
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
  } else {
    WaitForSingleObject(m->releasedEvent, INFINITE);
  }
  hr = Outcome(m, w, work.result);
  LogOutcome(hr);
  return hr;
}

void PutU16(std::vector<BYTE> &out, WORD v) {
  out.push_back(static_cast<BYTE>(v));
  out.push_back(static_cast<BYTE>(v >> 8));
}

WORD GetU16(const BYTE *p) { return static_cast<WORD>(p[0] | p[1] << 8); }

// The attribute's definition; instance 0 has the class attribute revision.
const adf::Attribute *FindAttribute(const adf::ClassDef *def, WORD instance, WORD id) {
  static const adf::Attribute kClassRevision{1, "Revision", 2, false};
  if (instance == 0) return id == 1 ? &kClassRevision : nullptr;
  if (!def) return nullptr;
  for (const adf::Attribute &a : def->attributes)
    if (a.id == id) return &a;
  return nullptr;
}

}  // namespace

void QxCommTimeOut::Extend(DWORD ms) {
  for (QxCommTimeOut *t = this; t; t = t->m_parent) {
    DWORD v = t->m_value.load();
    t->m_value.store(ms >= INFINITE - 1 - v ? INFINITE - 1 : v + ms);
  }
}

DWORD TripleTimeOut(DWORD ms) { return ms > (INFINITE - 1) / 3 ? INFINITE - 1 : ms * 3; }

const char *ConnectionStateText(DWORD state) {
  if (state >= 1 && state <= 12) return kStateTexts[state - 1];
  return "unknown state: see the client interface's header for its meaning";
}

// ---- QxMsgHandle ----------------------------------------------------------------

QxMsgHandle::QxMsgHandle() {
  std::memset(&m_msg, 0, sizeof m_msg);
  m_msg.attribReplyType = 3;
  m_msg.PacketID = 0xDEAD;
}

QxMsgHandle::~QxMsgHandle() {
  std::free(m_msg.SendBuf);
  std::free(m_msg.ReplyBuf);
  std::free(m_msg.tmpBuf);
}

ULONG QxMsgHandle::AddRef() { return static_cast<ULONG>(m_refs.fetch_add(1) + 1); }

ULONG QxMsgHandle::Release() {
  LONG r = m_refs.fetch_sub(1) - 1;
  if (r == 0) delete this;
  return static_cast<ULONG>(r);
}

void QxMsgHandle::BeginRequest() {
  AddRef();
  m_pending.fetch_add(1);
}

void QxMsgHandle::EndRequest() {
  LONG p = m_pending.load();
  while (p > 0 && !m_pending.compare_exchange_weak(p, p - 1)) {
  }
  if (p <= 0) {
    LogLine("QXONLINE ATTEMPTED TO DELETE THE MESSAGE HANDLE!");
    return;
  }
  Release();
}

namespace {
bool Grow(BYTE *&buffer, DWORD &capacity, DWORD size) {
  if (capacity >= size) return true;
  void *p = std::realloc(buffer, size);
  if (!p) return false;
  buffer = static_cast<BYTE *>(p);
  capacity = size;
  return true;
}
}  // namespace

// The message structure is packed: its fields are copied, never referenced.
bool QxMsgHandle::ReserveSend(DWORD size) {
  BYTE *buffer = m_msg.SendBuf;
  bool ok = Grow(buffer, m_sendCapacity, size);
  m_msg.SendBuf = buffer;
  return ok;
}
bool QxMsgHandle::ReserveReply(DWORD size) {
  BYTE *buffer = m_msg.ReplyBuf;
  bool ok = Grow(buffer, m_replyCapacity, size);
  m_msg.ReplyBuf = buffer;
  return ok;
}
bool QxMsgHandle::ReserveTmp(DWORD size) {
  BYTE *buffer = m_msg.tmpBuf;
  DWORD capacity = m_msg.tmpBufSize;
  bool ok = Grow(buffer, capacity, size);
  bool grown = capacity != m_msg.tmpBufSize;
  m_msg.tmpBuf = buffer;
  m_msg.tmpBufSize = capacity;
  if (grown)
    LogLine("Allocated pHandle->tmpBuf = 0x%p - %u bytes", static_cast<void *>(buffer), static_cast<unsigned>(capacity));
  return ok;
}

std::string QxMsgHandle::Dump() const {
  char text[1024];
  std::snprintf(text, sizeof text,
                "Dump of MsgHandle Structure:\n"
                "  pAsync          = %p\n  status          = 0x%04x\n  SendBuf         = %p\n"
                "  SendSize        = %u\n  ReplyBuf        = %p\n  ReplySize       = %u\n"
                "  tmpBuf          = %p\n  tmpBufSize      = %u\n  allocatedByCM   = %u\n"
                "  CorvidStatus    = 0x%08x\n  attribReplyType = %u\n  pTimeOut        = %p\n"
                "  PacketID        = 0x%04x\n",
                m_msg.pAsync, m_msg.status, static_cast<void *>(m_msg.SendBuf), static_cast<unsigned>(m_msg.SendSize),
                static_cast<void *>(m_msg.ReplyBuf), static_cast<unsigned>(m_msg.ReplySize),
                static_cast<void *>(m_msg.tmpBuf), static_cast<unsigned>(m_msg.tmpBufSize),
                static_cast<unsigned>(m_msg.allocatedByCM), static_cast<unsigned>(m_msg.CorvidStatus),
                static_cast<unsigned>(m_msg.attribReplyType), static_cast<void *>(m_msg.pTimeOut), m_msg.PacketID);
  return text;
}

// ---- QxASAInternalObjectID ---------------------------------------------------------

HRESULT QxASAInternalObjectID::Add(DWORD kind, DWORD value) {
  if (kind != kClass && kind != kInstance && kind != kAttribute && kind != kMember && kind != kConnectionPoint)
    return QxE_OUT_OF_RANGE;
  if (value > 0xFFFF || m_count == kMaxElements) return QxE_OUT_OF_RANGE;
  m_elements[m_count++] = {kind, static_cast<WORD>(value)};
  return S_OK;
}

WORD QxASAInternalObjectID::Class() const {
  for (size_t i = 0; i < m_count; ++i)
    if (m_elements[i].kind == kClass) return m_elements[i].value;
  return 0;
}

WORD QxASAInternalObjectID::Instance() const {
  for (size_t i = 0; i < m_count; ++i)
    if (m_elements[i].kind == kInstance) return m_elements[i].value;
  return 0;
}

HRESULT QxASAInternalObjectID::BuildPath(std::vector<BYTE> &out) const {
  if (m_count == 0) return QxE_NO_PATH;
  out.clear();
  for (size_t i = 0; i < m_count; ++i) {
    BYTE type;
    switch (m_elements[i].kind) {
      case kClass: type = 0x20; break;
      case kInstance: type = 0x24; break;
      case kAttribute: type = 0x30; break;
      case kMember: type = 0x28; break;
      default: type = 0x2C; break;
    }
    WORD v = m_elements[i].value;
    if (v <= 0xFF) {
      out.push_back(type);
      out.push_back(static_cast<BYTE>(v));
    } else {
      out.push_back(static_cast<BYTE>(type | 1));
      out.push_back(0);
      PutU16(out, v);
    }
  }
  return S_OK;
}

// ---- QxASAPacketServer -------------------------------------------------------------

QxASAPacketServer::QxASAPacketServer() = default;

HRESULT QxASAPacketServer::Create(QxASAPacketServer **out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!Initialized()) return QxE_NOT_INITIALIZED;
  auto *server = new (std::nothrow) QxASAPacketServer;
  if (!server) return E_OUTOFMEMORY;
  server->m_target.reset(new (std::nothrow) QxCommTarget);
  if (!server->m_target) {
    delete server;
    return E_OUTOFMEMORY;
  }
  if (HRESULT hr = QxOnlineCopyDefaultTarget(server->m_target.get())) {
    delete server;
    return hr;
  }
  *out = server;
  return S_OK;
}

QxASAPacketServer::~QxASAPacketServer() { StopCommunicating(); }

DWORD QxASAPacketServer::LargestRequest() const {
  if (!m_channel) return 0;
  DWORD size = m_target->ConnectionSize;
  DWORD overhead = m_channel->IsOpen() ? 2 : 12 + m_channel->RouteLength();
  DWORD largest = size > overhead ? size - overhead : 0;
  if (m_channel->IsPccc()) largest += 4;
  return largest;
}

void QxASAPacketServer::ResetDeviceInfo() {
  LogLine("Resetting OA Device Info");
  m_deviceInfo.clear();
}

HRESULT QxASAPacketServer::OpenChannel(bool connected) {
  const QxCommTarget &t = *m_target;
  DWORD kind = t.NetworkKind, protocol = t.Protocol;
  if (kind > kQxNetWayfind) return QxE_NOT_SUPPORTED;
  std::unique_ptr<Channel> channel;
  bool byNetworkType = false;
  if (protocol == kQxProtoPcccNoFrag) {
    if (kind == kQxNetOnet || kind == kQxNetWayfind) return QxE_NOT_SUPPORTED;
    return S_OK;  // communicating, with no channel
  } else if (protocol == kQxProtoPccc) {
    if (kind == kQxNetCnet || kind == kQxNetEnet) return S_OK;
    byNetworkType = true;
  } else if (kind == kQxNetWayfind) {
    channel = std::make_unique<ASAWayfindChannel>(t);
  } else {
    channel = std::make_unique<ASAControlNetChannel>(t);
  }
  if (byNetworkType) {
    if (t.NetworkType == 0 || t.NetworkType == 9)
      channel = std::make_unique<ASAIPServerChannel>(t);
    else
      channel = std::make_unique<ASAPCCCChannelFrag>(t);
  }
  if (HRESULT hr = channel->Create()) return hr;
  if (connected) {
    if (HRESULT hr = channel->Open()) return hr;
  }
  m_channel = std::move(channel);
  return S_OK;
}

HRESULT QxASAPacketServer::StartCommunicating(DWORD skipRevisionTable, DWORD checkPathWord, bool connected) {
  if (m_communicating) return QxE_ALREADY_COMMUNICATING;
  if (HRESULT hr = OpenChannel(connected)) return hr;
  LogLine("Target: kind %u protocol %u driver %.64s path %.64s time-out %u connection size %u",
          static_cast<unsigned>(m_target->NetworkKind), static_cast<unsigned>(m_target->Protocol), m_target->DriverName,
          m_target->PathString, static_cast<unsigned>(m_target->DefaultTimeOut),
          static_cast<unsigned>(m_target->ConnectionSize));
  LogLine("ASAPacketServer Connection Watch Dog %s", ConnectionWatchDog() ? "ENABLED" : "DISABLED");
  m_communicating = true;
  DWORD mode = TestMode();
  if (mode == 1 || mode == 2) return S_OK;
  if (HRESULT hr = CheckPath(checkPathWord)) {
    StopCommunicating();
    return hr;
  }
  if (!skipRevisionTable) {
    HRESULT hr = LoadRevisionTable();
    if (hr == QxE_COMM_TIMEOUT) return hr;
    if (hr == QxE_REVISION_TABLE) LogLine("ERROR:  Unexpected in StartCommunicating()!\n");
  }
  return S_OK;
}

HRESULT QxASAPacketServer::CheckPath(DWORD) {
  QxASAInternalObjectID id;
  id.SetClass(kIdentityClass);
  id.SetInstance(1);
  QxMsgHandle *handle = new QxMsgHandle;
  HRESULT hr = GetAttributesAll(handle, &id);
  if (SUCCEEDED(hr)) {
    const QxMsgStruct &msg = handle->Msg();
    BYTE status = msg.ReplySize >= 3 ? msg.ReplyBuf[2] : 0;
    if (status != 0 && status != 0x0A && status != 0x1E) {
      BYTE extWords = msg.ReplySize >= 4 ? msg.ReplyBuf[3] : 0;
      WORD ext = extWords && msg.ReplySize >= 6 ? GetU16(msg.ReplyBuf + 4) : 0;
      hr = (status == 0x01 && ext == 0x0318) ? QxE_PATH_REFUSED_0318 : QxE_NO_DEVICE;
    } else {
      m_deviceInfo.assign(msg.ReplyBuf, msg.ReplyBuf + msg.ReplySize);
    }
  } else if (hr == QxE_COMM_TIMEOUT || hr == QxE_CIP_ERROR_REPLY) {
    hr = QxE_NO_DEVICE;
  }
  if (FAILED(hr)) LogLine("CheckPath() - OA Device Info not changed!");
  handle->Release();
  return hr;
}

HRESULT QxASAPacketServer::LoadRevisionTable() {
  auto table = ClassRevisionTable();
  if (!Log() || table.empty() || table.size() >= 50) return S_OK;
  if (RevisionTableLoaded()) {
    LogLine("Revision Table is Already Loaded...");
    return S_OK;
  }
  LogLine("Auto Loading Revision Table...");
  const adf::Catalog *defs = Definitions();
  HRESULT result = S_OK;
  for (auto [cls, expected] : table) {
    if (!defs || !defs->Find(cls)) {
      LogLine("Class %03d missing ADF Template!", cls);
      continue;
    }
    QxASAInternalObjectID id;
    id.SetClass(cls);
    id.SetInstance(0);
    QxMsgHandle *handle = new QxMsgHandle;
    const WORD attribute = 1;
    HRESULT hr = GetAttributesList(handle, &id, &attribute, 1);
    BYTE data[16];
    DWORD size = sizeof data;
    if (SUCCEEDED(hr)) hr = CopyReplyData(handle, data, &size);
    handle->Release();
    if (hr == QxE_COMM_TIMEOUT || hr == QxE_CIP_ERROR_REPLY) {
      result = hr;
      break;
    }
    // count, then id, status, revision.
    if (FAILED(hr) || size < 8 || GetU16(data + 4) != 0) continue;
    WORD revision = GetU16(data + 6);
    LogLine("CIP Class %d Object Revision is %d %s", cls, revision, revision < expected ? "and is Incompatible!" : "");
    if (revision > expected)
      LogLine("WARNING:  CIP Class %d Object Revision is %d and is Newer than Expected!", cls, revision);
  }
  SetRevisionTableLoaded();
  return result;
}

void QxASAPacketServer::StopCommunicating() {
  if (m_savedConnectionSize && m_savedConnectionSize != m_target->ConnectionSize) {
    m_target->ConnectionSize = m_savedConnectionSize;
    LogLine("INFO: Resetting Local PacketServer Connection Size back to %u",
            static_cast<unsigned>(m_savedConnectionSize));
  }
  m_savedConnectionSize = 0;
  if (m_communicating) {
    m_channel.reset();
    m_communicating = false;
    ResetDeviceInfo();
  }
}

HRESULT QxASAPacketServer::PrepareBuffers(QxMsgHandle *handle, bool attributeReply) {
  DWORD largest = std::max<DWORD>(LargestRequest(), 1);
  if (!handle->ReserveSend(largest) || !handle->ReserveReply(kMaxReply + kReplyHeader)) return E_OUTOFMEMORY;
  if (attributeReply && !handle->ReserveTmp(kTmpBufferSize)) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT QxASAPacketServer::SendAndWait(QxMsgHandle *handle, BYTE service, const std::vector<BYTE> &path,
                                       const std::vector<BYTE> &data) {
  QxMsgStruct &msg = handle->Msg();
  if (HRESULT hr = WriteRequest(msg, LargestRequest(), service, path, data)) return hr;
  QxCommTimeOut own(TripleTimeOut(m_target->DefaultTimeOut));
  const QxCommTimeOut &timeOut = msg.pTimeOut ? *msg.pTimeOut : own;
  DWORD serverTimeOut = msg.pTimeOut ? std::max<DWORD>(msg.pTimeOut->Value() / 3, 1) : DWORD{m_target->DefaultTimeOut};

  auto *m = new asaMessage;
  Work work{m, handle};
  m->service = service;
  m->path = path;
  m->data = data;
  m->onReply = [](void *w) { Receive(*static_cast<Work *>(w)); };
  m->onReplyContext = &work;
  handle->BeginRequest();
  msg.pAsync = m;
  msg.PacketID = m_lastPacketId = static_cast<WORD>((m_lastPacketId + 1) % 257);
  if (QxASADiagnostics *log = Log())
    log->Printf("\nMessage transmitted: %s  Thread ID 0x%08x\n", TimeStamp().c_str(),
                static_cast<unsigned>(GetCurrentThreadId()));
  HRESULT hr = Transact(*m_channel, m, work, serverTimeOut, timeOut);
  // However it ended, no worker touches the message any more.
  msg.pAsync = nullptr;
  m->Release();
  handle->EndRequest();
  return hr;
}

HRESULT QxASAPacketServer::GetAttributesAll(QxMsgHandle *handle, QxASAInternalObjectID *id) {
  if (!m_communicating || !handle || !id) return !m_communicating ? QxE_CHANNEL_NOT_OPEN : E_INVALIDARG;
  if (!m_channel) return QxE_CHANNEL_NOT_OPEN;
  if (HRESULT hr = PrepareBuffers(handle, false)) return hr;
  if (ThreadOptimization()) handle->Msg().pAsync = nullptr;
  handle->Msg().attribReplyType = 0;
  std::vector<BYTE> path;
  if (HRESULT hr = id->BuildPath(path)) return hr;
  HRESULT hr = SendAndWait(handle, kGetAttributesAll, path, {});
  if (FAILED(hr)) return hr;
  WORD status = handle->Msg().status;
  if (status != 0x08 && status != 0x06 && status != 0x11) return S_OK;
  LogLine("RecvGetAttrAllData() - pHandle->status   = 0x%04x", status);
  LogLine("                       pHandle->pTimeOut = %p", static_cast<void *>(handle->Msg().pTimeOut));
  LogLine("                       new CommTimeOut not allocated!");
  LogLine("                       calling GetAttributesList()");
  return ReadAttributeLists(handle, id);
}

// Reads a class's attributes a list at a time and lays their values out as a
// Get_Attributes_All reply would, in the handle's reply buffer.
HRESULT QxASAPacketServer::ReadAttributeLists(QxMsgHandle *handle, QxASAInternalObjectID *id) {
  const adf::Catalog *defs = Definitions();
  const adf::ClassDef *def = defs ? defs->Find(id->Class()) : nullptr;
  if (!def) return QxE_NO_OBJECT_DEFINITION;
  std::vector<WORD> ids;
  for (const adf::Attribute &a : def->attributes) ids.push_back(a.id);
  std::vector<BYTE> values;
  BYTE status = 0;
  size_t chunk = ids.size();
  size_t next = 0;
  while (next < ids.size()) {
    size_t n = std::min(chunk, ids.size() - next);
    QxMsgHandle *part = new QxMsgHandle;
    part->Msg().pTimeOut = handle->Msg().pTimeOut;
    HRESULT hr = GetAttributesList(part, id, ids.data() + next, static_cast<DWORD>(n));
    // Too many for one reply: ask for half as many, down to one at a time.
    if (hr == QxE_TOO_MANY_ATTRIBUTES && n > 1 && next == 0) {
      part->Release();
      chunk = n / 2;
      continue;
    }
    BYTE reply[kTmpBufferSize];
    DWORD size = sizeof reply;
    if (SUCCEEDED(hr)) hr = CopyReplyData(part, reply, &size);
    part->Release();
    if (hr == QxE_CIP_ERROR_REPLY) {
      status = 0x0A;  // what was read so far stays; the rest is missing
      break;
    }
    if (FAILED(hr)) return hr;
    // count, then per attribute: id, status, value.
    if (size < 2 || GetU16(reply) != n) return QxE_REPLY_NO_DATA;
    size_t at = 2;
    bool gap = false;
    for (size_t i = 0; i < n && !gap; ++i) {
      if (size - at < 4 || GetU16(reply + at) != ids[next + i]) return QxE_REPLY_NO_DATA;
      WORD attributeStatus = GetU16(reply + at + 2);
      at += 4;
      if (attributeStatus != 0) {
        gap = true;
        break;
      }
      const adf::Attribute *a = FindAttribute(def, id->Instance(), ids[next + i]);
      size_t v = adf::ValueSize(*a, reply + at, size - at);
      if (!v) return QxE_REPLY_NO_DATA;
      values.insert(values.end(), reply + at, reply + at + v);
      at += v;
    }
    if (gap) {
      status = 0x0A;
      break;
    }
    next += n;
  }
  // A device that refuses even the first list has nothing to show.
  if (values.empty() && status) return QxE_CIP_ERROR_REPLY;
  if (values.size() > kMaxReply) return QxE_TOO_MANY_ATTRIBUTES;
  QxMsgStruct &msg = handle->Msg();
  msg.ReplyBuf[0] = 0x80 | kGetAttributesAll;
  msg.ReplyBuf[1] = 0;
  msg.ReplyBuf[2] = status;
  msg.ReplyBuf[3] = 0;
  if (!values.empty()) std::memcpy(msg.ReplyBuf + kReplyHeader, values.data(), values.size());
  msg.ReplySize = static_cast<DWORD>(kReplyHeader + values.size());
  msg.status = status;
  return S_OK;
}

HRESULT QxASAPacketServer::GetAttributesList(QxMsgHandle *handle, QxASAInternalObjectID *id, const WORD *list,
                                             DWORD count) {
  if (!m_communicating || !m_channel) return QxE_CHANNEL_NOT_OPEN;
  if (!handle || !id || !list || count == 0 || count > 0xFFFF) return E_INVALIDARG;
  if (HRESULT hr = PrepareBuffers(handle, true)) return hr;
  handle->Msg().attribReplyType = 1;
  const adf::Catalog *defs = Definitions();
  const adf::ClassDef *def = defs ? defs->Find(id->Class()) : nullptr;
  // The largest reply: header, count, and per attribute id, status, value.
  uint64_t largestReply = kReplyHeader + 2;
  for (DWORD i = 0; i < count; ++i) {
    const adf::Attribute *a = FindAttribute(def, id->Instance(), list[i]);
    if (!a) return QxE_NO_OBJECT_DEFINITION;
    largestReply += 4 + a->MaxSize();
  }
  if (largestReply > std::min<DWORD>(kMaxReply, LargestRequest())) return BuilderResult(kReplyTooLarge);
  std::vector<BYTE> path, data;
  if (HRESULT hr = id->BuildPath(path)) return hr;
  PutU16(data, static_cast<WORD>(count));
  for (DWORD i = 0; i < count; ++i) PutU16(data, list[i]);
  return SendAndWait(handle, kGetAttributeList, path, data);
}

HRESULT QxASAPacketServer::CopyReplyData(QxMsgHandle *handle, BYTE *buffer, DWORD *size) {
  if (!handle || !size || (!buffer && *size)) return E_INVALIDARG;
  const QxMsgStruct &msg = handle->Msg();
  // The reply's own header must be there before anything is read from it.
  if (!msg.ReplyBuf || msg.ReplySize == 0) return QxE_REPLY_NO_DATA;
  DWORD replySize = std::min(DWORD{msg.ReplySize}, handle->ReplyCapacity());
  if (replySize < kReplyHeader) return QxE_REPLY_NO_DATA;
  DWORD header = kReplyHeader + 2u * msg.ReplyBuf[3];
  if (header > replySize) return QxE_REPLY_NO_DATA;
  BYTE status = msg.ReplyBuf[2];
  if (status != 0 && status != 0x0A && status != 0x1E) return QxE_CIP_ERROR_REPLY;
  DWORD length = replySize - header;
  if (length > *size) {
    *size = length;
    return QxE_BUFFER_TOO_SMALL;
  }
  if (length) std::memcpy(buffer, msg.ReplyBuf + header, length);
  *size = length;
  return S_OK;
}

}  // namespace comm
