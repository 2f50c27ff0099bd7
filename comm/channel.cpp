#include "channel.h"

#include <cstring>

#include "context.h"
#include "cvapi_loader.h"
#include "packet_server.h"

namespace comm {

namespace {

constexpr DWORD kOpenWaitMs = 30000;
std::atomic<uint32_t> g_lateReplies{0};

void DTL_CALL MessageDone(uintptr_t context, uint32_t iostat, uint32_t size, uint32_t ext) {
  auto *m = reinterpret_cast<asaMessage *>(context);
  if (WaitForSingleObject(m->cancelEvent, 0) == WAIT_OBJECT_0) g_lateReplies.fetch_add(1);
  m->iostat = iostat;
  m->replySize = std::min<uint32_t>(size, sizeof m->reply);
  m->extError = ext;
  SetEvent(m->replyEvent);
  m->Release();
}

// The wait of an open or close: outlives a requester that gave up.
struct ConnectionWait {
  std::atomic<LONG> refs{2};
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  uint32_t state = 0, id = 0, ext = 0;
  ~ConnectionWait() { CloseHandle(event); }
  void Release() {
    if (refs.fetch_sub(1) == 1) delete this;
  }
};

void DTL_CALL ConnectionDone(uintptr_t context, uint32_t state, uint32_t id, uint32_t ext) {
  auto *w = reinterpret_cast<ConnectionWait *>(context);
  w->state = state;
  w->id = id;
  w->ext = ext;
  SetEvent(w->event);
  w->Release();
}

void PutU32(std::vector<BYTE> &out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(v >> (8 * i)));
}

void Join(HANDLE &thread) {
  if (!thread) return;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  thread = nullptr;
}

}  // namespace

uint32_t LateReplies() { return g_lateReplies.load(); }

// In the real-time class workers run at the lowest priority, below the
// process's own time-critical work.
HANDLE StartWorker(LPTHREAD_START_ROUTINE routine, void *argument) {
  HANDLE thread = CreateThread(nullptr, 0, routine, argument, 0, nullptr);
  if (thread && RealTime()) SetThreadPriority(thread, THREAD_PRIORITY_IDLE);
  return thread;
}

