' A user's script against the registered component: late-bound calls by name,
' default members, For Each, properties with arguments, and failures caught
' with On Error Resume Next. The lead script declares release 15.01 installed
' in C:\Q\Bin before it runs this.
Option Explicit

Dim checks, failures
checks = 0
failures = 0

Sub Check(label, actual, expected)
  checks = checks + 1
  If TypeName(actual) <> TypeName(expected) And Not (IsNumeric(actual) And IsNumeric(expected)) Then
    failures = failures + 1
    WScript.Echo "FAIL " & label & ": got a " & TypeName(actual) & ", expected a " & TypeName(expected)
  ElseIf actual <> expected Then
    failures = failures + 1
    WScript.Echo "FAIL " & label & ": got [" & actual & "], expected [" & expected & "]"
  Else
    ' The host hides a script that dies; the last "ok" shows where.
    WScript.Echo "ok " & label
  End If
End Sub

' The error a statement raised, taken from Err right after it.
Sub CheckError(label, number, source, description, expectedNumber, expectedSource, expectedDescription)
  Check label & " number", Hex(number), Hex(expectedNumber)
  Check label & " source", source, expectedSource
  Check label & " description", description, expectedDescription
End Sub

Const RdE_NotInitialized = &H80043D00
Const RdE_RevisionNotFound = &H80043D01
Const RdE_RevisionNotInstalled = &H80043D05
Const RdE_ProcessorTypeNotSupported = &H80043D06
Const RdE_NotQuillon = &H80043D0A
Const Arvane01 = 1, Arvane04 = 9, Betrel11 = 31

Dim d, r, p, n, first, last, latest12
Set d = CreateObject("QuillonRevisionDirectory.RevisionDirectory")
Check "TypeName", TypeName(d), "IRevisionDirectory_V6"

' Before Initialize every collection fails with rich error information.
On Error Resume Next
Set r = d.Revisions
CheckError "Revisions before Initialize", Err.Number, Err.Source, Err.Description, _
  RdE_NotInitialized, "QuillonRevisionDirectory.RevisionDirectory", "The Revision Directory object has not been initialized." & vbLf & vbLf & _
  "Please invoke the Initialize method before invoking this method."
Err.Clear
On Error GoTo 0

d.Initialize

' Every known release, in table order.
Check "Revisions.Count", d.Revisions.Count, 50
n = 0
For Each r In d.Revisions
  n = n + 1
  If n = 1 Then first = r.MajorSoftwareVersion & "." & r.MinorSoftwareVersion
  last = r.MajorSoftwareVersion & "." & r.MinorSoftwareVersion
  If r.MajorRev = 12 Then latest12 = r.MinorSoftwareVersion
  If n > 100 Then Exit For
Next
Check "For Each over Revisions", n, 50
Check "first release", first, "1.0"
Check "last release", last, "15.1"
Check "default member Revisions(50)", d.Revisions(50).MajorRev, 15
Check "Revisions.Item(1)", d.Revisions.Item(1).MajorRev, 1

' Release 15.01, by software version.
Set r = d.GetRevisionFromSoftwareVersion(15, 1)
Check "TypeName of a revision", TypeName(r), "IRevision_V2"
Check "ACDFileVersionNumber", r.ACDFileVersionNumber, 3279
Check "AutomationInterfaceVersion", r.AutomationInterfaceVersion, ".15.00"
Check "MinorRev(Betrel11)", r.MinorRev(Betrel11), 4
Check "MinorRev(Arvane04)", r.MinorRev(Arvane04), 3
Check "ProcessorIsSupported(Arvane01)", r.ProcessorIsSupported(Arvane01), 0
Check "ProcessorIsSupported(Arvane04)", r.ProcessorIsSupported(Arvane04), 1
Check "SupportedProcessorTypes.Count", r.SupportedProcessorTypes.Count, 15
Check "SupportedProcessorTypes(1).Name", r.SupportedProcessorTypes(1).Name, "AR-04"
On Error Resume Next
n = r.MinorRev(Arvane01)
Check "MinorRev of an unsupported type", Hex(Err.Number), Hex(RdE_ProcessorTypeNotSupported)
Err.Clear
On Error GoTo 0

