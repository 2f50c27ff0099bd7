// enip_sim: an EtherNet/IP device on this machine, for trying the client
// library without a plant network.
//
//   enip_sim [--listen ADDR] [--port N] [--broadcast]
//            [--identity V,T,C,MAJ.MIN,SERIAL,NAME]
//            [--slot N=V,T,C,MAJ.MIN,SERIAL,NAME]... [--delay MS] [--silent]
//            [--cip-error STATUS[,EXT]] [--close-mid-reply]
//
// Port 0 takes a free port. The first line printed is "listening on ADDR:PORT"
// (TCP and UDP).
#include <asio.hpp>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "enip_server.h"

namespace {

int Usage(const std::string &why) {
  std::fprintf(stderr, "enip_sim: %s\n", why.c_str());
  return 2;
}

// A whole decimal or 0x-hexadecimal number up to max.
bool Number(const char *text, unsigned long max, unsigned long &out, int base = 0) {
  char *end = nullptr;
  out = std::strtoul(text, &end, base);
  return *text >= '0' && *text <= '9' && *end == 0 && out <= max;
}

struct Settings {
  commserver::DeviceOptions options;
  std::string address = "127.0.0.1";
  unsigned long port = 44818;
};

// One option with a value; an empty text when it is good, else why not.
std::string Take(const std::string &arg, const std::string &v, Settings &s) {
  auto &o = s.options;
  unsigned long n = 0, ext = 0;
  if (arg == "--listen") {
    asio::error_code ec;
    asio::ip::make_address_v4(v, ec);
    if (ec) return "bad listen address (an IPv4 address): " + v;
    s.address = v;
  } else if (arg == "--port") {
    if (!Number(v.c_str(), 65535, s.port, 10)) return "bad port (0 to 65535): " + v;
  } else if (arg == "--identity") {
    if (!commserver::ParseIdentity(v, o.identity)) return "bad identity: " + v;
  } else if (arg == "--slot") {
    size_t eq = v.find('=');
    commserver::cip::Identity id;
    if (eq == std::string::npos || !Number(v.substr(0, eq).c_str(), 255, n, 10) ||
        !commserver::ParseIdentity(v.substr(eq + 1), id))
      return "bad slot (N=V,T,C,MAJ.MIN,SERIAL,NAME with N 0 to 255): " + v;
    o.slots[static_cast<uint8_t>(n)] = id;
  } else if (arg == "--delay") {
    if (!Number(v.c_str(), 3600000, n, 10)) return "bad delay (milliseconds): " + v;
    o.delayMs = static_cast<uint32_t>(n);
  } else if (arg == "--cip-error") {
    size_t comma = v.find(',');
    if (!Number(v.substr(0, comma).c_str(), 255, n) || n == 0 ||
        (comma != std::string::npos && !Number(v.substr(comma + 1).c_str(), 0xFFFF, ext)))
      return "bad CIP error (STATUS 1 to 255, optionally ,EXT): " + v;
    o.cipError = static_cast<uint8_t>(n);
    o.cipExt = static_cast<uint16_t>(ext);
  } else {
    return "unknown option: " + arg;
  }
  return {};
}

}  // namespace

int main(int argc, char **argv) {
  Settings s;
  commserver::ParseIdentity("1,14,15,13.1,305419896,Simulated Controller", s.options.identity);
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--silent") {
      s.options.silent = true;
    } else if (arg == "--close-mid-reply") {
      s.options.closeMidReply = true;
    } else if (arg == "--broadcast") {
      s.options.broadcast = true;
    } else if (i + 1 == argc) {
      return Usage("missing value or unknown option: " + arg);
    } else if (std::string why = Take(arg, argv[++i], s); !why.empty()) {
      return Usage(why);
    }
  }
  if (s.options.broadcast && !asio::ip::make_address_v4(s.address).is_loopback())
    return Usage("--broadcast needs a loopback --listen address (127.x.y.z)");
  try {
    commserver::EnipServer server(s.options, s.address, static_cast<uint16_t>(s.port));
    std::printf("listening on %s:%u\n", s.address.c_str(), server.Port());
    std::fflush(stdout);
    server.Run();
  } catch (const std::exception &e) {
    std::fprintf(stderr, "enip_sim: %s\n", e.what());
    return 1;
  }
}
