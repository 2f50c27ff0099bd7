#!/usr/bin/env python3
"""Holds the bash completion and the manual page to the tool's own --help:
the completion offers exactly the commands, options and registry switches the
help lists, and the manual page mentions every one of them.
usage: help_docs_test.py REVDIR SOURCE_DIR"""
import os, re, subprocess, sys

revdir, source = sys.argv[1], sys.argv[2]
completion = os.path.join(source, "tools", "revdir.bash")
# The manual's words without troff's font changes and escaped hyphens.
manual = open(os.path.join(source, "tools", "revdir.1"), encoding="utf-8").read()
manual = re.sub(r"\\f[BIRP]", " ", manual).replace("\\-", "-")
failures = []


def help_of(*command):
    run = subprocess.run([revdir, *command, "--help"], capture_output=True, text=True, timeout=30)
    if run.returncode != 0:
        sys.exit(f"revdir {' '.join(command)} --help: exit {run.returncode}")
    return run.stdout


def complete(*words):
    """What the completion offers for the last word of `revdir WORDS...`."""
    script = 'source "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _revdir; printf "%s\\n" "${COMPREPLY[@]}"'
    run = subprocess.run(["bash", "-c", script, completion, "revdir", *words], capture_output=True, text=True,
                         timeout=30)
    if run.returncode != 0 or run.stderr:
        sys.exit(f"completion of {words}: exit {run.returncode}\n{run.stderr}")
    return {w for w in run.stdout.split("\n") if w}


def compare(what, offered, listed):
    if offered != listed:
        failures.append(f"{what}: completion offers {sorted(offered - listed)} that the help does not list, "
                        f"misses {sorted(listed - offered)}")
    missing = [w for w in listed if not re.search(r"(?<![\w-])" + re.escape(w) + r"(?![\w-])", manual)]
    if missing:
        failures.append(f"{what}: the manual page does not mention {sorted(missing)}")


def options(text):
    return set(re.findall(r"(?<![\w-])--[a-z][a-z0-9-]*", text))


top = help_of()
commands = set(re.findall(r"^  ([a-z]+)  ", top, re.M))
if len(commands) < 10:
    sys.exit(f"revdir --help lists only {sorted(commands)}")
compare("commands", complete(""), commands | options(top) | {"--help"})

for command in sorted(commands - {"reg"}):
    compare(f"revdir {command}", complete(command, "--"), options(help_of(command)) | {"--help"})

# The registry verbs, each with the switches its usage line shows.
reg = help_of("reg")
verbs = dict(re.findall(r"^  revdir reg ([a-z]+) +(.*)$", reg, re.M))
compare("revdir reg", complete("reg", ""), set(verbs))
for verb, usage in sorted(verbs.items()):
    switches = set(re.findall(r"(?<![\w\\])/[a-z]+", usage))
    compare(f"revdir reg {verb}", complete("reg", verb, "KEY", "/"), switches)

print("\n".join(failures) or f"{len(commands)} commands and their options: completion and manual page agree")
sys.exit(1 if failures else 0)
