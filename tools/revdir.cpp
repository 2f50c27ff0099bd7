// revdir: the command-line tool of the revision directory. main and the
// table of commands; each family of commands lives in a file of its own.
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "console.h"
#include "platform/text/wide_text.h"
#include "session.h"

namespace revdir {

namespace {

struct Command {
  const char *name;
  int (*run)(int, char **);
  const char *summary;
  const char *usage;
};

const Command kCommands[] = {
    {"list", ListCommand, "every release, or the installed ones, and where they are",
     "revdir list [--installed] [--software RANGE] [--latest] [--format table|json] [--property NAME] [--lang L]"},
    {"latest", LatestCommand, "the latest installed release",
     "revdir latest [--format table|json] [--property NAME] [--lang L]"},
    {"find", FindCommand, "the release of a revision, version, database, project file or controller",
     "revdir find (--major-rev N | --software M.mm|RANGE | --major-software M | --database D\n"
     "             | --controller TYPE:CODE:REV | --route ROUTE | --project FILE... [--recursive])\n"
     "            [--installed] [--latest] [--format table|json] [--property NAME] [--lang L]\n"
     "  RANGE is an interval such as [12.0,14.0) or (15.0,); --latest keeps its newest release\n"
     "  ROUTE is \"cvpath:\" and a communications server path, or DRIVER%CIP-PATH-HEX"},
    {"scan", ScanCommand, "every device on networks or in a chassis, with the release each one needs",
     "revdir scan (NETWORK|HOST... [--broadcast IFACE] | --broadcast IFACE | --driver NAME)\n"
     "            [--backplane [N]] [--timeout MS] [--rate N] [--max N] [--format table|json] [--property NAME]\n"
     "            [--lang L]\n"
     "  NETWORK is A.B.C.D/N, HOST is A.B.C.D; --backplane reads slots 0 to N (16) of each device;\n"
     "  more than 1024 addresses need --max; exit 3 when nothing answers"},
    {"types", TypesCommand, "controller types: the catalogue, a release's, the installation's",
     "revdir types [--release M.mm | --supported | --from-rev-10] [--format table|json] [--property NAME]"},
    {"progid", ProgIdCommand, "the ProgID of the application or its services",
     "revdir progid [--services] [--language L] [--release M.mm] [--format table|json]"},
    {"launch", LaunchCommand, "start a release (the latest installed by default)",
     "revdir launch [--release M.mm] [--wait SECONDS] [-- ARGUMENTS...]"},
    {"error", ErrorCommand, "the constant name and text of an error code",
     "revdir error CODE [--lang L] [--format table|json]"},
    {"register", RegisterCommand, "register the component for the machine, or for you alone",
     "revdir register [--user]"},
    {"unregister", RegisterCommand, "remove the component's registration, the machine's or yours",
     "revdir unregister [--user]"},
    {"version", VersionCommand, "the tool's version, and the component's and where it was found", "revdir version"},
    {"alias", AliasCommand, "database-version aliases: list them, or clear them all",
     "revdir alias (list [--format table|json] | clear)"},
};

// The command list, the exit statuses and the languages, for "revdir --help".
int PrintCommandList(void (*print)(const char *, ...)) {
  print(
      "usage: revdir COMMAND [options]      revdir COMMAND --help      revdir --version\n\n"
      "commands:\n");
  for (const auto &c : kCommands) print("  %-11s %s\n", c.name, c.summary);
  print("  %-11s %s\n", "reg", "read and edit the registry of the prefix (query add delete import export)");
  print(
      "\nexit status: 0 done, 2 usage, 3 not found, 4 not installed, 5 bad project file,\n"
      "6 other component failure; languages: en de fr it es pt zh ja ko or an LCID\n");
  return 0;
}

// Runs a component command, or prints its usage for --help; -1 when `name`
// is none of them.
int RunComponentCommand(const char *name, int argc, char **argv) {
  for (const auto &c : kCommands) {
    if (strcmp(name, c.name) != 0) continue;
    g_command = c.name;
    for (int i = 0; i < argc && strcmp(argv[i], "--") != 0; ++i)
      if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
        Out("usage: %s\n  %s\n", c.usage, c.summary);
        return kOk;
      }
    return c.run(argc, argv);
  }
  if (strcmp(name, "project") == 0) {  // the older spelling of find --project
    std::vector<char *> args{const_cast<char *>("--project")};
    args.insert(args.end(), argv, argv + argc);
    g_command = "find";
    return FindCommand(static_cast<int>(args.size()), args.data());
  }
  return -1;
}

}  // namespace

}  // namespace revdir

namespace {

// The arguments as the system has them, UTF-16 on Windows, as UTF-8 once
// for the parser, so that any path on the command line reaches the commands.
std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return args;
  for (int i = 0; i < count; ++i) args.push_back(platform::Narrow(argv[i]));
  LocalFree(argv);
  return args;
}

}  // namespace

int main() {
  std::vector<std::string> args = Arguments();
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(args.size());
  if (argc < 2) {
    revdir::PrintCommandList(revdir::Err);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "help" || command == "--help" || command == "-h") return revdir::PrintCommandList(revdir::Out);
  if (command == "reg") return revdir::RegCommand(argc - 2, argv.data() + 2);
  if (command == "--version") return revdir::RunComponentCommand("version", argc - 2, argv.data() + 2);
  int rc = revdir::RunComponentCommand(argv[1], argc - 2, argv.data() + 2);
  if (rc >= 0) return rc;
  revdir::Err("revdir: unknown command '%s'\nTry 'revdir --help'.\n", command.c_str());
  return 2;
}
