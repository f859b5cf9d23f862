#!/usr/bin/env python3
"""Saves a screenshot of each new frame that appears on the X display.

    capture-frames.py FOLDER COUNT PID [TIMEOUT_S]

Looks at the screen a few times a second and saves frame-01.png, frame-02.png, ... whenever
it differs from the last saved one and is not all black, until COUNT frames are saved, the
process PID ends or the time is up. Prints the number of frames saved.
"""

import os
import subprocess
import sys
import time


def grab():
    result = subprocess.run(["import", "-silent", "-window", "root", "-depth", "8", "ppm:-"],
                            capture_output=True, timeout=30)
    return result.stdout if result.returncode == 0 else None


def pixels(ppm):
    # The header is "P6 <w> <h> 255" with single white space after each field.
    fields, pos = 0, 0
    while fields < 4:
        while ppm[pos:pos + 1].isspace():
            pos += 1
        while not ppm[pos:pos + 1].isspace():
            pos += 1
        fields += 1
    return ppm[pos + 1:]


def alive(pid):
    try:
        os.kill(pid, 0)
    except OSError:
        return False
    # A finished child that nobody waited for yet is a zombie: gone for our purpose.
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().split(")")[-1].split()[0] != "Z"
    except OSError:
        return False


def main():
    folder, count, pid = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    timeout = float(sys.argv[4]) if len(sys.argv) > 4 else 120.0
    os.makedirs(folder, exist_ok=True)
    last = None
    saved = 0
    end = time.monotonic() + timeout
    while saved < count and time.monotonic() < end and alive(pid):
        shot = grab()
        if shot:
            data = pixels(shot)
            if data != last and data.count(0) != len(data):
                saved += 1
                name = os.path.join(folder, "frame-%02d.png" % saved)
                subprocess.run(["convert", "ppm:-", name], input=shot, check=True)
                print("saved", name, flush=True)
                last = data
        time.sleep(0.2)
    return 0 if saved else 1


if __name__ == "__main__":
    sys.exit(main())