' The declared installation.
Check "IsAvailable", r.IsAvailable, 1
Check "InstalledPath", r.InstalledPath, "C:\Q\Bin\Quillon.Exe"
Check "AvailableRevisions.Count", d.AvailableRevisions.Count, 1
n = 0
For Each r In d.AvailableRevisions
  n = n + 1
  Check "available release", r.MajorSoftwareVersion & "." & r.MinorSoftwareVersion, "15.1"
  If n > 10 Then Exit For
Next
Check "For Each over AvailableRevisions", n, 1
Check "LatestAvailableRevision", d.LatestAvailableRevision.MinorSoftwareVersion, 1

' A release that is known but not installed.
Set r = d.GetRevisionFromSoftwareVersion(15, 0)
Check "IsAvailable of 15.00", r.IsAvailable, 0
On Error Resume Next
p = r.InstalledPath
CheckError "InstalledPath of 15.00", Err.Number, Err.Source, Err.Description, _
  RdE_RevisionNotInstalled, "QuillonRevisionDirectory.Revision", "Quillon english support for this revision is not installed."
Err.Clear
Set r = d.GetRevisionFromSoftwareVersion(11, 2)
CheckError "GetRevisionFromSoftwareVersion(11, 2)", Err.Number, Err.Source, Err.Description, _
  RdE_RevisionNotFound, "QuillonRevisionDirectory.RevisionDirectory", "No revision could be found that matches the given search criteria."
Err.Clear
On Error GoTo 0
' Without an installed 12.xx, the latest 12.xx release answers.
Check "GetRevisionFromMajorRev(12)", d.GetRevisionFromMajorRev(12).MinorSoftwareVersion, latest12

' Controller types.
Check "ProcessorTypes.Count", d.ProcessorTypes.Count, 24
n = 0
For Each p In d.ProcessorTypes
  n = n + 1
  If n = 1 Then first = p.Name
  If n > 100 Then Exit For
Next
Check "For Each over ProcessorTypes", n, 24
Check "first controller type", first, d.ProcessorTypes(1).Name
Check "ProcessorTypes(1).Id", d.ProcessorTypes(1).Id > 0, True
Check "IsInterfaceVersionSupported(&H600)", d.IsInterfaceVersionSupported(&H600), True
Check "IsInterfaceVersionSupported(&H700)", d.IsInterfaceVersionSupported(&H700), False

' Error texts on request.
Check "GetErrorDescription", d.GetErrorDescription(RdE_RevisionNotFound), _
  "No revision could be found that matches the given search criteria."
' GetErrorConstantAndDescription is left to compiled clients: its constant is a
' BSTR out-parameter, and a script can pass only a VARIANT by reference.

' ProgIds: the directory's by language, a release's with its interface version.
Const German = 1031
Check "QuillonApplicationProgId", d.QuillonApplicationProgId, "Quillon.Application"
Check "GetProgIdLanguage(English)", d.GetProgIdLanguage(1033), ""
Check "GetQuillonServicesProgIdForLanguage(German)", d.GetQuillonServicesProgIdForLanguage(German), _
  "QuillonServices.German.TesselServices"
Set r = d.GetRevisionFromSoftwareVersion(15, 1)
Check "revision QuillonApplicationProgId", r.QuillonApplicationProgId, "Quillon.Application.15.00"
Check "revision GetQuillonServicesProgIdForLanguage(German)", r.GetQuillonServicesProgIdForLanguage(German), _
  "QuillonServices.German.TesselServices.15.00"
On Error Resume Next
n = d.GetProgIdLanguage(1030)
Check "GetProgIdLanguage(1030)", Hex(Err.Number), Hex(&H80043D0B)
Err.Clear
On Error GoTo 0

' A launch of the stand-in installed as C:\Q\Bin\Quillon.Exe, which the
' runner sets to record its arguments and show a window after a moment.
Dim fso, started, waited, recorded
Set fso = CreateObject("Scripting.FileSystemObject")
started = Timer
r.LaunchAndWaitForMainWindow "first ""second arg"" C:\Q\p.ACD", 60
waited = Timer - started
Check "LaunchAndWaitForMainWindow returns once the window shows", waited < 30, True
recorded = False
For n = 1 To 100
  If fso.FileExists("C:\Q\record") Then recorded = True : Exit For
  WScript.Sleep 100
