// scan: every device on networks, on hosts, behind a broadcast or among a
// driver's stations, with its backplane's modules on request, each with the
// release its controller type and revision need. The communications
// library finds the devices; the component names the releases.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "address_list.h"
#include "comm/cvapi_loader.h"
#include "commands.h"
#include "console.h"
#include "output.h"
#include "session.h"

namespace revdir {

namespace {

namespace cv = comm::cvapi;

const char kScanOptions[] = "--format --property --lang --backplane --timeout --rate --broadcast --driver --max";

// A sweep covers at most this many addresses unless --max allows more: a
// mistyped prefix must not flood a plant network.
constexpr long long kDefaultMax = 1024;

// What the library found, gathered from its worker thread.
struct Found {
  std::mutex lock;
  std::vector<DTL_IDENTITY> identities;
  static void DTL_CALL Add(uintptr_t context, const DTL_IDENTITY *identity) {
    auto *self = reinterpret_cast<Found *>(context);
    std::lock_guard<std::mutex> hold(self->lock);
    self->identities.push_back(*identity);
  }
};

// The networks and hosts as one list, as the library takes them.
std::string TargetsOf(const Args &a) {
  std::string targets;
  for (const std::string &p : a.positional) targets += (targets.empty() ? "" : " ") + p;
  return targets;
}

// The targets checked here with the library's own parser, so that a hint can
// name the argument at fault and the size of the range.
int CheckTargets(const Args &a) {
  commserver::AddressList list;
  for (const std::string &p : a.positional)
    if (commserver::ParseAddressList(p, UINT64_MAX, list) != commserver::AddressListError::kNone)
      return Usage("'" + p + "' is neither a network A.B.C.D/N nor a host A.B.C.D");
  commserver::ParseAddressList(TargetsOf(a), UINT64_MAX, list);
  const uint64_t max = static_cast<uint64_t>(a.max.value_or(kDefaultMax));
  if (list.count <= max) return kOk;
  const std::string count = std::to_string(list.count);
  const std::string what = a.positional.size() == 1 ? "'" + a.positional[0] + "' holds " : "those networks hold ";
  return Usage(what + count + " addresses, more than " + std::to_string(max) + ": add --max " + count +
               " to sweep them all");
}

// The usage error of a scan whose arguments do not go together; kOk when
// there is none.
int CheckScanArgs(const Args &a) {
  if (a.driver && (!a.positional.empty() || a.broadcast))
    return Usage("--driver scans that driver's stations: give no network, host or --broadcast with it");
  if (!a.driver && a.positional.empty() && !a.broadcast)
    return Usage("what to scan: networks (A.B.C.D/N) or hosts (A.B.C.D), --broadcast IFACE, or --driver NAME");
  return CheckTargets(a);
}

DTL_SCAN_ARGS ScanArgsOf(const Args &a, const std::string &targets) {
  DTL_SCAN_ARGS args{};
  args.size = sizeof args;
  args.timeout_ms = static_cast<uint32_t>(a.timeout.value_or(0));
  args.rate = static_cast<uint32_t>(a.rate.value_or(0));
  args.max_addresses = static_cast<uint32_t>(a.max.value_or(kDefaultMax));
  args.backplane = a.backplane ? static_cast<int32_t>(*a.backplane) : -1;
  args.targets = targets.empty() ? nullptr : targets.c_str();
  args.broadcast_interface = a.broadcast ? a.broadcast->c_str() : nullptr;
  args.driver = a.driver ? a.driver->c_str() : nullptr;
  return args;
}

// The library's refusal as the user's mistake or the installation's fault.
int ReportScanFailure(const Args &a, long error) {
  switch (error) {
    // The targets were checked here: what is left is the interface, or a
    // driver with no stations of its own to ask.
    case DTL_E_BAD_ARG:
      if (a.driver)
        return Usage("driver '" + *a.driver +
                     "' has no stations to scan (a Simulated or VirtualBackplane driver "
                     "has): sweep its network by address");
      return Usage("no interface '" + a.broadcast.value_or("") + "' with an IPv4 address to broadcast on");
    case DTL_E_NO_DRIVER:
      return Usage("no driver '" + a.driver.value_or("") + "' is configured");
    case DTL_E_NOT_SUPPORTED:
      return Usage("driver '" + a.driver.value_or("") + "' is scanned by its stations alone");
    case DTL_E_NO_FUNCTION:
      Err("revdir: scan: the communications library found cannot scan (it lacks DTL_ScanIdentities)\n");
      return kComponent;
    default:
      if (error >= cv::kLoadErrorBase)
        Err("revdir: scan: the communications library %s cannot be loaded (Windows error %ld)\n", cv::kModuleName,
            error - cv::kLoadErrorBase);
      else
        Err("revdir: scan: the communications library failed (error %ld)\n", error);
      return kComponent;
  }
}

// Runs the sweep; kOk with what it found, else the exit status.
int Sweep(const Args &a, std::vector<DTL_IDENTITY> &found, DTL_SCAN_STATS &stats) {
  const std::string targets = TargetsOf(a);
  DTL_SCAN_ARGS args = ScanArgsOf(a, targets);
  long rc = cv::DTL_INIT_BSW_EX(0, nullptr);
  if (rc != DTL_SUCCESS && rc != DTL_E_ALREADY_INIT) return ReportScanFailure(a, rc);
  Found collected;
  stats = {};
  stats.size = sizeof stats;
  rc = cv::DTL_ScanIdentities(&args, &Found::Add, reinterpret_cast<uintptr_t>(&collected), &stats);
  cv::DTL_UNINIT(0);
  if (rc != DTL_SUCCESS) return ReportScanFailure(a, rc);
  std::lock_guard<std::mutex> hold(collected.lock);
  found = std::move(collected.identities);
  return kOk;
}

// The catalogue's name of each controller type, by product type and code.
struct Catalogue {
  std::vector<std::pair<std::pair<LONG, LONG>, std::string>> names;
  explicit Catalogue(IRevisionDirectory_V6 *d) {
    ComPtr<IProcessorTypes> types;
    LONG count = 0;
    if (FAILED(d->get_ProcessorTypes(types.Out())) || FAILED(types->get_Count(&count))) return;
    for (LONG i = 1; i <= count; ++i) {
      ComPtr<IProcessorType> t;
      ComPtr<IProcessorType_V2> v2;
      LONG type = 0, code = 0;
      Bstr name;
      if (FAILED(types->get_Item(i, t.Out())) ||
          FAILED(t->QueryInterface(IID_IProcessorType_V2, reinterpret_cast<void **>(v2.Out()))))
        continue;
      v2->get_ProductType(&type);
      v2->get_ProductCode(&code);
      t->get_Name(name.Out());
      names.push_back({{type, code}, Narrow(name)});
    }
  }
  std::string NameOf(LONG type, LONG code) const {
    for (const auto &n : names)
      if (n.first == std::make_pair(type, code)) return n.second;
    return "";
  }
};

// The release a device needs, or the component's constant for why there is
// none (a device that is no controller, a revision no release supports).
void AddRelease(IRevisionDirectory_V6 *d, const DTL_IDENTITY &id, Row &row) {
  ComPtr<IRevision> r;
  HRESULT hr = d->GetRevisionFromControllerId(id.device_type, id.product_code, id.major_revision, r.Out());
  if (FAILED(hr)) {
    Bstr constant, text;
    char code[16];
    snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    bool named = SUCCEEDED(d->GetErrorConstantAndDescription(hr, constant.Out(), text.Out()));
    row.push_back(TextField("release", named ? Narrow(constant) : code));
    row.push_back({"installed", "false", false});
    row.push_back(TextField("installedPath", ""));
    return;
  }
  Version v = VersionOf(r.Get());
  LONG available = 0;
  r->get_IsAvailable(&available);
  Bstr path;
  if (available) r->get_InstalledPath(path.Out());
  char version[32];
  snprintf(version, sizeof version, "%ld.%02ld", v.major, v.minor);
  row.push_back(TextField("release", version));
  row.push_back({"installed", available ? "true" : "false", false});
  row.push_back(TextField("installedPath", available ? Narrow(path) : ""));
}

Row IdentityRow(IRevisionDirectory_V6 *d, const Catalogue &catalogue, const DTL_IDENTITY &id) {
  char revision[16];
  snprintf(revision, sizeof revision, "%u.%u", id.major_revision, id.minor_revision);
  std::string name(id.product_name, strnlen(id.product_name, sizeof id.product_name));
  Row row{TextField("address", std::string(id.address, strnlen(id.address, sizeof id.address))),
          id.slot == DTL_SLOT_NONE ? NullField("slot") : NumberField("slot", id.slot),
          NumberField("vendor", id.vendor),
          NumberField("deviceType", id.device_type),
          NumberField("productCode", id.product_code),
          TextField("revision", revision),
          NumberField("serialNumber", static_cast<long>(id.serial_number)),
          TextField("productName", name),
          TextField("catalogName", catalogue.NameOf(id.device_type, id.product_code))};
  AddRelease(d, id, row);
  return row;
}

// Devices by address (numerically for IPv4, stations by their text), each
// followed by its modules by slot.
bool Before(const DTL_IDENTITY &x, const DTL_IDENTITY &y) {
  auto key = [](const DTL_IDENTITY &id) {
    unsigned a = 0, b = 0, c = 0, e = 0;
    char tail;
    bool ipv4 = sscanf(id.address, "%u.%u.%u.%u%c", &a, &b, &c, &e, &tail) == 4;
    uint64_t number = ipv4 ? (uint64_t{a} << 24 | b << 16 | c << 8 | e) : strtoull(id.address, nullptr, 10);
    return std::make_tuple(number, std::string(id.address), id.slot == DTL_SLOT_NONE ? -1 : int{id.slot});
  };
  return key(x) < key(y);
}

// What the sweep dropped, said on stderr so the table stays the devices'.
void ReportDropped(const DTL_SCAN_STATS &stats) {
  if (!stats.malformed && !stats.wrong_source && !stats.duplicates) return;
  Err("revdir: scan: dropped %u malformed, %u from an unexpected source and %u duplicated replies\n", stats.malformed,
      stats.wrong_source, stats.duplicates);
}

}  // namespace

int ScanCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, kScanOptions, true)) return s.status;
  if (int rc = CheckScanArgs(s.a)) return rc;
  // The directory first: a component that cannot answer fails before any
  // packet leaves.
  if (!s.Open()) return s.status;
  std::vector<DTL_IDENTITY> found;
  DTL_SCAN_STATS stats{};
  if (int rc = Sweep(s.a, found, stats)) return rc;
  ReportDropped(stats);
  std::sort(found.begin(), found.end(), Before);
  Catalogue catalogue(s.d.Get());
  std::vector<Row> rows;
  for (const DTL_IDENTITY &id : found) rows.push_back(IdentityRow(s.d.Get(), catalogue, id));
  if (int rc = Print(s.a, rows, false)) return rc;
  if (!rows.empty()) return kOk;
  Err("revdir: scan: no device answered (%u requests in %u ms)\n", stats.requests, stats.elapsed_ms);
  return kNotFound;
}

}  // namespace revdir
