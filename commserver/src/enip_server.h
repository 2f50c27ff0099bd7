// A small EtherNet/IP device: answers ListIdentity (over TCP and UDP),
// RegisterSession, UnRegisterSession and SendRRData carrying requests to its
// Identity object, directly or through Unconnected Send to the slots of its
// backplane.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "cip.h"

namespace commserver {

struct DeviceOptions {
  cip::Identity identity;
  std::map<uint8_t, cip::Identity> slots;  // backplane slot -> identity
  uint32_t delayMs = 0;                    // before each SendRRData reply
  bool silent = false;                     // never answers SendRRData
  uint8_t cipError = 0;                    // answer every request with this general status
  uint16_t cipExt = 0;                     // and this extended status (0: none)
  bool closeMidReply = false;              // send half of each SendRRData reply, then close
  uint32_t closeAfterReplies = 0;          // close a connection after this many SendRRData replies (0: never)
  // Also answer ListIdentity sent to the loopback network's broadcast address
  // (127.255.255.255); needs a loopback address to listen on.
  bool broadcast = false;
};

class EnipServer {
 public:
  // Listens on address:port, TCP and UDP, at once (port 0: one free for
  // both). Several servers on different addresses may share a port.
  EnipServer(DeviceOptions options, const std::string &address, uint16_t port);
  ~EnipServer();
  EnipServer(const EnipServer &) = delete;
  EnipServer &operator=(const EnipServer &) = delete;

  uint16_t Port() const;
  void Start();  // serves on a thread of its own
  void Run();    // serves on the caller's thread until Stop()
  void Stop();
  // Sessions registered so far (for tests).
  int Sessions() const;
  // Sessions its client ended with UnRegisterSession (for tests).
  int Unregistered() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// "vendor,type,code,major.minor,serial,name" (numbers decimal or 0x hex).
bool ParseIdentity(const std::string &text, cip::Identity &out);

}  // namespace commserver