asaMessage::asaMessage() {
  replyEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  cancelEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  doneEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  releasedEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

asaMessage::~asaMessage() {
  CloseHandle(replyEvent);
  CloseHandle(cancelEvent);
  CloseHandle(doneEvent);
  CloseHandle(releasedEvent);
}

void asaMessage::Fail(uint32_t status) {
  iostat = status;
  replySize = 0;
  SetEvent(replyEvent);
}

void asaMessage::Serve(HANDLE stop, DWORD ms) {
  HANDLE events[3] = {replyEvent, cancelEvent, stop};
  DWORD w = WaitForMultipleObjects(stop ? 3 : 2, events, FALSE, ms);
  if (w == WAIT_OBJECT_0) {
    if (onReply) onReply(onReplyContext);
    SetEvent(doneEvent);
  } else {
    abandoned = w == WAIT_TIMEOUT ? QxE_COMM_TIMEOUT : QxE_NO_REPLY;
  }
  SetEvent(releasedEvent);
}

void asaMessage::Complete(uint8_t svc, uint8_t status) {
  reply[0] = static_cast<BYTE>(svc | 0x80);
  reply[1] = 0;
  reply[2] = status;
  reply[3] = 0;
  replySize = kReplyHeader;
  iostat = 0;
  SetEvent(replyEvent);
}

Channel::Channel(const QxCommTarget &target) : m_target(target) { InitializeCriticalSection(&m_queueLock); }

Channel::~Channel() {
  // The threads that took messages from the queues are joined by now.
  for (asaMessage *m : m_queue) m->Release();
  for (asaMessage *m : m_replies) m->Release();
  DeleteCriticalSection(&m_queueLock);
  if (m_msgQueuedEvent) CloseHandle(m_msgQueuedEvent);
  if (m_msgCompletedEvent) CloseHandle(m_msgCompletedEvent);
}

HRESULT Channel::Create() {
  m_msgQueuedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  LogLine("Channel::Init m_msgQueuedEvent number %p set", static_cast<void *>(m_msgQueuedEvent));
  m_msgCompletedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  LogLine("Channel::Init m_msgCompletedEvent number %p set", static_cast<void *>(m_msgCompletedEvent));
  if (!m_msgQueuedEvent || !m_msgCompletedEvent) return E_OUTOFMEMORY;
  if (HRESULT hr = StartClientInterface(IsPccc() ? 15 : 1)) return hr;
  return OpenDriver();
}

HRESULT Channel::OpenDriver() { return comm::OpenDriver(m_target.DriverName, &m_driverId); }

DWORD Channel::RouteLength() const { return 0; }

// ---- ASAControlNetChannel ---------------------------------------------------

ASAControlNetChannel::~ASAControlNetChannel() {
  if (m_open) Close();
  StopThreads();
  if (m_stopEvent) CloseHandle(m_stopEvent);
}

const QxRouteBytes &ASAControlNetChannel::Route() const {
  switch (m_target.NetworkKind) {
    case kQxNetDf1:
      return m_target.Df1Route;
    case kQxNetCnet:
      return m_target.CnetRoute;
    case kQxNetDhp:
      return m_target.DhpRoute;
    case kQxNetEnet:
      return m_target.EnetRoute;
    default:
      return m_target.PathBytes;
  }
}

DWORD ASAControlNetChannel::RouteLength() const { return Route().count; }

bool ASAControlNetChannel::UnconnectedHeader(std::vector<BYTE> &out) const {
  const QxRouteBytes &route = Route();
  // The header holds 14 bytes and at most 510 route bytes.
  if (route.count > kQxMaxPathBytes) return false;
  out.clear();
  PutU32(out, DTL_MSG_UNCONNECTED);
  PutU32(out, m_driverId);
  out.push_back(0);
  out.push_back(0);
  PutU32(out, route.count);
  out.insert(out.end(), route.bytes, route.bytes + route.count);
  return true;
}

HRESULT ASAControlNetChannel::SendReceive(asaMessage *m, DWORD serverTimeOutMs) {
  DWORD mode = TestMode();
  m->header.clear();
  if (m_open) {
    PutU32(m->header, DTL_MSG_CONNECTED);
    PutU32(m->header, m_connectedDriverWord);
    PutU32(m->header, m_connectionId);
    LogLine("ASA Connected message:   Connection ID %x    ", static_cast<unsigned>(m_connectionId));
  } else {
    if (!UnconnectedHeader(m->header)) return QxE_OUT_OF_RANGE;
    LogLine("ASA Unconnected message:");
  }
  if (mode != 2) {
    if (QxASADiagnostics *log = Log()) {
      std::vector<BYTE> request{m->service, static_cast<BYTE>(m->path.size() / 2)};
      request.insert(request.end(), m->path.begin(), m->path.end());
      request.insert(request.end(), m->data.begin(), m->data.end());
      log->Bytes("TRANSMIT", request.data(), request.size());
    }
  }
  // Test mode 2 answers every request at once with an empty good reply.
  if (mode == 2) {
    m->Complete(m->service, 0);
    return S_OK;
  }
  m->serverTimeOut = serverTimeOutMs;
  if (!m_open) {
    HandOver(m);
    return S_OK;
  }
  // A connected message goes through the service thread.
  return Enqueue(m_queue, m_msgQueuedEvent, m) ? S_OK : QxE_CHANNEL_NOT_OPEN;
}

bool ASAControlNetChannel::Enqueue(std::deque<asaMessage *> &to, HANDLE event, asaMessage *m) {
  EnterCriticalSection(&m_queueLock);
  bool stopping = m_stopping;
  if (!stopping) {
    m->AddRef();  // the queue's reference
    to.push_back(m);
  }
  LeaveCriticalSection(&m_queueLock);
  if (stopping) return false;
  SetEvent(event);
  return true;
}

void ASAControlNetChannel::HandOver(asaMessage *m) {
  m->AddRef();  // the server's reference, released by its one callback
  long r = cvapi::DTL_ASA_MSG_CB(m->header.data(), m->service, m->path.data(), static_cast<uint32_t>(m->path.size()),
                                 m->data.data(), static_cast<uint32_t>(m->data.size()), m->reply, kMaxReply,
                                 m->serverTimeOut, MessageDone, reinterpret_cast<uintptr_t>(m));
  if (r == DTL_SUCCESS) return;
  m->Release();
  LogLine("ERROR: from Corvid DTL_ASA_MSG_CB() - retval=%ld", r);
  // After 138 the server is closing: no reply is made up, and the request
  // ends at once instead of waiting for one.
  if (r == DTL_E_CLOSING)
    m->Fail(DTL_E_CLOSING);
  else
    m->Complete(m->service, 0x08);
}

asaMessage *ASAControlNetChannel::Next(std::deque<asaMessage *> &from) {
  EnterCriticalSection(&m_queueLock);
  asaMessage *m = nullptr;
  if (!from.empty()) {
    m = from.front();
    from.pop_front();
  }
  LeaveCriticalSection(&m_queueLock);
  return m;
}

DWORD WINAPI ASAControlNetChannel::ServiceThread(LPVOID p) {
  auto *self = static_cast<ASAControlNetChannel *>(p);
  HANDLE events[2] = {self->m_msgQueuedEvent, self->m_stopEvent};
  for (;;) {
    bool stop = WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0;
    // Messages still queued at the stop end without a reply.
    while (asaMessage *m = self->Next(self->m_queue)) {
      if (stop)
        m->Fail(DTL_E_CLOSING);
      else
        self->HandOver(m);
      m->Release();
    }
    if (stop) return 0;
  }
}

DWORD WINAPI ASAControlNetChannel::ReplyWorker(LPVOID p) {
  auto *self = static_cast<ASAControlNetChannel *>(p);
  HANDLE events[2] = {self->m_stopEvent, self->m_msgCompletedEvent};
  for (;;) {
    if (asaMessage *m = self->Next(self->m_replies)) {
      m->Serve(self->m_stopEvent, self->m_replyWaitMs);
      m->Release();
      continue;
    }
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0) break;
  }
  // Stopped: a reply already in is still received, the others are let go.
  while (asaMessage *m = self->Next(self->m_replies)) {
    m->Serve(self->m_stopEvent, 0);
    m->Release();
  }
  return 0;
}

