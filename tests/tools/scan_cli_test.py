#!/usr/bin/env python3
"""`revdir scan` of a loopback network as an engineer meets one: three
device simulators (a controller, a chassis holding a controller and an input
module, a drive), silent addresses, and a responder that answers once well,
then again (a duplicate), with a broken reply and from a wrong port. Every
device and module is listed once with its release, the broken replies are
counted, and the sweep lasts about one time-out; then the user's mistakes.
usage: scan_cli_test.py REVDIR ENIP_SIM SOURCE_DIR"""
import json, os, random, socket, struct, subprocess, sys, tempfile, threading, time

revdir, simulator, source = sys.argv[1:4]
PORT = 44818
TIMEOUT_MS = 500
# A block of loopback addresses of its own, away from 127.0.0.x (the README's
# tour), so that tests running at once never share an address.
net = "127.%d.%d" % (random.randint(16, 254), random.randint(0, 255))
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def identity_item(vendor, device_type, code, major, minor, serial, name, address):
    """A List Identity reply's CIP identity item, from the protocol's tables."""
    body = struct.pack("<H", 1) + struct.pack(">hH4s8x", 2, PORT, socket.inet_aton(address))
    body += struct.pack("<HHHBBHIB", vendor, device_type, code, major, minor, 0, serial, len(name)) + name + b"\x03"
    return struct.pack("<HHH", 1, 0x0C, len(body)) + body


def reply(request, data):
    command, _, session, _, context, options = struct.unpack("<HHII8sI", request[:24])
    return struct.pack("<HHII8sI", command, len(data), session, 0, context, options) + data


def hostile(sock, other, address):
    """Answers each List Identity well, then with the same again, with a
    reply whose item overruns the datagram, and well again from another port."""
    while True:
        try:
            request, peer = sock.recvfrom(2048)
        except OSError:
            return
        good = reply(request, identity_item(1, 43, 7, 3, 1, 4242, b"Hostile Switch", address))
        sock.sendto(good, peer)
        sock.sendto(good, peer)
        sock.sendto(good[:-5] + b"\xff" * 2, peer)
        other.sendto(good, peer)


def start_simulator(host, identity, *slots):
    args = [simulator, "--listen", host, "--port", str(PORT), "--identity", identity]
    for slot in slots:
        args += ["--slot", slot]
    sim = subprocess.Popen(args, stdout=subprocess.PIPE, text=True)
    line = sim.stdout.readline()
    if not line.startswith("listening on"):
        sys.exit(f"simulator on {host}: {line!r}")
    return sim


def run(env, *args, timeout=60):
    started = time.monotonic()
    done = subprocess.run([revdir, "scan", *args], env=env, capture_output=True, text=True, timeout=timeout)
    return done, time.monotonic() - started


sims = [
    start_simulator(net + ".1", "1,14,15,13.1,1001,Kestrel L85"),
    start_simulator(net + ".2", "1,12,166,2.1,1002,Bridge Module", "0=1,14,51,13.25,1005,Kestrel L73",
                    "3=1,7,42,1.3,1006,Input Module"),
    start_simulator(net + ".3", "1,2,9,4.2,1003,Drive"),
]
udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
udp.bind((net + ".5", PORT))
stray = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
stray.bind((net + ".5", 0))
threading.Thread(target=hostile, args=(udp, stray, net + ".5"), daemon=True).start()
try:
    with tempfile.TemporaryDirectory() as prefix:
        env = dict(os.environ, REVDIR_PREFIX=prefix)
        env.pop("REVDIR_COMPONENT", None)
        subprocess.run([revdir, "reg", "import", os.path.join(source, "examples", "installed.reg")], env=env,
                       check=True, capture_output=True)
        subprocess.run([revdir, "reg", "add", r"HKLM\SOFTWARE\Brenmoor Software\Corvid\Drivers\ENIP-1", "/v", "Kind",
                        "/d", "EtherNet/IP", "/f"], env=env, check=True, capture_output=True)

        done, seconds = run(env, net + ".0/29", "--backplane", "5", "--timeout", str(TIMEOUT_MS), "--format",
                            "json")
        check(done.returncode == 0, f"sweep: exit {done.returncode}: {done.stderr}")
        rows = json.loads(done.stdout or "[]")
        got = [(r["address"], r["slot"], r["productName"], r["release"]) for r in rows]
        nota = "RdE_NotA_TesselController"
        want = [(net + ".1", None, "Kestrel L85", "13.04"), (net + ".2", None, "Bridge Module", nota),
                (net + ".2", 0, "Kestrel L73", "13.04"), (net + ".2", 3, "Input Module", nota),
                (net + ".3", None, "Drive", nota), (net + ".5", None, "Hostile Switch", nota)]
        check(got == want, f"sweep rows:\n{got}\nwanted\n{want}")
        check(all(r["installed"] == (r["release"] == "13.04") for r in rows), f"installed flags: {rows}")
        names = [r["catalogName"] for r in rows]
        check(names == ["NB-01", "", "AR-04", "", "", ""], f"catalogue names: {names}")
        check("dropped 1 malformed, 1 from an unexpected source and 1 duplicated replies" in done.stderr,
              f"sweep: what was dropped: {done.stderr!r}")
        # The silent addresses hold the sweep for one time-out, not one each.
        check(TIMEOUT_MS / 1000 <= seconds < 3 * TIMEOUT_MS / 1000 + 2, f"sweep took {seconds:.2f} s")

        done, _ = run(env, net + ".200/30", "--timeout", "200")
        check(done.returncode == 3 and done.stdout == "" and "no device answered" in done.stderr,
              f"silent network: exit {done.returncode}, {done.stdout!r} {done.stderr!r}")

        for args, hint in [((), "what to scan"), (("10.0.0.300",), "neither a network"),
                           (("127.0.0.0/16",), "add --max 65534"), (("--broadcast", "no-such-if0"), "no interface"),
                           (("--driver", "NOPE"), "no driver 'NOPE'"), ((net + ".1", "--driver", "X"), "--driver"),
                           (("--driver", "ENIP-1"), "sweep its network by address"),
                           ((net + ".1", "--timeout", "0"), "--timeout needs"),
                           ((net + ".1", "--rate", "x"), "not a number")]:
            done, _ = run(env, *args)
            check(done.returncode == 2 and hint in done.stderr.splitlines()[0],
                  f"scan {' '.join(args)}: exit {done.returncode}: {done.stderr!r}")
finally:
    for sim in sims:
        sim.terminate()
        sim.wait(timeout=10)
    udp.close()
    stray.close()

print("\n".join(failures) or "scan: devices, modules, releases, dropped replies and mistakes as expected")
sys.exit(1 if failures else 0)
