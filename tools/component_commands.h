// Subcommands of the revdir tool that drive the component as a COM client.
#pragma once

int RegisterMain(int argc, char **argv);
int UnregisterMain(int argc, char **argv);
int ListMain(int argc, char **argv);
int ErrorMain(int argc, char **argv);
int ProjectMain(int argc, char **argv);
int DemoMain(int argc, char **argv);
