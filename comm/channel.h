// Channels: what actually talks to the communications server, one class per
// kind of network and protocol. A request travels as an asaMessage whose
// reply arrives on the server's thread; the message is reference-counted so
// that a reply arriving after its requester gave up touches only the message.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "cvapi32.h"
#include "qxonline.h"

namespace qx {

inline constexpr DWORD kMaxReply = 510;
inline constexpr DWORD kReplyHeader = 4;

struct asaMessage {
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

  std::atomic<LONG> refs{1};
  HANDLE replyEvent;   // set when the reply (or its failure) is in
  HANDLE cancelEvent;  // set when the requester stops waiting
  HANDLE doneEvent;    // set by the worker once the receive routine ran
  BYTE service = 0;
  std::vector<BYTE> path, data;
  BYTE reply[kMaxReply + kReplyHeader] = {};
  uint32_t iostat = 0, replySize = 0, extError = 0;
};

class Channel {
 public:
  explicit Channel(const QxCommTarget &target) : target_(target) {}
  virtual ~Channel();
  Channel(const Channel &) = delete;
  Channel &operator=(const Channel &) = delete;

  // Events, client interface and driver: what every channel does when made.
  virtual HRESULT Create();
  // Hands the message to the server; the reply sets its replyEvent.
  virtual HRESULT SendReceive(asaMessage *m, DWORD serverTimeOutMs) = 0;
  virtual HRESULT Open() { return QxE_NOT_SUPPORTED; }
  virtual HRESULT Close() { return S_OK; }
  virtual HRESULT Shutdown() { return S_OK; }
  HRESULT GetConnectionId(DWORD *id) const;
  bool IsOpen() const { return open_; }
  virtual bool IsPccc() const { return false; }
  // The route bytes of the unconnected header.
  virtual DWORD RouteLength() const;
  DWORD DriverId() const { return driverId_; }

 protected:
  HRESULT OpenDriver();
  const QxCommTarget &target_;
  HANDLE m_msgQueuedEvent = nullptr;
  HANDLE m_msgCompletedEvent = nullptr;
  DWORD driverId_ = 0;
  bool open_ = false;
  DWORD connectionId_ = 0;
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
  HRESULT Shutdown() override;

 protected:
  // The unconnected header (type 110, driver, route); false for a route that
  // does not fit.
  virtual bool UnconnectedHeader(std::vector<BYTE> &out) const;
  const QxRouteBytes &Route() const;
  DWORD RouteLength() const override;
  DWORD connectedDriverWord_ = 0;
};

// CIP messages to a target made from target data (kind 5).
class ASAWayfindChannel : public ASAControlNetChannel {
 public:
  using ASAControlNetChannel::ASAControlNetChannel;
  HRESULT Create() override;

 protected:
  bool UnconnectedHeader(std::vector<BYTE> &out) const override;
  DWORD RouteLength() const override { return dtsa_.route_size; }

 private:
  DTL_DTSA dtsa_ = {};
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

}  // namespace qx
