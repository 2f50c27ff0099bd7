// The commands of revdir, one function each; revdir.cpp dispatches to them.
// Each takes the arguments after its name and returns the exit status.
#pragma once

namespace revdir {

int ListCommand(int argc, char **argv);
int LatestCommand(int argc, char **argv);
int TypesCommand(int argc, char **argv);
int ProgIdCommand(int argc, char **argv);
int FindCommand(int argc, char **argv);
int ScanCommand(int argc, char **argv);
int LaunchCommand(int argc, char **argv);
int ErrorCommand(int argc, char **argv);
// register and unregister, told apart by g_command.
int RegisterCommand(int argc, char **argv);
int AliasCommand(int argc, char **argv);
int VersionCommand(int argc, char **argv);
// The registry verbs: query, add, delete, import, export.
int RegCommand(int argc, char **argv);

}  // namespace revdir
