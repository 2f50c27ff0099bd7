' The directory over releases declared the way installers declare them: a
' language pack (scheme 1) and numbered releases (scheme 2), in English and in
' German, beside the 15.01 that the lead script declared and the alias
' 4000 -> 3279 that it wrote with reg add. Everything added here is removed
' again at the end, so the other scripts see the lead script's state.
Option Explicit

Dim checks, failures
checks = 0
failures = 0

Sub Check(label, actual, expected)
  checks = checks + 1
  If CStr(actual) <> CStr(expected) Then
    failures = failures + 1
    WScript.Echo "FAIL " & label & ": got [" & actual & "], expected [" & expected & "]"
  Else
    WScript.Echo "ok " & label
  End If
End Sub

Const RdE_RevisionNotFound = &H80043D01
Const RdE_NotQuillon = &H80043D0A

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

Dim d, r, list
Set d = CreateObject("QuillonRevisionDirectory.RevisionDirectory")
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
Err.Clear
On Error GoTo 0

Dim key
For Each key In Array("Quillon", "Quillon German", "Quillon.1\English\12", "Quillon.1\English\r9", "Quillon.1\German")
  sh.Run "reg delete """ & maker & key & """ /f", 0, True
Next
Set d = Nothing

If failures = 0 Then WScript.Echo "directory client: " & checks & " checks passed"
