#!/usr/bin/env python3
"""`revdir find --route` against the device simulator on loopback, through a
relay that counts the connections made to it: one look-up is one
conversation with the controller, and it still names the identity and the
release.  usage: route_conversation_test.py REVDIR ENIP_SIM"""
import os, socket, subprocess, sys, tempfile, threading

revdir, simulator = sys.argv[1], sys.argv[2]
sim = subprocess.Popen([simulator, "--port", "0", "--identity", "1,14,15,13.1,12345,Kestrel L85"],
                       stdout=subprocess.PIPE, text=True)
sim_port = int(sim.stdout.readline().rsplit(":", 1)[1])
relay = socket.create_server(("127.0.0.1", 0))
connections = 0


def pump(source, sink):
    try:
        while data := source.recv(65536):
            sink.sendall(data)
    except OSError:
        pass
    finally:
        try:
            sink.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def serve():
    global connections
    while True:
        client, _ = relay.accept()
        connections += 1
        upstream = socket.create_connection(("127.0.0.1", sim_port))
        threading.Thread(target=pump, args=(client, upstream), daemon=True).start()
        threading.Thread(target=pump, args=(upstream, client), daemon=True).start()


threading.Thread(target=serve, daemon=True).start()
try:
    with tempfile.TemporaryDirectory() as prefix:
        env = dict(os.environ, REVDIR_PREFIX=prefix)
        env.pop("REVDIR_COMPONENT", None)
        driver = r"HKLM\SOFTWARE\Brenmoor Software\Corvid\Drivers\ENIP-1"
        subprocess.run([revdir, "reg", "add", driver, "/v", "Kind", "/d", "EtherNet/IP", "/f"], env=env,
                       check=True, capture_output=True)
        route = "cvpath:ENIP-1\\127.0.0.1:%d" % relay.getsockname()[1]
        run = subprocess.run([revdir, "find", "--route", route, "--format", "json"], env=env, capture_output=True,
                             text=True, timeout=60)
finally:
    sim.kill()
want = ('{"vendor": 1, "deviceType": 14, "productCode": 15, "revision": "13.1", "serialNumber": 12345, '
        '"productName": "Kestrel L85", "release": "13.04"')
failures = []
if run.returncode != 0 or not run.stdout.startswith(want):
    failures.append("find --route: exit %d\n%s%s" % (run.returncode, run.stdout, run.stderr))
if connections != 1:
    failures.append("find --route made %d connections to the controller, not 1" % connections)
print("\n".join(failures) or "route: one conversation")
sys.exit(1 if failures else 0)
