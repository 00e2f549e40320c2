#!/usr/bin/python3
"""tolvanctl against a real server on a private bus, every verb.

The bus gets the activation files of the server under test (TOLVAN_SERVICES: the build
folder's, or an installed tree's) and starts the server itself, as a desktop's bus does.
The server's profile (XDG_CONFIG_HOME) maps COM1 to a loopback, COM2 to the simulated
modem and COM3 to a pty whose master side this test drives (lrzsz's sx sends files there).

TOLVANCTL names the command to test.
"""

import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import tty
import unittest

import dbus

TOLVANCTL = os.environ.get("TOLVANCTL", "tolvanctl")
SERVICES = os.environ.get("TOLVAN_SERVICES", "")

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>{address}</listen>
  <servicedir>{services}</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def wait_until(predicate, limit=10.0):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.02)
    return predicate()


class ServerOnPrivateBus(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not SERVICES or not os.path.isdir(SERVICES):
            raise RuntimeError("TOLVAN_SERVICES names no folder of activation files")
        cls.tmp = tempfile.mkdtemp(prefix="tolvanctl-test-")
        # The pty that stands for a device on COM3, both ends raw.
        cls.master, cls.slave = os.openpty()
        tty.setraw(cls.master)
        tty.setraw(cls.slave)
        config = os.path.join(cls.tmp, "config", "tolvan32")
        os.makedirs(config)
        with open(os.path.join(config, "tolvan32.ini"), "w") as f:
            f.write("[Ports]\nAuto=0\nCOM1=loop://\nCOM2=sim://modem\nCOM3=%s\n\n"
                    "[COMM]\nBaudRate=9600\nParity=N\nWordLen=8\nStopBits=1\n"
                    % os.ttyname(cls.slave))
        address = "unix:path=" + os.path.join(cls.tmp, "bus")
        conf = os.path.join(cls.tmp, "bus.conf")
        with open(conf, "w") as f:
            f.write(BUS_CONFIG.format(address=address, services=os.path.abspath(SERVICES)))
        env = dict(os.environ)
        env.update({"DBUS_SESSION_BUS_ADDRESS": address, "XDG_CONFIG_HOME": cls.tmp + "/config",
                    "XDG_DATA_HOME": cls.tmp + "/data", "QT_QPA_PLATFORM": "offscreen",
                    "XDG_RUNTIME_DIR": cls.tmp})
        cls.env = env
        # The activated server inherits the bus's environment.
        cls.daemon = subprocess.Popen(["dbus-daemon", "--nofork", "--config-file=" + conf],
                                      env=env, stderr=subprocess.DEVNULL)
        if not wait_until(lambda: os.path.exists(os.path.join(cls.tmp, "bus"))):
            raise RuntimeError("the private bus did not start")
        cls.bus = dbus.bus.BusConnection(address)
        cls.keeper = None

    @classmethod
    def tearDownClass(cls):
        if cls.keeper is not None:
            try:
                cls.keeper.Release(dbus_interface="Tolvan32.Unknown")
            except dbus.DBusException:
                pass
        cls.bus.close()
        cls.daemon.terminate()
        cls.daemon.wait()
        os.close(cls.master)
        os.close(cls.slave)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    # --- helpers -----------------------------------------------------------------------------

    def ctl(self, *args, stdin=None, timeout=60):
        return subprocess.run([TOLVANCTL] + list(args), env=self.env, input=stdin,
                              capture_output=True, timeout=timeout)

    def start_ctl(self, *args):
        return subprocess.Popen([TOLVANCTL] + list(args), env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)

    def channel(self, bus_name="RiVo32.Document"):
        factory = self.bus.get_object(bus_name, "/")
        path = factory.CreateInstance(dbus_interface="Tolvan32.ClassFactory")
        obj = self.bus.get_object(bus_name, path)
        self.addCleanup(lambda: obj.Release(dbus_interface="Tolvan32.Unknown"))
        return obj, dbus.Interface(obj, "RiVo32.Document")

    def read_all(self, doc, count, limit_ms=2000):
        got = b""
        deadline = time.monotonic() + limit_ms / 1000.0
        while len(got) < count and time.monotonic() < deadline:
            n, data = doc.ReadFromPortTimed(dbus.ByteArray(b"\0" * 512), 512, 100)
            got += bytes(data[:int(n)])
        return got

    def ensure_server(self):
        cls = type(self)
        if cls.keeper is None:
            # The first verb starts the server through the activation files; this channel
            # keeps it running for the rest of the tests (a server started for clients ends
            # with its last channel).
            r = self.ctl("ports", "--json")
            self.assertEqual(r.returncode, 0, r.stderr.decode())
            obj, _ = self.channel()
            self._cleanups.pop()  # held until tearDownClass
            cls.keeper = obj
            cls.first_ports = json.loads(r.stdout)

    def setUp(self):
        self.ensure_server()

    # --- tests -------------------------------------------------------------------------------

    def test_usage_help_and_exit_status(self):
        verbs = ["ports", "channels", "cat", "send", "lines", "receive", "at", "dial", "terminal"]
        for verb in verbs:
            r = self.ctl(verb, "--help")
            self.assertEqual(r.returncode, 0, verb)
            self.assertIn(b"usage: tolvanctl " + verb.encode(), r.stdout)
        for bad in (["send", "COMx", "a"], ["lines", "COM1", "--dtr", "maybe"], ["cat"],
                    ["nosuchverb"], [], ["receive", "COM1"], ["send", "COM0", "a"]):
            r = self.ctl(*bad)
            self.assertEqual(r.returncode, 2, bad)
            self.assertIn(b"usage:", r.stderr)

    def test_ports_and_channels_list_what_the_server_has(self):
        # Activation found all three ports closed.
        first = {p["port"]: p for p in self.first_ports}
        self.assertEqual(first["COM1"]["device"], "loop://")
        self.assertEqual(first["COM2"]["device"], "sim://modem")
        self.assertEqual(first["COM3"]["device"], os.ttyname(self.slave))
        self.assertFalse(any(p["open"] for p in self.first_ports))

        obj, doc = self.channel()
        self.assertEqual(doc.ConnectToPort(1, 9600, ord("N"), 8, 1), 0)
        ports = {p["port"]: p for p in json.loads(self.ctl("ports", "--json").stdout)}
        self.assertTrue(ports["COM1"]["open"])
        self.assertEqual(len(ports["COM1"]["channels"]), 1)
        self.assertFalse(ports["COM2"]["open"])
        title = ports["COM1"]["channels"][0]

        r = self.ctl("channels", "--json")
        self.assertEqual(r.returncode, 0)
        channels = {c["path"]: c for c in json.loads(r.stdout)}
        mine = channels[str(obj.object_path)]
        self.assertEqual(mine["port"], 1)
        self.assertEqual(mine["class"], "RiVo32.Document")
        self.assertEqual(mine["title"], title)
        self.assertFalse(mine["window"])
        self.assertEqual(channels[str(self.keeper.object_path)]["port"], 0)

        table = self.ctl("ports").stdout.decode().splitlines()
        self.assertEqual(table[0].split(), ["PORT", "DEVICE", "STATE", "CHANNELS"])
        self.assertIn("COM1  loop://", table[1])
        self.assertIn("open", table[1])
        table = self.ctl("channels").stdout.decode()
        self.assertIn(str(obj.object_path), table)

    def test_send_from_argument_and_stdin_reaches_the_port(self):
        obj, doc = self.channel()
        self.assertEqual(doc.ConnectToPort(1, 9600, ord("N"), 8, 1), 0)
        # Room for all that comes back from the loop while this reader is not looking.
        obj.Set("RiVo32.Document", "RBuffSize", dbus.Int16(16384),
                dbus_interface="org.freedesktop.DBus.Properties")
        r = self.ctl("send", "COM1", "AT\\r\\x00\\xff!", "-e", "-v")
        self.assertEqual(r.returncode, 0, r.stderr.decode())
        self.assertIn(b"6 bytes sent to COM1", r.stdout)
        self.assertEqual(self.read_all(doc, 6), b"AT\r\x00\xff!")
        # More than one write's worth, every byte value, from standard input.
        data = bytes(range(256)) * 24
        r = self.ctl("send", "com1", "-", stdin=data)
        self.assertEqual(r.returncode, 0, r.stderr.decode())
        self.assertEqual(self.read_all(doc, len(data), 5000), data)

    def test_send_waits_for_the_write_lock_and_says_why_it_gave_up(self):
        _, holder = self.channel()
        self.assertEqual(holder.ConnectToPort(1, 9600, ord("N"), 8, 1), 0)
        holder.LockPort()
        r = self.ctl("send", "COM1", "x", "--timeout", "0.3")
        self.assertEqual(r.returncode, 1)
        self.assertIn(b"write lock", r.stderr)
        self.assertEqual(self.read_all(holder, 1, 300), b"")
        # Let go while a send waits: its bytes go out.
        late = self.start_ctl("send", "COM1", "late", "--timeout", "10")
        time.sleep(0.2)
        holder.UnlockPort()
        _, err = late.communicate(timeout=20)
        self.assertEqual(late.returncode, 0, err.decode())
        self.assertEqual(self.read_all(holder, 4), b"late")

    def test_failures_name_the_status_code_and_its_text(self):
        r = self.ctl("send", "COM9", "x")
        self.assertEqual(r.returncode, 1)
        self.assertRegex(r.stderr.decode(), r"COM9: cannot connect: status -2 \(.+\)")
        # No server and none to start.
        env = dict(self.env, DBUS_SESSION_BUS_ADDRESS="unix:path=" + self.tmp + "/nobus")
        r = subprocess.run([TOLVANCTL, "ports"], env=env, capture_output=True, timeout=30)
        self.assertEqual(r.returncode, 1)
        self.assertIn(b"tolvanctl: no session bus", r.stderr)

    def test_lines_sets_dtr_and_rts_and_shows_the_settings(self):
        r = self.ctl("lines", "COM1", "--dtr", "on", "--rts", "off", "--baud", "19200",
                     "--parity", "E", "--data-bits", "7", "--stop-bits", "2")
        self.assertEqual(r.returncode, 0, r.stderr.decode())
        self.assertEqual(r.stdout.decode().splitlines(),
                         ["COM1 19200,E,7,2 handshake none", "DTR on", "RTS off"])
        # --hold keeps the port open until interrupted.
        held = self.start_ctl("lines", "COM2", "--hold")
        self.assertTrue(held.stdout.readline().startswith(b"COM2 9600,N,8,1"))
        ports = {p["port"]: p for p in json.loads(self.ctl("ports", "--json").stdout)}
        self.assertTrue(ports["COM2"]["open"])
        held.send_signal(signal.SIGINT)
        held.communicate(timeout=20)
        self.assertEqual(held.returncode, 0)
        ports = {p["port"]: p for p in json.loads(self.ctl("ports", "--json").stdout)}
        self.assertFalse(ports["COM2"]["open"])

    def test_at_prints_the_modem_answer_and_fails_on_error(self):
        r = self.ctl("at", "COM2", "S7=45")
        self.assertEqual(r.returncode, 0, r.stderr.decode())
        self.assertEqual(r.stdout.decode().splitlines(), ["OK"])
        r = self.ctl("at", "COM2", "ATS7?")
        self.assertEqual(r.returncode, 0, r.stderr.decode())
        self.assertEqual(r.stdout.decode().splitlines()[-1], "OK")
        r = self.ctl("at", "COM2", "AT" + "9" * 300)
        self.assertEqual(r.returncode, 1)
        self.assertIn(b"ERROR", r.stdout)
        self.assertIn(b"the modem answered ERROR", r.stderr)
        # Nothing answers on a loopback: the time-out names "No modem response".
        r = self.ctl("at", "COM1", "Z", "--wait", "0.3")
        self.assertEqual(r.returncode, 1)
        self.assertRegex(r.stderr.decode(), r"status -23 \(.+\)")

    def test_dial_connects_through_the_modem(self):
        r = self.ctl("dial", "COM2", "5551234")
        self.assertEqual(r.returncode, 0, r.stderr.decode())
        self.assertTrue(r.stdout.decode().splitlines()[-1].startswith("CONNECT"))

    def receive_from_sx(self, size, sx_options, name, on_terminal=False):
        source = os.path.join(self.tmp, name + ".src")
        with open(source, "wb") as f:
            f.write(os.urandom(size))
        sender = subprocess.Popen(["sx", "-q"] + sx_options + [source], stdin=self.master,
                                  stdout=self.master, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: sender.poll() is None and sender.kill())
        target = os.path.join(self.tmp, name + ".out")
        progress_master, progress_slave = os.openpty() if on_terminal else (None, None)
        # A relative name: the server writes where tolvanctl stands, not where it runs.
        r = subprocess.run([TOLVANCTL, "receive", "COM3", name + ".out", "--length", str(size)],
                           env=self.env, cwd=self.tmp, stdout=subprocess.PIPE,
                           stderr=progress_slave if on_terminal else subprocess.PIPE,
                           timeout=120)
        if on_terminal:
            os.close(progress_slave)
            progress = b""
            while select.select([progress_master], [], [], 0.2)[0]:
                try:
                    chunk = os.read(progress_master, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                progress += chunk
            os.close(progress_master)
        else:
            progress = r.stderr
        self.assertEqual(r.returncode, 0, progress.decode())
        self.assertEqual(sender.wait(30), 0)
        with open(source, "rb") as a, open(target, "rb") as b:
            self.assertEqual(a.read(), b.read())
        self.assertIn(("%s: %d bytes received" % (target, size)).encode(), r.stdout)
        return progress.decode()

    def test_receive_takes_a_file_from_a_real_xmodem_sender(self):
        # Not a terminal: plain progress lines, the last one the whole count acknowledged.
        lines = self.receive_from_sx(3000, [], "small").splitlines()
        self.assertEqual(lines[-1], "3072 bytes")  # 24 blocks of 128
        # 1024-byte blocks, progress on a terminal: a bar redrawn in place up to 100 %.
        bar = self.receive_from_sx(5000, ["-k"], "large", on_terminal=True)
        self.assertIn("\r[", bar)
        self.assertIn("100%", bar.rstrip().split("\r")[-1])

    def read_stream(self, proc_or_fd, want, limit=10.0, send=None):
        """Bytes from a pipe or terminal until `want` is among them; `send` is called
        every 0.2 s meanwhile (bytes sent before the reader was attached are lost)."""
        fd = proc_or_fd if isinstance(proc_or_fd, int) else proc_or_fd.stdout.fileno()
        got = b""
        deadline = time.monotonic() + limit
        next_send = 0.0
        while want not in got and time.monotonic() < deadline:
            if send and time.monotonic() >= next_send:
                send()
                next_send = time.monotonic() + 0.2
            ready, _, _ = select.select([fd], [], [], 0.05)
            if ready:
                chunk = os.read(fd, 65536)
                if not chunk:
                    break
                got += chunk
        return got

    def test_cat_copies_what_the_port_receives_until_interrupted(self):
        _, doc = self.channel()
        self.assertEqual(doc.ConnectToPort(1, 9600, ord("N"), 8, 1), 0)
        cat = self.start_ctl("cat", "COM1")
        ping = lambda: doc.WriteToPort(dbus.ByteArray(b"ping."), 5)
        self.assertIn(b"ping.", self.read_stream(cat, b"ping.", send=ping))
        # From now on every byte, in order, binary too.
        data = bytes(range(256)) * 4 + b"END"
        for i in range(0, len(data), 500):
            chunk = data[i:i + 500]
            self.assertEqual(doc.WriteToPort(dbus.ByteArray(chunk), len(chunk))[0], len(chunk))
        got = self.read_stream(cat, b"END")
        self.assertTrue(got.endswith(data), got[-40:])
        cat.send_signal(signal.SIGINT)
        out, err = cat.communicate(timeout=20)
        self.assertEqual(cat.returncode, 0, err.decode())

    def test_terminal_is_a_channel_until_interrupted(self):
        _, watcher = self.channel()
        self.assertEqual(watcher.ConnectToPort(1, 9600, ord("N"), 8, 1), 0)
        term = self.start_ctl("terminal", "COM1")
        path = term.stdout.readline().decode().strip()
        self.assertTrue(path.startswith("/"), path)
        fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
        try:
            # What the program writes goes out on the port (a loop here) and comes back.
            self.assertIn(b"over", self.read_stream(fd, b"over", send=lambda: os.write(fd, b"over")))
            self.assertIn(b"over", self.read_all(watcher, 4))
            ports = {p["port"]: p for p in json.loads(self.ctl("ports", "--json").stdout)}
            self.assertEqual(len(ports["COM1"]["channels"]), 2)
        finally:
            os.close(fd)
        term.send_signal(signal.SIGINT)
        _, err = term.communicate(timeout=20)
        self.assertEqual(term.returncode, 0, err.decode())
        ports = {p["port"]: p for p in json.loads(self.ctl("ports", "--json").stdout)}
        self.assertEqual(len(ports["COM1"]["channels"]), 1)


if __name__ == "__main__":
    unittest.main(verbosity=2)
