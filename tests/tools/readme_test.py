#!/usr/bin/env python3
"""Runs every `$ ` line of the README's sh blocks in a fresh prefix, from the
top of the source tree with revdir on the PATH, and compares what it prints
(stdout and stderr, then "[exit N]" when N is not 0) with the lines written
under it.  usage: readme_test.py [--wine] [--registered] [--in DIR] REVDIR SOURCE_DIR

With --wine, REVDIR is the Windows build's revdir.exe, run under Wine in the
prefix WINEPREFIX names (fresh: the component not registered); its Windows
paths are compared in their Linux spelling, and a carriage return anywhere
in the output is a difference. With --registered the component is
registered already, so no command says it registers it on a first run.
--in DIR runs the commands in DIR (an installed package's folder, which holds
the examples) rather than in SOURCE_DIR."""
import os, re, subprocess, sys, tempfile

args = sys.argv[1:]
wine = registered = False
workdir = None
while args and args[0].startswith("--"):
    option = args.pop(0)
    if option == "--wine":
        wine = True
    elif option == "--registered":
        registered = True
    elif option == "--in" and args:
        workdir = args.pop(0)
    else:
        sys.exit(f"readme_test.py: unknown option {option}")
revdir, source = args[0], args[1]
workdir = workdir or source
tool_dir = os.path.dirname(os.path.abspath(revdir))
text = open(os.path.join(source, "README.md"), encoding="utf-8").read()
steps = []  # (command, expected lines)
for block in re.findall(r"```sh\n(.*?)```", text, re.S):
    for line in block.splitlines():
        if line.startswith("$ "):
            steps.append((line[2:], []))
        elif steps and any(l.startswith("$ ") for l in block.splitlines()):
            if not (registered and line.startswith("revdir: first run: registered the component ")):
                steps[-1][1].append(line)
if len(steps) < 5:
    sys.exit("the README has fewer commands than its tour")


# What Wine does differently from Windows, by the command it shows in, and
# how the output is compared there instead.
WINE_UNORDERED = {
    "revdir reg query": "Wine's registry lists a key's values sorted by name; Windows (and the platform layer) "
                        "in the order they were written: the lines are compared in any order",
}


def linux_paths(out):
    """The Windows build's spelling of what the Linux build prints: Z: is the
    root of the Linux file system, the module is a DLL."""
    out = re.sub(r"\bZ:(\\\S*)", lambda m: m.group(1).replace("\\", "/"), out)
    return re.sub(r"(registered the component \S*/)QuillonRevisionDirectory\.dll", r"\1libQuillonRevisionDirectory.so", out)


with tempfile.TemporaryDirectory() as prefix:
    env = dict(os.environ, REVDIR_PREFIX=prefix, PATH=tool_dir + os.pathsep + os.environ["PATH"])
    env.pop("REVDIR_COMPONENT", None)
    # Under Wine "revdir" is the Windows program, wherever it stands in a line.
    shell = f'revdir() {{ wine "{os.path.abspath(revdir)}" "$@"; }}\n' if wine else ""
    failures = 0
    for command, expected in steps:
        run = subprocess.run(["bash", "-c", shell + command], cwd=workdir, env=env, capture_output=True, timeout=60)
        got = (run.stderr + run.stdout).decode("utf-8")
        if wine:
            got = linux_paths(got)
        # A line end is LF alone, which a pipe passes on as it is.
        got = got.replace("\r", "<CR>")
        # The first run names the module by its full path, which is the build's
        # (in the platform's spelling where the system gave it).
        got = re.sub(r"registered the component \S*[/\\]", "registered the component ", got)
        lines = got.splitlines() + ([f"[exit {run.returncode}]"] if run.returncode else [])
        # Blank lines at the end of an output are not seen in a block.
        while lines and not lines[-1]:
            lines.pop()
        while expected and not expected[-1]:
            expected.pop()
        unordered = [reason for c, reason in WINE_UNORDERED.items() if wine and command.startswith(c)]
        if unordered:
            print(f"under Wine, {command}: {unordered[0]}")
            lines, expected = sorted(lines), sorted(expected)
        if lines != expected:
            failures += 1
            print(f"README command: {command}\n--- expected\n" + "\n".join(expected) +
                  "\n--- got\n" + "\n".join(lines) + "\n")
    print(f"{len(steps)} README commands, {failures} differ")
    sys.exit(1 if failures else 0)