bool ASAControlNetChannel::ServeReply(asaMessage *m) {
  return m_open && m_replyWorker && Enqueue(m_replies, m_msgCompletedEvent, m);
}

bool ASAControlNetChannel::StartThreads() {
  if (!m_stopEvent) m_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!m_stopEvent) return false;
  ResetEvent(m_stopEvent);
  EnterCriticalSection(&m_queueLock);
  m_stopping = false;
  LeaveCriticalSection(&m_queueLock);
  m_replyWaitMs = TripleTimeOut(m_target.DefaultTimeOut);
  bool optimized = ThreadOptimization();
  m_serviceThread = StartWorker(ServiceThread, this);
  // With thread optimization, connected replies are waited for by this one
  // worker instead of a thread per request.
  if (m_serviceThread && optimized) m_replyWorker = StartWorker(ReplyWorker, this);
  return m_serviceThread && (m_replyWorker || !optimized);
}

void ASAControlNetChannel::StopThreads() {
  EnterCriticalSection(&m_queueLock);
  m_stopping = true;
  LeaveCriticalSection(&m_queueLock);
  if (m_stopEvent) SetEvent(m_stopEvent);
  SetEvent(m_msgQueuedEvent);
  SetEvent(m_msgCompletedEvent);
  // Joined, not slept on: nothing of the channel is used after this.
  Join(m_serviceThread);
  Join(m_replyWorker);
}