Next
Check "the stand-in recorded its start", recorded, True
If recorded Then
  Check "its arguments", Replace(fso.OpenTextFile("C:\Q\record").ReadAll, Chr(0), "|"), _
    "in C:\Q\Bin|first|second arg|C:\Q\p.ACD|"
End If
Check "Last Version", CreateObject("WScript.Shell").RegRead("HKLM\SOFTWARE\Brenmoor Software\Quillon.1\Last Version"), "15.01"

' Releases declared the way installers declare them: a language pack (scheme
' 1) and numbered releases (scheme 2), in English and in German, beside the
' 15.01 of the lead script and the alias 4000 -> 3279 that it wrote with reg
' add. The runner declares its state afresh before each script.
Dim sh, maker
Set sh = CreateObject("WScript.Shell")
maker = "HKLM\SOFTWARE\Brenmoor Software\"
sh.RegWrite maker & "Quillon\group1Component2SourceDirTemplate1", "D:\Old", "REG_SZ"
sh.RegWrite maker & "Quillon\10.02.00.00\", ""
sh.RegWrite maker & "Quillon.1\English\12\Product Version", "12.03.0001", "REG_SZ"
sh.RegWrite maker & "Quillon.1\English\12\Bin", "C:\Q12", "REG_SZ"
sh.RegWrite maker & "Quillon.1\English\r9\Product Version", "9.00.0001", "REG_SZ"
sh.RegWrite maker & "Quillon.1\English\r9\Bin", "C:\Q9", "REG_SZ"
sh.RegWrite maker & "Quillon German\group1Component2SourceDirTemplate1", "D:\Alt", "REG_SZ"
sh.RegWrite maker & "Quillon German\9.00.00.00\", ""
sh.RegWrite maker & "Quillon.1\German\13\Product Version", "13.00.0001", "REG_SZ"
sh.RegWrite maker & "Quillon.1\German\13\Bin", "C:\Q13", "REG_SZ"

Dim list
d.Initialize

' This thread's language is English: the German keys are not read.
list = ""
For Each r In d.AvailableRevisions
  list = list & r.MajorSoftwareVersion & "." & r.MinorSoftwareVersion & " "
Next
Check "AvailableRevisions", list, "10.2 12.3 15.1 "
Check "language pack path", d.GetRevisionFromSoftwareVersion(10, 2).InstalledPath, "D:\Old\Quillon.Exe"
Check "German release", d.GetRevisionFromSoftwareVersion(13, 0).IsAvailable, 0

' Look-ups by major revision, database version, software version, controller.
Check "GetRevisionFromMajorRev(12)", d.GetRevisionFromMajorRev(12).MinorSoftwareVersion, 3
Check "GetRevisionFromMajorRev(11)", d.GetRevisionFromMajorRev(11).MinorSoftwareVersion, 16
Check "database version 3149", d.GetRevisionFromDatabaseVersion(3149).MinorSoftwareVersion, 3
Check "database version 3071", d.GetRevisionFromDatabaseVersion(3071).MinorSoftwareVersion, 2
Set r = d.GetRevisionFromDatabaseVersion(4000)
Check "alias 4000", r.MajorSoftwareVersion & "." & r.MinorSoftwareVersion, "15.1"
Check "GetRevisionFromMajorSoftwareVersion(12)", d.GetRevisionFromMajorSoftwareVersion(12).MinorSoftwareVersion, 3
Check "GetRevisionFromSoftwareVersion(11, 16)", d.GetRevisionFromSoftwareVersion(11, 16).IsAvailable, 0
Check "GetRevisionFromControllerId", d.GetRevisionFromControllerId(14, 3, 12).MinorSoftwareVersion, 3

