// What the tests know of the stand-ins for a release's application: the
// executable's record and window, and the automation server's classes.
#pragma once

#include <objbase.h>

// The executable writes its record to the file named here (a path of the
// platform it runs on): the text of the file "cwd-marker" in its working
// directory (empty when there is none), then each argument, every field
// ended by a NUL, in UTF-8. Written whole or not at all.
#define STANDIN_RECORD_VARIABLE "REVDIR_STANDIN_RECORD"
// When set, the executable shows a window after this many milliseconds.
#define STANDIN_WINDOW_DELAY_VARIABLE "REVDIR_STANDIN_WINDOW_DELAY_MS"
// How long it runs on after recording (and showing its window), 3000 ms
// when unset.
#define STANDIN_LINGER_VARIABLE "REVDIR_STANDIN_LINGER_MS"
#define STANDIN_MARKER_FILE "cwd-marker"

// The automation server serves both classes with one kind of object; its
// dispatch property "WasRun" tells whether the object was put into its
// running state, "IsApplication" which class it was created as.
// {C7D1B6A2-3E5F-4C81-9A0B-6F2E4D8C1A01}
static const CLSID CLSID_StandInApplication = {
    0xC7D1B6A2, 0x3E5F, 0x4C81, {0x9A, 0x0B, 0x6F, 0x2E, 0x4D, 0x8C, 0x1A, 0x01}};
#define STANDIN_APPLICATION_CLSID_TEXT "{C7D1B6A2-3E5F-4C81-9A0B-6F2E4D8C1A01}"
// {C7D1B6A2-3E5F-4C81-9A0B-6F2E4D8C1A02}
static const CLSID CLSID_StandInServices = {
    0xC7D1B6A2, 0x3E5F, 0x4C81, {0x9A, 0x0B, 0x6F, 0x2E, 0x4D, 0x8C, 0x1A, 0x02}};
#define STANDIN_SERVICES_CLSID_TEXT "{C7D1B6A2-3E5F-4C81-9A0B-6F2E4D8C1A02}"
#define STANDIN_DISPID_WASRUN 1
#define STANDIN_DISPID_ISAPPLICATION 2

// The executable is also the application's local server. Started by COM
// ("/Automation" or "-Embedding" among its arguments) it registers the class
// below; started with "/Open FILE" it holds that project open, registered in
// the running-object table under the file's moniker. Either way its one
// application object answers "ProcessId" (a property) and "Quit" (a method
// that closes the project); the program ends when it has no project open and
// no client holds the object, or after STANDIN_SERVER_LIFETIME_MS.
// {C7D1B6A2-3E5F-4C81-9A0B-6F2E4D8C1A03}
static const CLSID CLSID_StandInLocalApplication = {
    0xC7D1B6A2, 0x3E5F, 0x4C81, {0x9A, 0x0B, 0x6F, 0x2E, 0x4D, 0x8C, 0x1A, 0x03}};
#define STANDIN_LOCAL_APPLICATION_CLSID_TEXT "{C7D1B6A2-3E5F-4C81-9A0B-6F2E4D8C1A03}"
#define STANDIN_SERVER_LIFETIME_MS 60000