HRESULT ASAControlNetChannel::Open() {
  if (m_open) return QxE_ALREADY_OPEN;
  LogLine("\nOpening Connection. %s Thread ID 0x%08x", TimeStamp().c_str(), static_cast<unsigned>(GetCurrentThreadId()));
  DTL_ASA_CONN_REQUEST request = {};
  request.size = sizeof request;
  request.connection_size = static_cast<uint16_t>(std::min<DWORD>(DWORD{m_target.ConnectionSize}, 0xFFFF));
  request.rpi_us = m_target.RequestedPacketInterval;
  request.timeout_multiplier = static_cast<uint8_t>(std::min<DWORD>(DWORD{m_target.TimeOutMultiplier}, 2));
  std::vector<BYTE> header;
  if (!UnconnectedHeader(header) || header.size() > sizeof request.destination) return QxE_OUT_OF_RANGE;
  std::memcpy(&request.destination, header.data(), header.size());
  m_connectedDriverWord = request.destination.driver;
  uint32_t state = DTL_CONN_OPENED, id = 0;
  if (TestMode() != 2) {
    auto *wait = new ConnectionWait;
    uint32_t multiplier = 4u << request.timeout_multiplier;
    uint64_t timeout = uint64_t{m_target.RequestedPacketInterval} * multiplier / 1000;
    long r = cvapi::DTL_ASA_OPEN(&request, ConnectionDone, reinterpret_cast<uintptr_t>(wait),
                                 static_cast<uint32_t>(std::min<uint64_t>(timeout, kOpenWaitMs)));
    if (r != DTL_SUCCESS) {
      wait->Release();
      wait->Release();
      LogLine("ERROR: from Corvid DTL_ASA_OPEN() - %08lx", static_cast<unsigned long>(r));
      return QxE_CONNECTION_REFUSED;
    }
    DWORD w = WaitForSingleObject(wait->event, kOpenWaitMs);
    state = w == WAIT_OBJECT_0 ? wait->state : (w == WAIT_TIMEOUT ? DTL_CONN_TIMED_OUT : DTL_CONN_ERROR);
    id = wait->id;
    wait->Release();
  }
  if (state != DTL_CONN_OPENED && state != 0) {
    LogLine("ERROR: from Corvid DTL_ASA_OPEN() after wait - %08x", static_cast<unsigned>(state));
    LogLine("       state is %08x  %s", static_cast<unsigned>(state), ConnectionStateText(state));
    return QxE_OPEN_INCOMPLETE;
  }
  m_connectionId = id;
  m_open = true;
  SetEvent(m_msgQueuedEvent);
  if (!StartThreads()) {
    LogLine("ERROR: the connection's service thread could not be started");
    Close();
    return QxE_CHANNEL_OPEN_FAILED;
  }
  LogLine("%08x %-20s %s", static_cast<unsigned>(id), m_target.DriverName, "Opened successfully.");
  return S_OK;
}

HRESULT ASAControlNetChannel::Close() {
  if (!m_open) return QxE_CHANNEL_NOT_OPEN;
  StopThreads();
  LogLine("\nClosing Connection %08x.", static_cast<unsigned>(m_connectionId));
  HRESULT hr = S_OK;
  if (TestMode() != 2) {
    auto *wait = new ConnectionWait;
    long r = cvapi::DTL_ASA_CLOSE(m_connectionId, ConnectionDone, reinterpret_cast<uintptr_t>(wait));
    if (r != DTL_SUCCESS) {
      wait->Release();
      wait->Release();
      LogLine("\nERROR CLOSING %08x.", static_cast<unsigned>(m_connectionId));
      LogLine("       Extended Error - %04lx", static_cast<unsigned long>(r & 0xFFFF));
      hr = QxE_COMM_DTLERROR;
    } else {
      if (WaitForSingleObject(wait->event, kOpenWaitMs) != WAIT_OBJECT_0) hr = QxE_COMM_TIMEOUT;
      wait->Release();
      if (hr == S_OK) LogLine("%08x Closed successfully.", static_cast<unsigned>(m_connectionId));
    }
  }
  m_open = false;
  m_connectionId = 0;
  return hr;
}

