// Linux-only behaviour: the default locale comes from the POSIX locale
// variables.
#include <windows.h>

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "conformance.h"

extern char **environ;

namespace {

// Runs this test program again, with only the locale variables given, to
// check the user default locale it starts with.
int RunChild(const std::vector<std::string> &localeVars, LCID expected) {
  std::vector<std::string> env;
  for (char **e = environ; *e; ++e) {
    std::string v = *e;
    if (v.rfind("LC_", 0) != 0 && v.rfind("LANG=", 0) != 0 && v.rfind("LANGUAGE=", 0) != 0) env.push_back(v);
  }
  for (const auto &v : localeVars) env.push_back(v);
  env.push_back("REVDIR_EXPECT_LCID=" + std::to_string(expected));
  std::vector<char *> envp;
  for (auto &v : env) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe";
  std::string filter = "--gtest_filter=LocaleFromEnvironmentChild.*";
  char *argv[] = {self.data(), filter.data(), nullptr};
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int spawned = posix_spawn(&pid, "/proc/self/exe", &quiet, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&quiet);
  if (spawned != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// Runs only inside RunChild.
TEST(LocaleFromEnvironmentChild, StartsWithTheExpectedLocale) {
  const char *expected = getenv("REVDIR_EXPECT_LCID");
  if (!expected) GTEST_SKIP() << "runs as a child of LocaleFromEnvironment";
  EXPECT_EQ(GetUserDefaultLCID(), (LCID)atoi(expected));
  EXPECT_EQ(GetThreadLocale(), (LCID)atoi(expected));
}

TEST(LocaleFromEnvironment, FollowsLcAllThenLcMessagesThenLang) {
  struct Case {
    std::vector<std::string> vars;
    LCID expected;
  } cases[] = {
      {{"LC_ALL=de_DE.UTF-8", "LC_MESSAGES=fr_FR.UTF-8", "LANG=it_IT.UTF-8"}, 0x0407},
      {{"LC_ALL=", "LC_MESSAGES=ja_JP.UTF-8", "LANG=en_GB.UTF-8"}, 0x0411},
      {{"LANG=pt_BR.UTF-8"}, 0x0416},
      {{"LANG=de_CH.UTF-8"}, 0x0807},
      {{"LANG=es_ES.UTF-8"}, 0x0c0a},
      {{"LANG=zh_CN.UTF-8"}, 0x0804},
      {{"LANG=ko"}, 0x0412},
      {{"LANG=C.UTF-8"}, 0x0409},
      {{"LANG=xx_YY.UTF-8"}, 0x0409},
      {{}, 0x0409},
  };
  for (const auto &c : cases) {
    std::string label;
    for (const auto &v : c.vars) label += v + " ";
    EXPECT_EQ(RunChild(c.vars, c.expected), 0) << label;
  }
}
