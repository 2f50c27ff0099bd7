// The library's worker: one thread running an Asio event loop that serves
// every request, simulated or sent to a device over TCP, and makes every
// completion callback. The thread starts with the first request or post; a
// device's connection and session outlive a request, until the engine stops
// or the connection has been idle a while.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config.h"
#include "cvapi32.h"

namespace commserver {

struct MsgRequest {
  std::shared_ptr<const Config> config;  // keeps driver alive
  const Driver *driver = nullptr;
  std::string station;
  std::vector<cip::Hop> hops;
  std::vector<uint8_t> request;  // service, path size in words, path, data
  uint8_t *reply = nullptr;
  uint32_t capacity = 0;
  uint32_t timeoutMs = 0;  // 0: the driver's reply time-out alone
  DTL_MSG_DONE done = nullptr;
  uintptr_t context = 0;
};

class Engine {
 public:
  Engine();
  ~Engine();  // Stop()
  Engine(const Engine &) = delete;
  Engine &operator=(const Engine &) = delete;

  // Send, Post and Stop are not called concurrently (the library's lock).
  // Takes the request; its callback follows on the worker thread.
  void Send(MsgRequest request);
  // Runs f on the worker thread.
  void Post(std::function<void()> f);
  // Completes what is pending with DTL_E_CLOSING and joins the worker.
  void Stop();
  bool OnWorker() const;

 private:
  void StartWorker();
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace commserver
