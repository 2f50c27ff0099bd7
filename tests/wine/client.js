// A user's JScript against the registered component: late-bound calls,
// Enumerator over the collections, properties with arguments, and failures
// caught with try/catch. The lead script declares release 15.01 installed in
// C:\Q\Bin before it runs this.
var checks = 0, failures = 0;

function check(label, actual, expected) {
  checks++;
  if (actual !== expected) {
    failures++;
    WScript.Echo("FAIL " + label + ": got [" + actual + "] (" + typeof actual + "), expected [" + expected + "]");
  } else {
    // The host hides a script that dies; the last "ok" shows where.
    WScript.Echo("ok " + label);
  }
}

// Runs f, which must throw the given error number and, unless null, description.
function checkThrows(label, f, number, description) {
  checks++;
  try {
    f();
  } catch (e) {
    check(label + " number", e.number, number);
    if (description !== null) check(label + " description", e.description, description);
    return;
  }
  failures++;
  WScript.Echo("FAIL " + label + ": nothing thrown");
}

// Every item of a collection, through its enumerator; at most `bound`.
function items(collection, bound) {
  var all = [];
  for (var e = new Enumerator(collection); !e.atEnd() && all.length < bound; e.moveNext()) all.push(e.item());
  return all;
}

function version(r) { return r.MajorSoftwareVersion + "." + r.MinorSoftwareVersion; }

var RdE_NotInitialized = 0x80043D00 - 0x100000000;
var RdE_RevisionNotFound = 0x80043D01 - 0x100000000;
var RdE_RevisionNotInstalled = 0x80043D05 - 0x100000000;
var RdE_ProcessorTypeNotSupported = 0x80043D06 - 0x100000000;
var Arvane01 = 1, Arvane04 = 9, Betrel11 = 31;

var d = new ActiveXObject("QuillonRevisionDirectory.RevisionDirectory");
checkThrows("Revisions before Initialize", function () { return d.Revisions; }, RdE_NotInitialized,
  "The Revision Directory object has not been initialized.\n\nPlease invoke the Initialize method before invoking this method.");
d.Initialize();

var all = items(d.Revisions, 100);
check("Revisions.Count", d.Revisions.Count, 50);
check("Enumerator over Revisions", all.length, 50);
check("first release", version(all[0]), "1.0");
check("last release", version(all[49]), "15.1");
check("Revisions.Item(50)", d.Revisions.Item(50).MajorRev, 15);
check("the enumerator and Item agree", version(d.Revisions.Item(17)), version(all[16]));

var r = d.GetRevisionFromSoftwareVersion(15, 1);
check("ACDFileVersionNumber", r.ACDFileVersionNumber, 3279);
check("AutomationInterfaceVersion", r.AutomationInterfaceVersion, ".15.00");
check("MinorRev(Betrel11)", r.MinorRev(Betrel11), 4);
check("ProcessorIsSupported(Arvane04)", r.ProcessorIsSupported(Arvane04), 1);
check("SupportedProcessorTypes", items(r.SupportedProcessorTypes, 100).length, 15);
// Only the code: this failure comes without error information.
checkThrows("MinorRev of an unsupported type", function () { return r.MinorRev(Arvane01); },
  RdE_ProcessorTypeNotSupported, null);
check("InstalledPath", r.InstalledPath, "C:\\Q\\Bin\\Quillon.Exe");

var available = items(d.AvailableRevisions, 10);
check("Enumerator over AvailableRevisions", available.length, 1);
check("available release", available.length ? version(available[0]) : "", "15.1");
check("LatestAvailableRevision", version(d.LatestAvailableRevision), "15.1");

var notInstalled = d.GetRevisionFromSoftwareVersion(15, 0);
check("IsAvailable of 15.00", notInstalled.IsAvailable, 0);
checkThrows("InstalledPath of 15.00", function () { return notInstalled.InstalledPath; }, RdE_RevisionNotInstalled,
  "Quillon english support for this revision is not installed.");
checkThrows("GetRevisionFromSoftwareVersion(11, 2)", function () { return d.GetRevisionFromSoftwareVersion(11, 2); },
  RdE_RevisionNotFound, "No revision could be found that matches the given search criteria.");

var types = items(d.ProcessorTypes, 100);
check("Enumerator over ProcessorTypes", types.length, 24);
check("ProcessorTypes.Item(24)", d.ProcessorTypes.Item(24).Name, types[23].Name);
check("GetErrorDescription", d.GetErrorDescription(RdE_RevisionNotFound),
  "No revision could be found that matches the given search criteria.");
check("IsInterfaceVersionSupported(0x600)", d.IsInterfaceVersionSupported(0x600), true);

if (failures == 0)
  WScript.Echo("jscript client: " + checks + " checks passed");
else
  WScript.Echo("jscript client: " + failures + " of " + checks + " checks failed");
