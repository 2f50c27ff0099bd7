// enip_sim: an EtherNet/IP device on this machine, for trying the client
// library without a plant network.
//
//   enip_sim [--listen ADDR] [--port N] [--identity V,T,C,MAJ.MIN,SERIAL,NAME]
//            [--slot N=V,T,C,MAJ.MIN,SERIAL,NAME]... [--delay MS] [--silent]
//            [--cip-error STATUS[,EXT]] [--close-mid-reply]
//
// Port 0 takes a free port. The first line printed is "listening on ADDR:PORT".
#include <asio.hpp>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "enip_server.h"

namespace {
int Usage(const char *why) {
  std::fprintf(stderr, "enip_sim: %s\n", why);
  return 2;
}
}  // namespace

int main(int argc, char **argv) {
  commserver::DeviceOptions options;
  commserver::ParseIdentity("1,14,15,13.1,305419896,Simulated Controller", options.identity);
  std::string address = "127.0.0.1";
  unsigned long port = 44818;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
    const char *v = nullptr;
    if (arg == "--silent") {
      options.silent = true;
    } else if (arg == "--close-mid-reply") {
      options.closeMidReply = true;
    } else if (!(v = value())) {
      return Usage(("missing value or unknown option: " + arg).c_str());
    } else if (arg == "--listen") {
      address = v;
    } else if (arg == "--port") {
      char *end;
      port = std::strtoul(v, &end, 10);
      if (*end || port > 65535) return Usage("bad port");
    } else if (arg == "--identity") {
      if (!commserver::ParseIdentity(v, options.identity)) return Usage("bad identity");
    } else if (arg == "--slot") {
      std::string s = v;
      size_t eq = s.find('=');
      commserver::cip::Identity id;
      char *end;
      unsigned long slot = std::strtoul(s.substr(0, eq == std::string::npos ? 0 : eq).c_str(), &end, 10);
      if (eq == std::string::npos || eq == 0 || *end || slot > 255 || !commserver::ParseIdentity(s.substr(eq + 1), id))
        return Usage("bad slot");
      options.slots[static_cast<uint8_t>(slot)] = id;
    } else if (arg == "--delay") {
      options.delayMs = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
    } else if (arg == "--cip-error") {
      char *end;
      options.cipError = static_cast<uint8_t>(std::strtoul(v, &end, 0));
      if (*end == ',') options.cipExt = static_cast<uint16_t>(std::strtoul(end + 1, &end, 0));
      if (*end || !options.cipError) return Usage("bad CIP error");
    } else {
      return Usage(("unknown option: " + arg).c_str());
    }
  }
  try {
    commserver::EnipServer server(options, address, static_cast<uint16_t>(port));
    std::printf("listening on %s:%u\n", address.c_str(), server.Port());
    std::fflush(stdout);
    server.Run();
  } catch (const std::exception &e) {
    std::fprintf(stderr, "enip_sim: %s\n", e.what());
    return 1;
  }
}
