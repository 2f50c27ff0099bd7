// The library's worker: one thread running an Asio event loop that serves
// every request, simulated or sent to a device over TCP, and makes every
// completion callback. The thread starts with the first request or post; a
// device's connection and session outlive a request, and the library's
// context, until the connection has been idle a while or the engine stops.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config.h"
#include "cvapi32.h"

namespace asio {
class io_context;
}

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
  // Work of its own on the worker thread (a sweep), beside the requests.
  class Job {
   public:
    virtual ~Job() = default;
    // Runs on the worker thread, with the worker's event loop.
    virtual void Start(asio::io_context &io) = 0;
    // The engine is stopping: end what the job has started, promptly. Runs on
    // the worker thread, once, unless the job has left; also instead of Start
    // for a job that arrives as the engine stops.
    virtual void Abort() = 0;
  };

  Engine();
  ~Engine();  // Stop()
  Engine(const Engine &) = delete;
  Engine &operator=(const Engine &) = delete;

  // Send, Post, Run, Close, Reopen and Stop are not called concurrently (the
  // library's lock).
  // Takes the request; its callback follows on the worker thread.
  void Send(MsgRequest request);
  // Runs f on the worker thread.
  void Post(std::function<void()> f);
  // Starts the job on the worker thread; it stays known to the engine (and
  // alive) until it calls Leave there.
  void Run(std::shared_ptr<Job> job);
  // Worker thread only: the job has ended.
  void Leave(Job &job);
  // Worker thread only: Send for a job's own requests.
  void SendFromWorker(MsgRequest request);
  // The last context ended: completes what is pending with DTL_E_CLOSING
  // (every callback made on return) and keeps the idle connections; the
  // worker ends by itself with the last of them.
  void Close();
  // A context starts again: a worker still running serves it.
  void Reopen();
  // Completes what is pending with DTL_E_CLOSING, ends the idle connections
  // and joins the worker, for good.
  void Stop();
  bool OnWorker() const;

 private:
  void StartWorker();
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace commserver
