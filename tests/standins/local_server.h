// The stand-in application's automation on Windows (see standins.h).
#pragma once

struct AutomationStart {
  bool server = false;               // started by COM as the class's local server
  const wchar_t *project = nullptr;  // the project to hold open
};

// What the command line asks of the automation; nothing for a plain start.
AutomationStart AutomationRequested(int argc, wchar_t **argv);
// Serves the application object until the program ends; its exit code.
int ServeAutomation(const AutomationStart &start);
