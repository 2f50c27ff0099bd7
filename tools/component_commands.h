// Subcommands of the revdir tool that drive the component as a COM client.
#pragma once

#include <cstdio>

// The command list, the exit statuses and the languages, for "revdir --help".
int PrintCommandList(FILE *out);
// Runs a component command; -1 when `name` is none of them.
int RunComponentCommand(const char *name, int argc, char **argv);
