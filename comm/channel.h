// Channels: what actually talks to the communications server, one class per
// kind of network and protocol. A request travels as an asaMessage whose
// reply arrives on the server's thread; the message is reference-counted so
// that a reply arriving after its requester gave up touches only the message.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <vector>

#include "cvapi32.h"
#include "qxonline.h"

namespace comm {

inline constexpr DWORD kMaxReply = 510;
inline constexpr DWORD kReplyHeader = 4;

struct asaMessage {  // NOLINT(readability-identifier-naming): its documented name
  asaMessage();
  ~asaMessage();
  asaMessage(const asaMessage &) = delete;
  asaMessage &operator=(const asaMessage &) = delete;
  void AddRef() { refs.fetch_add(1); }
  void Release() {
    if (refs.fetch_sub(1) == 1) delete this;
  }
  // Sets the reply from the channel itself (test mode, refused sends).
  void Complete(uint8_t service, uint8_t status);
  // Ends the request without a reply (iostat: the client library's reason).
  void Fail(uint32_t status);
  // A worker's part: waits up to ms for the reply, the requester's cancel or
  // stop (may be null); runs the receive routine when the reply came first,
  // then lets the request go.
  void Serve(HANDLE stop, DWORD ms);

  std::atomic<LONG> refs{1};
  HANDLE replyEvent;     // set when the reply (or its failure) is in
  HANDLE cancelEvent;    // set when the requester stops waiting
  HANDLE doneEvent;      // set by the worker once the receive routine ran
  HANDLE releasedEvent;  // set once no worker touches the request any more
  // The receive routine and its argument, run on the worker that sees the reply.
  void (*onReply)(void *) = nullptr;
  void *onReplyContext = nullptr;
  HRESULT abandoned = S_OK;  // why a worker let the request go without its reply
  BYTE service = 0;
  std::vector<BYTE> path, data;
  std::vector<BYTE> header;  // handed to the server with the request
  DWORD serverTimeOut = 0;
  BYTE reply[kMaxReply + kReplyHeader] = {};
  uint32_t iostat = 0, replySize = 0, extError = 0;
};

// Replies that arrived after their requester had stopped waiting (they land in
// the message alone); a running count for diagnostics.
uint32_t LateReplies();

// A joinable worker thread (null when none could be made).
HANDLE StartWorker(LPTHREAD_START_ROUTINE routine, void *argument);

class Channel {
 public:
  explicit Channel(const QxCommTarget &target);
  virtual ~Channel();
  Channel(const Channel &) = delete;
  Channel &operator=(const Channel &) = delete;

  // Events, client interface and driver: what every channel does when made.
  virtual HRESULT Create();
  // Hands the message to the server; the reply sets its replyEvent.
  virtual HRESULT SendReceive(asaMessage *m, DWORD serverTimeOutMs) = 0;
  virtual HRESULT Open() { return QxE_NOT_SUPPORTED; }
  virtual HRESULT Close() { return S_OK; }
  // Takes the wait for the message's reply onto the channel's own worker
  // (true), or leaves it to a worker of the request's own (false).
  virtual bool ServeReply(asaMessage *) { return false; }
  bool IsOpen() const { return m_open; }
  virtual bool IsPccc() const { return false; }
  // The route bytes of the unconnected header.
  virtual DWORD RouteLength() const;

 protected:
  HRESULT OpenDriver();
  const QxCommTarget &m_target;
  // The messages waiting for the service thread and those whose replies the
  // second worker waits for; both under m_queueLock.
  CRITICAL_SECTION m_queueLock;
  std::deque<asaMessage *> m_queue, m_replies;
  HANDLE m_msgQueuedEvent = nullptr;     // a message was queued for the service thread
  HANDLE m_msgCompletedEvent = nullptr;  // a reply was handed to the second worker
  DWORD m_driverId = 0;
  bool m_open = false;
  DWORD m_connectionId = 0;
};

// CIP messages on network kinds 0 to 4.
class ASAControlNetChannel : public Channel {
 public:
  using Channel::Channel;
  ~ASAControlNetChannel() override;
  HRESULT SendReceive(asaMessage *m, DWORD serverTimeOutMs) override;
  // The connected channel: DTL_ASA_OPEN and a bounded wait for its callback.
  HRESULT Open() override;
  HRESULT Close() override;
  bool ServeReply(asaMessage *m) override;

 protected:
  // The unconnected header (type 110, driver, route); false for a route that
  // does not fit.
  virtual bool UnconnectedHeader(std::vector<BYTE> &out) const;
  const QxRouteBytes &Route() const;
  DWORD RouteLength() const override;
  DWORD m_connectedDriverWord = 0;

 private:
  // Hands a message to the server; a refusal ends it at once.
  void HandOver(asaMessage *m);
  // Queues a message and signals the event; false once the threads stop.
  bool Enqueue(std::deque<asaMessage *> &to, HANDLE event, asaMessage *m);
  asaMessage *Next(std::deque<asaMessage *> &from);
  bool StartThreads();
  void StopThreads();
  static DWORD WINAPI ServiceThread(LPVOID self);
  static DWORD WINAPI ReplyWorker(LPVOID self);

  HANDLE m_stopEvent = nullptr;
  HANDLE m_serviceThread = nullptr;
  HANDLE m_replyWorker = nullptr;  // only with thread optimization
  bool m_stopping = true;          // under m_queueLock
  DWORD m_replyWaitMs = 0;         // the second worker's wait for each reply
};

// CIP messages to a target made from target data (kind 5).
class ASAWayfindChannel : public ASAControlNetChannel {
 public:
  using ASAControlNetChannel::ASAControlNetChannel;
  HRESULT Create() override;

 protected:
  bool UnconnectedHeader(std::vector<BYTE> &out) const override;
  DWORD RouteLength() const override { return m_dtsa.route_size; }

 private:
  DTL_DTSA m_dtsa = {};
};

// PCCC messages: the driver is opened, the messages themselves are not
// served by this library.
class ASAPCCCChannel : public Channel {
 public:
  using Channel::Channel;
  HRESULT Create() override;
  HRESULT SendReceive(asaMessage *m, DWORD serverTimeOutMs) override;
  bool IsPccc() const override { return true; }
};
class ASAPCCCChannelFrag : public ASAPCCCChannel {
 public:
  using ASAPCCCChannel::ASAPCCCChannel;
};
class ASAIPServerChannel : public ASAPCCCChannelFrag {
 public:
  using ASAPCCCChannelFrag::ASAPCCCChannelFrag;
};

}  // namespace comm
