// The output of revdir's component commands: rows as an aligned table, as
// JSON or as one property; the releases and the row of one.
#pragma once

#include <string>
#include <vector>

#include "QuillonRevisionDirectory.h"
#include "args.h"
#include "frame/handles.h"

namespace revdir {

// A row: named fields, in order; numbers and booleans are written bare in JSON.
struct Field {
  std::string name, value;
  bool quoted;
};
using Row = std::vector<Field>;

Field NumberField(const char *name, long v);
Field TextField(const char *name, const std::string &v);
// No value: empty in a table, null in JSON.
Field NullField(const char *name);

// The rows as --property, --format json or an aligned table ask; `single`
// writes one JSON object rather than an array.
int Print(const Args &a, const std::vector<Row> &rows, bool single);

// A release's stable members.
Row ReleaseRow(IRevision *r);
Version VersionOf(IRevision *r);
// Every release, or every installed one, in the component's order.
HRESULT Releases(IRevisionDirectory_V6 *d, bool installed, std::vector<ComPtr<IRevision>> &out);
// The release --release names, else the latest installed one.
HRESULT ReleaseOf(IRevisionDirectory_V6 *d, const Args &a, ComPtr<IRevision> &r);

}  // namespace revdir
