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
the examples) rather than in SOURCE_DIR.

A line that ends in " &" starts a program that stays (the device simulator):
its first line is compared, and it is stopped when the tour ends. The
simulator is found beside revdir, or where the build puts it."""
import os, re, select, signal, subprocess, sys, tempfile

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


def start(command, env):
    """A program that stays, its first line and its exit status if it has
    ended already. Under Wine the simulator is the Windows one beside
    revdir.exe (or in the build's commserver folder) when there is one; the
    Linux one shares the host's loopback."""
    found = [p for p in (os.path.join(tool_dir, "enip_sim.exe"), os.path.join(tool_dir, "commserver", "enip_sim.exe"))
             if os.path.exists(p)]
    if wine and command.startswith("enip_sim ") and found:
        simulator = found[0]
        command = f'wine "{simulator}"' + command[len("enip_sim"):]
    process = subprocess.Popen(["bash", "-c", "exec " + command[:-2]], cwd=workdir, env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, start_new_session=True)
    # A simulator that never says it listens is a failure, not a hang.
    ready, _, _ = select.select([process.stdout], [], [], 30)
    first = process.stdout.readline() if ready else b"(nothing within 30 s)\n"
    # The Windows simulator writes its lines in text mode; only revdir's own
    # output is held to LF alone.
    first = first.replace(b"\r\n", b"\n")
    return process, first, process.poll() or 0


def stop(processes):
    for process in processes:
        os.killpg(process.pid, signal.SIGTERM)
        process.wait(timeout=10)


def output_of(command, env, shell, staying):
    """What a step prints, its exit status shown as the README shows it."""
    if command.endswith(" &"):
        process, first, code = start(command, env)
        staying.append(process)
        run = subprocess.CompletedProcess(command, code, first, b"")
    else:
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
    return lines


with tempfile.TemporaryDirectory() as prefix:
    build_sim = os.path.join(tool_dir, os.pardir, "commserver")
    env = dict(os.environ, REVDIR_PREFIX=prefix, PATH=os.pathsep.join([tool_dir, build_sim, os.environ["PATH"]]))
    env.pop("REVDIR_COMPONENT", None)
    # Under Wine "revdir" is the Windows program, wherever it stands in a line.
    shell = f'revdir() {{ wine "{os.path.abspath(revdir)}" "$@"; }}\n' if wine else ""
    failures = 0
    staying = []
    try:
        for command, expected in steps:
            lines = output_of(command, env, shell, staying)
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
    finally:
        stop(staying)
    print(f"{len(steps)} README commands, {failures} differ")
    sys.exit(1 if failures else 0)
