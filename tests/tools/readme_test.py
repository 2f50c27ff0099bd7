#!/usr/bin/env python3
"""Runs every `$ ` line of the README's sh blocks in a fresh prefix, from the
top of the source tree with revdir on the PATH, and compares what it prints
(stdout and stderr, then "[exit N]" when N is not 0) with the lines written
under it.  usage: readme_test.py REVDIR SOURCE_DIR"""
import os, re, subprocess, sys, tempfile

revdir, source = sys.argv[1], sys.argv[2]
tool_dir = os.path.dirname(os.path.abspath(revdir))
text = open(os.path.join(source, "README.md"), encoding="utf-8").read()
steps = []  # (command, expected lines)
for block in re.findall(r"```sh\n(.*?)```", text, re.S):
    for line in block.splitlines():
        if line.startswith("$ "):
            steps.append((line[2:], []))
        elif steps and any(l.startswith("$ ") for l in block.splitlines()):
            steps[-1][1].append(line)
if len(steps) < 5:
    sys.exit("the README has fewer commands than its tour")

with tempfile.TemporaryDirectory() as prefix:
    env = dict(os.environ, REVDIR_PREFIX=prefix, PATH=tool_dir + os.pathsep + os.environ["PATH"])
    env.pop("REVDIR_COMPONENT", None)
    failures = 0
    for command, expected in steps:
        run = subprocess.run(["bash", "-c", command], cwd=source, env=env, capture_output=True, timeout=60)
        got = (run.stderr + run.stdout).decode("utf-8")
        # The first run names the module by its full path, which is the build's.
        got = re.sub(r"registered the component \S*/", "registered the component ", got)
        lines = got.splitlines() + ([f"[exit {run.returncode}]"] if run.returncode else [])
        # Blank lines at the end of an output are not seen in a block.
        while lines and not lines[-1]:
            lines.pop()
        while expected and not expected[-1]:
            expected.pop()
        if lines != expected:
            failures += 1
            print(f"README command: {command}\n--- expected\n" + "\n".join(expected) +
                  "\n--- got\n" + "\n".join(lines) + "\n")
    print(f"{len(steps)} README commands, {failures} differ")
    sys.exit(1 if failures else 0)