On Error Resume Next
d.RegisterDatabaseVersionAlias
Check "RegisterDatabaseVersionAlias from the script host", Hex(Err.Number), Hex(RdE_NotQuillon)
Err.Clear
Set r = d.GetRevisionFromDatabaseVersion(5000)
Check "database version 5000", Hex(Err.Number), Hex(RdE_RevisionNotFound)
Err.Clear
On Error GoTo 0

' Removing the aliases deletes the value; a new Initialize no longer knows 4000.
d.UnregisterAllDatabaseVersionAliases
d.Initialize
On Error Resume Next
Set r = d.GetRevisionFromDatabaseVersion(4000)
Check "alias 4000 after removal", Hex(Err.Number), Hex(RdE_RevisionNotFound)
' Project files (the lead script writes them to C:\Projects).
Const RdE_UnableToAccessProjectFile = &H80043D07
Const RdE_InvalidProjectFileContents = &H80043D0D
Const RdE_InvalidProjectFileType = &H80043D0E
Const E_INVALIDARG = &H80070057
Check "text export", d.GetRevisionFromProjectFile("C:\Projects\Line1.pjx").MinorSoftwareVersion, 1
Check "text export, other case and slashes", d.GetRevisionFromProjectFile("c:/projects/LINE1.PJX").MajorRev, 15

' A project database resolves as its database version does (0x80000000 as 1).
Dim fileNumber, fileVersion, directNumber, directVersion
Sub ByFileAndByVersion(path, version)
  fileVersion = "none"
  directVersion = "none"
  On Error Resume Next
  fileVersion = d.GetRevisionFromProjectFile(path).MinorSoftwareVersion
  fileNumber = Err.Number
  Err.Clear
  directVersion = d.GetRevisionFromDatabaseVersion(version).MinorSoftwareVersion
  directNumber = Err.Number
  Err.Clear
  On Error GoTo 0
  Check path & " error", Hex(fileNumber), Hex(directNumber)
  Check path & " release", fileVersion, directVersion
End Sub
ByFileAndByVersion "C:\Projects\LINE1.ACD", 3213
ByFileAndByVersion "C:\Projects\reduced.ACD", 1

On Error Resume Next
Set r = d.GetRevisionFromProjectFile("C:\Projects\Short.acd")
Check "three-byte database", Hex(Err.Number), Hex(E_INVALIDARG)
Err.Clear
Set r = d.GetRevisionFromProjectFile("C:\Projects\Empty.pjx")
Check "empty text export", Hex(Err.Number), Hex(RdE_UnableToAccessProjectFile)
Err.Clear
Set r = d.GetRevisionFromProjectFile("C:\Projects\Rack.pjx")
Check "export without a local module", Hex(Err.Number), Hex(RdE_InvalidProjectFileContents)
Err.Clear
Set r = d.GetRevisionFromProjectFile("C:\proj.old\plant")
CheckError "a folder's extension", Err.Number, Err.Source, Err.Description, RdE_InvalidProjectFileType, _
  "QuillonRevisionDirectory.RevisionDirectory", "Error -2147205874 (0x80043d0e) encountered."
Err.Clear
On Error GoTo 0

' Controllers online: the lead script configures a simulated network of the
' communications server's client library, driver SIM-1, whose station 2
' answers device type 14, product code 15, firmware 15.3.
Const RdE_NoDeviceFound = &H80043D09
Set r = d.GetRevisionFromController("SIM-1%02 02")
Check "controller along the driver form", r.MajorSoftwareVersion & "." & r.MinorSoftwareVersion, "15.1"
Check "controller's release installed", r.IsAvailable, 1
Check "controller along the path form", d.GetRevisionFromController("CVPATH: SIM-1\2").MajorRev, 15
On Error Resume Next
Set r = d.GetRevisionFromController("SIM-1%02 09")
CheckError "an absent controller", Err.Number, Err.Source, Err.Description, RdE_NoDeviceFound, _
  "QuillonRevisionDirectory.RevisionDirectory", "No module was found using the supplied encoded route string."
Err.Clear
On Error GoTo 0

If failures = 0 Then
  WScript.Echo "vbscript client: " & checks & " checks passed"
Else
  WScript.Echo "vbscript client: " & failures & " of " & checks & " checks failed"
End If
