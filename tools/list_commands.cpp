// The commands that list what the component knows: the releases, the latest
// installed one, the controller types and the ProgIDs.
#include "commands.h"
#include "output.h"
#include "session.h"

namespace revdir {

namespace {

const char kCommon[] = "--format --property --lang";

Row TypeRow(IProcessorType *t) {
  RdProcessorTypes id{};
  LONG major = 0, minor = 0, productType = 0, productCode = 0;
  Bstr name, description;
  t->get_Id(&id);
  t->get_MajorRev(&major);
  t->get_MinorRev(&minor);
  t->get_Name(name.Out());
  t->get_Description(description.Out());
  ComPtr<IProcessorType_V2> v2;
  if (SUCCEEDED(t->QueryInterface(IID_IProcessorType_V2, reinterpret_cast<void **>(v2.Out())))) {
    v2->get_ProductType(&productType);
    v2->get_ProductCode(&productCode);
  }
  return {NumberField("id", id),
          TextField("name", Narrow(name)),
          NumberField("productType", productType),
          NumberField("productCode", productCode),
          NumberField("majorRev", major),
          NumberField("minorRev", minor),
          TextField("description", Narrow(description))};
}

// The set of types the options name.
HRESULT TypesOf(IRevisionDirectory_V6 *d, const Args &a, ComPtr<IProcessorTypes> &types, std::string *what) {
  if (a.release) {
    ComPtr<IRevision> release;
    if (HRESULT hr = ReleaseOf(d, a, release); FAILED(hr)) {
      *what = "release";
      return hr;
    }
    return release->get_SupportedProcessorTypes(types.Out());
  }
  if (a.supported) return d->get_SupportedProcessorTypes(types.Out());
  if (a.fromRev10) return d->get_MRS_SupportedProcessorTypes(types.Out());
  return d->get_ProcessorTypes(types.Out());
}

}  // namespace

int ListCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, std::string(kCommon) + " --installed --software --latest") || !s.Open()) return s.status;
  const Args &a = s.a;
  HRESULT hr;
  std::vector<ComPtr<IRevision>> releases;
  if (FAILED(hr = Releases(s.d.Get(), a.installed, releases))) return Report("the releases", hr);
  std::vector<Row> rows;
  for (auto &r : releases)
    if (!a.software || a.software->Holds(VersionOf(r.Get()))) rows.push_back(ReleaseRow(r.Get()));
  if (a.latest && rows.size() > 1) rows.erase(rows.begin(), rows.end() - 1);
  return Print(a, rows, false);
}

int LatestCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, kCommon) || !s.Open()) return s.status;
  HRESULT hr;
  ComPtr<IRevision> r;
  if (FAILED(hr = s.d->get_LatestAvailableRevision(r.Out()))) return Report("the latest installed release", hr);
  return Print(s.a, {ReleaseRow(r.Get())}, true);
}

// types: the catalogue; --release M.mm its supported types with firmware
// revisions; --supported or --from-rev-10 the installation's sets.
int TypesCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, std::string(kCommon) + " --release --supported --from-rev-10")) return s.status;
  const Args &a = s.a;
  if (!!a.release + a.supported + a.fromRev10 > 1) return Usage("give one of --release --supported --from-rev-10");
  if (!s.Open()) return s.status;
  ComPtr<IProcessorTypes> types;
  std::string what = "the controller types";
  if (HRESULT hr = TypesOf(s.d.Get(), a, types, &what); FAILED(hr)) return Report(what, hr);
  LONG count = 0;
  types->get_Count(&count);
  std::vector<Row> rows;
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<IProcessorType> t;
    if (HRESULT hr = types->get_Item(i, t.Out()); FAILED(hr)) return Report("a controller type", hr);
    rows.push_back(TypeRow(t.Get()));
  }
  return Print(a, rows, false);
}

int ProgIdCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, "--property --format --lang --services --language --release") || !s.Open()) return s.status;
  const Args &a = s.a;
  HRESULT hr;
  Bstr progId;
  // The directory and a release answer through members of the same names.
  auto language = static_cast<RdSupportedLanguages>(a.language.value_or(0));
  auto ask = [&](auto *o) {
    return a.services ? (a.language ? o->GetQuillonServicesProgIdForLanguage(language, progId.Out())
                                    : o->get_QuillonServicesProgId(progId.Out()))
                      : (a.language ? o->GetQuillonApplicationProgIdForLanguage(language, progId.Out())
                                    : o->get_QuillonApplicationProgId(progId.Out()));
  };
  if (a.release) {
    ComPtr<IRevision> r;
    if (FAILED(hr = ReleaseOf(s.d.Get(), a, r))) return Report("release", hr);
    ComPtr<IRevision_V2> r2;
    if (FAILED(hr = r->QueryInterface(IID_IRevision_V2, reinterpret_cast<void **>(r2.Out()))))
      return Report("release", hr);
    hr = ask(r2.Get());
  } else {
    hr = ask(s.d.Get());
  }
  if (FAILED(hr)) return Report("ProgID", hr);
  return Print(a, {{TextField("progId", Narrow(progId))}}, true);
}

}  // namespace revdir
