#!/usr/bin/env python3
"""The far end of a COM port for a Windows test under Wine: a pseudo-terminal that the Wine prefix maps to
COM5, and a peer on its other side that answers what the program sends.

    com_peer.py WINE_RUN PROGRAM [ARGS...]

The peer echoes every byte it receives, except for its commands, each a line of its own:
  "!burst N"   sends N lines "line 1" ... "line N" in one write
  "!hangup"    closes its side: the port hangs up, as a removed USB device does
It ends with the program and exits with the program's status. A terminal that hangs up while Wine holds
it has the wineserver print its whole state: those lines are left out of what the program prints.
"""

import os
import pty
import re
import select
import subprocess
import sys
import threading
import tty

DUMP = re.compile(rb"^\s*(0x)?[0-9a-f]+:(\d+:)? ")


def pass_on(stream, to):
    for line in iter(stream.readline, b""):
        if not DUMP.match(line):
            to.write(line)
            to.flush()


def main():
    wine_run, program = sys.argv[1], sys.argv[2:]
    prefix = os.environ.get("WINEPREFIX") or os.path.join(
        os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "q5tool", "wine")
    os.makedirs(os.path.join(prefix, "dosdevices"), exist_ok=True)
    master, slave = pty.openpty()
    tty.setraw(slave)
    link = os.path.join(prefix, "dosdevices", "com5")
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(os.ttyname(slave), link)
    env = dict(os.environ, WINEPREFIX=prefix)
    proc = subprocess.Popen([wine_run] + program, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    passing = [threading.Thread(target=pass_on, args=(stream, to), daemon=True)
               for stream, to in ((proc.stdout, sys.stdout.buffer), (proc.stderr, sys.stderr.buffer))]
    for thread in passing:
        thread.start()
    pending = b""
    try:
        while proc.poll() is None:
            if master < 0:
                proc.wait()
                break
            readable, _, _ = select.select([master], [], [], 0.1)
            if not readable:
                continue
            try:
                data = os.read(master, 4096)
            except OSError:
                continue  # no opener on the terminal's side yet, or between two
            pending += data
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                if line.startswith(b"!burst "):
                    count = int(line.split()[1])
                    os.write(master, b"".join(b"line %d\n" % i for i in range(1, count + 1)))
                elif line == b"!hangup":
                    os.close(master)
                    os.close(slave)
                    master = -1
                    break
                else:
                    os.write(master, line + b"\n")
    finally:
        if proc.poll() is None:
            proc.kill()
        # The terminal stays open until Wine has let go of it: a terminal that hangs up under a live
        # wineserver has it print its whole state.
        status = proc.wait()
        subprocess.run(["wineserver", "-w"], env=env)
        if master >= 0:
            os.close(master)
        os.remove(link)
        for thread in passing:
            thread.join(10)
    return status


if __name__ == "__main__":
    sys.exit(main())
