// find: the release of one selector (a major revision, a software version or
// range, a major software version, a database version, a controller id, a
// controller online, or project files); --installed asks it to be installed.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "online/controller_identity.h"
#include "output.h"
#include "platform/text/wide_text.h"
#include "session.h"

namespace revdir {

namespace {

const char kFindOptions[] =
    "--format --property --lang --major-rev --software --major-software --database --project --recursive"
    " --controller --route --installed --latest";

// The usage error of a find that names no selector, or more than one, or
// arguments that do not go with it; kOk when there is none.
int CheckSelector(const Args &a) {
  int selectors =
      !!a.majorRev + !!a.software + !!a.majorSoftware + !!a.database + a.project + !!a.controller + !!a.route;
  if (selectors != 1)
    return Usage(selectors ? "give one of --major-rev --software --major-software --database --project --controller"
                             " --route"
                           : "what to find: --major-rev N, --software M.mm|RANGE, --major-software M, "
                             "--database D, --project FILE..., --controller TYPE:CODE:REV, --route ROUTE");
  if (!a.project && !a.positional.empty()) return Usage("unexpected argument '" + a.positional[0] + "'");
  if (a.project && a.positional.empty()) return Usage("--project needs one or more files or folders");
  if (a.recursive && !a.project) return Usage("--recursive goes with --project");
  return kOk;
}

// kOk, or the report that the release found is not installed when
// --installed asks it to be.
int InstalledOrReport(const Args &a, IRevision *r, const std::string &what) {
  LONG available = 0;
  r->get_IsAvailable(&available);
  return !a.installed || available ? kOk : Report(what, RdE_RevisionNotInstalled);
}

// The end of a look-up of one release: its failure, or its row.
int PrintFound(const Args &a, const std::string &what, HRESULT hr, IRevision *r) {
  if (FAILED(hr)) return Report(what, hr);
  if (int rc = InstalledOrReport(a, r, what)) return rc;
  return Print(a, {ReleaseRow(r)}, true);
}

int ByMajorRev(Session &s) {
  ComPtr<IRevision> r;
  HRESULT hr = s.d->GetRevisionFromMajorRev(static_cast<LONG>(*s.a.majorRev), r.Out());
  return PrintFound(s.a, "major revision", hr, r.Get());
}

int BySoftwareVersion(Session &s) {
  ComPtr<IRevision> r;
  HRESULT hr = s.d->GetRevisionFromSoftwareVersion(s.a.software->low->major, s.a.software->low->minor, r.Out());
  return PrintFound(s.a, "software version", hr, r.Get());
}

int ByMajorSoftwareVersion(Session &s) {
  ComPtr<IRevision> r;
  HRESULT hr = s.d->GetRevisionFromMajorSoftwareVersion(static_cast<LONG>(*s.a.majorSoftware), r.Out());
  return PrintFound(s.a, "major software version", hr, r.Get());
}

int ByDatabaseVersion(Session &s) {
  ComPtr<IRevision> r;
  HRESULT hr = s.d->GetRevisionFromDatabaseVersion(static_cast<LONG>(*s.a.database), r.Out());
  return PrintFound(s.a, "database version", hr, r.Get());
}

int ByControllerId(Session &s) {
  const std::vector<long long> &id = *s.a.controller;
  ComPtr<IRevision> r;
  HRESULT hr = s.d->GetRevisionFromControllerId(static_cast<LONG>(id[0]), static_cast<LONG>(id[1]),
                                                static_cast<LONG>(id[2]), r.Out());
  return PrintFound(s.a, "controller", hr, r.Get());
}

// Every release in a software range; with --latest the newest of them.
int BySoftwareRange(Session &s) {
  const Args &a = s.a;
  std::vector<ComPtr<IRevision>> releases;
  if (HRESULT hr = Releases(s.d.Get(), a.installed, releases); FAILED(hr)) return Report("the releases", hr);
  std::vector<Row> rows;
  for (auto &r : releases)
    if (a.software->Holds(VersionOf(r.Get()))) rows.push_back(ReleaseRow(r.Get()));
  if (rows.empty()) return Report("no release in that range", RdE_RevisionNotFound);
  if (a.latest) return Print(a, {rows.back()}, true);
  return Print(a, rows, false);
}

// The controller online: its identity is read here, once, and the component
// names the release of that identity, so that one look-up is one
// conversation with the controller.
int ByRoute(Session &s) {
  const std::string what = "the controller at " + *s.a.route;
  CControllerIdentity identity;
  if (FAILED(identity.Read(ToBstr(*s.a.route).Get()))) return Report(what, RdE_NoDeviceFound);
  ComPtr<IRevision> r;
  HRESULT hr = s.d->GetRevisionFromControllerId(identity.DeviceType(), identity.ProductCode(), identity.MajorRevision(),
                                                r.Out());
  if (FAILED(hr)) return Report(what, hr);
  if (int rc = InstalledOrReport(s.a, r.Get(), what)) return rc;
  char revision[16];
  snprintf(revision, sizeof revision, "%u.%u", identity.MajorRevision(), identity.MinorRevision());
  Row row{NumberField("vendor", identity.VendorId()),
          NumberField("deviceType", identity.DeviceType()),
          NumberField("productCode", identity.ProductCode()),
          TextField("revision", revision),
          NumberField("serialNumber", static_cast<long>(identity.SerialNumber())),
          TextField("productName", platform::Narrow(identity.ProductName()))};
  for (Field &field : ReleaseRow(r.Get())) row.push_back(field);
  return Print(s.a, {row}, true);
}

// A path from UTF-8 text and back, whatever the system's narrow code page.
std::filesystem::path PathOf(const std::string &utf8) { return std::u8string(utf8.begin(), utf8.end()); }
std::string TextOf(const std::filesystem::path &path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The project files in a folder and below it, by name.
std::vector<std::string> ProjectFilesIn(const std::string &folder) {
  std::vector<std::string> found;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(PathOf(folder), ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::string ext = TextOf(it->path().extension());
    for (char &c : ext) c = static_cast<char>(tolower(c));
    if (it->is_regular_file() && (ext == ".acd" || ext == ".pjx")) found.push_back(TextOf(it->path()));
  }
  std::sort(found.begin(), found.end());
  return found;
}

// The files the arguments name, folders opened with --recursive; a usage
// error's status in *status.
bool ProjectFiles(const Args &a, std::vector<std::string> *files, int *status) {
  for (const std::string &p : a.positional) {
    std::error_code ec;
    if (!std::filesystem::is_directory(PathOf(p), ec)) {
      files->push_back(p);
      continue;
    }
    if (!a.recursive) {
      *status = Usage("'" + p + "' is a folder: add --recursive");
      return false;
    }
    std::vector<std::string> found = ProjectFilesIn(p);
    files->insert(files->end(), found.begin(), found.end());
  }
  return true;
}

// One row per project file, in order; a file that fails is reported and the
// others still answered; the status is the first failure's.
int ByProjectFiles(Session &s) {
  std::vector<std::string> files;
  int worst = kOk;
  if (!ProjectFiles(s.a, &files, &worst)) return worst;
  std::vector<Row> rows;
  for (const std::string &f : files) {
    ComPtr<IRevision> r;
    HRESULT hr = s.d->GetRevisionFromProjectFile(ToBstr(f).Get(), r.Out());
    int rc = FAILED(hr) ? Report(f, hr) : InstalledOrReport(s.a, r.Get(), f);
    if (rc != kOk) {
      worst = worst == kOk ? rc : worst;
      continue;
    }
    Row row{TextField("file", f)};
    for (Field &field : ReleaseRow(r.Get())) row.push_back(field);
    rows.push_back(row);
  }
  Print(s.a, rows, false);
  return worst;
}

}  // namespace

int FindCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, kFindOptions, true)) return s.status;
  const Args &a = s.a;
  if (int rc = CheckSelector(a)) return rc;
  if (!s.Open()) return s.status;
  if (a.software && !a.software->exact) return BySoftwareRange(s);
  if (a.project) return ByProjectFiles(s);
  if (a.route) return ByRoute(s);
  if (a.majorRev) return ByMajorRev(s);
  if (a.software) return BySoftwareVersion(s);
  if (a.majorSoftware) return ByMajorSoftwareVersion(s);
  if (a.database) return ByDatabaseVersion(s);
  return ByControllerId(s);
}

}  // namespace revdir
