#!/usr/bin/env python3
"""The viewer end to end: a written card, the program under its own Xvfb display with the SDL
presenter, driven by xdotool, its screen read back by region. Usage: e2e.py BIN_DIR WORK_DIR.
Exits 77 (skipped) when Xvfb, xdotool or xwd is missing, except under CI (CI set in the environment),
where the install script must have put them in and a missing tool fails the test."""
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xshot  # noqa: E402

SKIP = 77
# Where the main dialog's parts sit on the 1920x1080 screen (the dialog opens at the top left).
FIRST_ROW = (732, 480)              # first recording of the Continuous list
LIST = (655, 470, 290, 100)         # the list's rows
FRONT = (5, 112, 630, 350)          # front picture
COUNTER = (2, 112, 138, 64)         # the frame number burnt into the sample's front picture
CLOSE = (934, 13)
SWAP = (623, 90)                    # the swap button beside "Front"

started = []                        # every process this run started, ended on any exit path


def fail(msg):
    raise AssertionError(msg)


def poll(what, check, timeout=20.0, every=0.25):
    end = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > end:
            fail("timed out waiting for " + what)
        time.sleep(every)


def main(bin_dir, work):
    for tool in ("Xvfb", "xdotool", "xwd"):
        if not shutil.which(tool):
            if os.environ.get("CI"):
                print("e2e: %s is not installed, and CI runs every suite" % tool)
                return 1
            print("e2e: %s is not installed, skipping" % tool)
            return SKIP
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    card, home = os.path.join(work, "card"), os.path.join(work, "home")
    os.makedirs(home)
    subprocess.run([os.path.join(bin_dir, "mkcard"), "card", card], check=True, stdout=subprocess.DEVNULL, timeout=300)

    rfd, wfd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(wfd), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                            pass_fds=(wfd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    started.append(xvfb)
    os.close(wfd)
    number = b""
    end = time.monotonic() + 20
    while not number.endswith(b"\n") and time.monotonic() < end:
        chunk = os.read(rfd, 16)
        if not chunk:
            break
        number += chunk
    os.close(rfd)
    if not number.strip():
        fail("Xvfb gave no display number")
    display = ":" + number.decode().strip()

    env = dict(os.environ, DISPLAY=display, PLATFORM_PRESENTER="sdl", PLATFORM_AUDIO="null",
               PLATFORM_HOME=home, PLATFORM_REMOVABLE_DRIVES=card, XDG_CONFIG_HOME=home)
    env.pop("WAYLAND_DISPLAY", None)
    shot_no = [0]

    def shot(name=None):
        s = xshot.capture(display)
        if name:
            shot_no[0] += 1
            s.save_png(os.path.join(work, "%02d-%s.png" % (shot_no[0], name)))
        return s

    def xdo(*args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=env, check=True, timeout=20)

    def click(x, y, times=1):
        # The presenter takes a click where the last motion left the pointer: move there first.
        xdo("mousemove", x - 3, y - 3)
        time.sleep(0.2)
        xdo("mousemove", x, y)
        time.sleep(0.3)
        xdo("click", "--repeat", times, "--delay", 80, 1)

    def start():
        p = subprocess.Popen([os.path.join(bin_dir, "tessaly")], env=env, stdout=open(os.path.join(work, "viewer.log"), "ab"),
                             stderr=subprocess.STDOUT)
        started.append(p)
        return p

    viewer = start()
    step = "start"
    try:
        # The card's lists fill in: the first rows carry text.
        poll("the card's lists", lambda: shot().distinct(*LIST) > 6, timeout=60)
        shot("lists")

        step = "play"
        # The road's sky fills the front picture and the burnt-in frame number moves on. The
        # list takes its first double click only once the program has settled after start-up,
        # so the double click is given again while nothing plays.
        def picture():
            return shot().mean(60, 150, 400, 60)[2] > 150

        def double_click_plays():
            click(*FIRST_ROW, times=2)
            try:
                return poll("a picture", picture, timeout=5)
            except AssertionError:
                return False
        poll("a picture in the front window after a double click", double_click_plays, timeout=40, every=0)
        a = shot("playing")
        poll("the front picture to change", lambda: a.changed(shot(), *COUNTER, step=2) > 0.02, timeout=10)
        # The rear picture, with its orange sky, plays in the right-hand window beside it, not
        # hidden behind the map's placeholder.
        def rear_on_right():
            r, g, b = shot().mean(760, 150, 200, 40)
            return r > 150 and b < 120
        poll("the rear picture in the right-hand window", rear_on_right, timeout=10)

        step = "swap"
        # The swap button beside "Front" puts the rear picture, with its orange sky, on the left;
        # a second swap takes it away again.
        def rear_on_left():
            r, g, b = shot().mean(60, 150, 400, 60)
            return r > 150 and b < 120
        click(*SWAP)
        poll("the rear picture on the left after a swap", rear_on_left, timeout=10)
        shot("swapped")
        click(*SWAP)
        poll("the rear picture off the left after a second swap", lambda: not rear_on_left(), timeout=10)

        step = "single instance"
        second = start()
        try:
            second.wait(timeout=30)
        except subprocess.TimeoutExpired:
            fail("a second viewer kept running beside the first")
        if viewer.poll() is not None:
            fail("the first viewer ended when a second one started")

        step = "exit"
        click(*CLOSE)
        try:
            code = viewer.wait(timeout=30)
        except subprocess.TimeoutExpired:
            fail("the viewer did not end after its close button")
        if code != 0:
            fail("the viewer ended with exit code %d" % code)
    except Exception as e:
        try:
            shot("failed")
        except Exception:
            pass
        print("e2e: %s: %s (captures and viewer.log in %s)" % (step, e, work))
        return 1
    print("e2e: all journeys passed; captures in " + work)
    return 0


def cleanup():
    for p in reversed(started):
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        rc = main(sys.argv[1], sys.argv[2])
    finally:
        cleanup()
    sys.exit(rc)