// ---- ASAWayfindChannel ------------------------------------------------------

HRESULT ASAWayfindChannel::Create() {
  m_msgQueuedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  m_msgCompletedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!m_msgQueuedEvent || !m_msgCompletedEvent) return E_OUTOFMEMORY;
  if (HRESULT hr = StartClientInterface()) return hr;
  DWORD mode = TestMode();
  if (mode == 2) return S_OK;
  BYTE data[512] = {};
  DWORD stored = std::min<DWORD>(DWORD{m_target.TargetDataSize}, sizeof m_target.TargetData);
  std::memcpy(data, m_target.TargetData, stored);
  uint32_t size = 0;
  long r = DTL_SUCCESS;
  if (mode == 1)
    size = 188;
  else
    r = stored >= DTL_TARGET_HEADER ? cvapi::DTL_GetTargetSize(data, &size) : static_cast<long>(DTL_E_BAD_TARGET);
  if (r != DTL_SUCCESS || stored != size + DTL_TARGET_HEADER) {
    LogLine("ERROR: from Corvid DTL_GetTargetSize() - retval=%ld", r != DTL_SUCCESS ? r : 235L);
    return QxE_CHANNEL_OPEN_FAILED;
  }
  QxOnlineLogTarget(&m_target);
  LogLine("Opening Wayfind Driver Entry Number %d", static_cast<int>(OpenDriverCount()));
  if (mode == 1) return S_OK;
  r = cvapi::DTL_CreateDtsaFromTarget(data, &m_dtsa);
  if (r != DTL_SUCCESS) {
    LogLine("ERROR: DTL_CreateDtsaFromTarget() - %08lx", static_cast<unsigned long>(r));
    return QxE_DRIVER_OPEN_FAILED;
  }
  r = cvapi::DTL_OpenDtsa(&m_dtsa);
  if (r != DTL_SUCCESS) {
    LogLine("ERROR: from Corvid DTL_OpenDtsa() - retval=%ld", r);
    LogLine("       DriverName = %.64s!%.64s", "", m_target.DriverName);
    return QxE_DRIVER_OPEN_FAILED;
  }
  m_driverId = m_dtsa.driver;
  LogLine("Dtsa Type:      %s", "CIP Path");
  LogLine("baPath[]:       %s",
          HexBytes(m_dtsa.route, std::min<uint32_t>(uint32_t{m_dtsa.route_size}, DTL_ROUTE_MAX)).c_str());
  return S_OK;
}

bool ASAWayfindChannel::UnconnectedHeader(std::vector<BYTE> &out) const {
  if (m_dtsa.route_size > DTL_ROUTE_MAX) return false;
  const BYTE *bytes = reinterpret_cast<const BYTE *>(&m_dtsa);
  out.assign(bytes, bytes + 14 + m_dtsa.route_size);
  return true;
}

// ---- PCCC channels -------------------------------------------------------------

HRESULT ASAPCCCChannel::Create() {
  HRESULT hr = Channel::Create();
  if (FAILED(hr)) {
    LogLine("ERROR OPENING CONNECTION!");
    return hr == QxE_COMM_TIMEOUT ? hr : QxE_CHANNEL_OPEN_FAILED;
  }
  LogLine("Connection opened successfully.");
  return S_OK;
}

HRESULT ASAPCCCChannel::SendReceive(asaMessage *, DWORD) {
  LogLine("ERROR: PCCC messages are not served by this library");
  return QxE_NOT_SUPPORTED;
}

}  // namespace comm
