#!/usr/bin/env python3
"""The viewer end to end: a written card, the program under its own Xvfb display with the SDL
presenter, driven by xdotool, its screen read back by region. Usage: e2e.py BIN_DIR WORK_DIR.
Exits 77 (skipped) when Xvfb, xdotool or libX11 (which drops the files, through xdnd.py) is
missing, or neither libX11 nor xwd is there to read the screen, except under CI (CI set in the
environment), where the install script must have put them in and a missing tool fails the test.

Every wait is a bounded poll of the screen; the captures of each step land in WORK_DIR."""
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xdnd  # noqa: E402
import xshot  # noqa: E402

SKIP = 77
# Where the main dialog's parts sit on the 1920x1080 screen (the dialog opens at the top left,
# at 100 percent scale, so design units are pixels).
FIRST_ROW = (732, 480)              # first recording of the Continuous list
ROW_TEXT = (655, 472, 60, 16)       # the start of the first row's title, left of the splash
ROW_PITCH = 20                      # the list's rows lie 20 pixels apart; it shows 10 whole rows
LIST_ROWS = 5                       # the card's Continuous list: three fronts and two rears
DROP_POINT = (732, 650)             # in the list, below its rows
FRONT_SKY = (60, 150, 400, 60)      # the sky of the front picture
REAR_SKY = (760, 150, 200, 40)      # the sky of the rear picture, in the right-hand window
COUNTER = (2, 112, 138, 64)         # the frame number burnt into the sample's front picture
CLOSE = (934, 13)
SWAP = (623, 90)                    # the swap button beside "Front"
FULL_SCREEN = (592, 90)             # the full-screen button beside the swap button
MAP_TOGGLE = (661, 367)             # the fold button before "Map": the map in the rear view's place
REAR_TOGGLE = (661, 90)             # with the map shown, the fold button before "Rear" takes it back
MAP_AREA = (645, 110, 318, 238)     # where the map page (or the rear view) is shown
SEEK_ROW, SEEK_LEFT, SEEK_RIGHT = 471, 0, 641   # the seek bar's fill runs along this row
BACK_10, FORWARD_10 = (190, 539), (455, 539)
# Outside the dialog: black while the dialog is shown, covered by the splash at start and by
# the picture in full screen.
SPLASH_CIRCLES = (1000, 390, 190, 300)
OUTSIDE = (1200, 200, 500, 100)
# The full-screen caption's restore button, top right (the bar is the screen's width).
CAPTION_RESTORE = (1831, 13)

started = []                        # every process this run started, ended on any exit path


def fail(msg):
    raise AssertionError(msg)


def poll(what, check, timeout=20.0, every=0.1):
    end = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > end:
            fail("timed out waiting for " + what)
        time.sleep(every)


def blueish(r, g, b):
    return b > 150 and r < 120


def make_card(mkcard, card):
    # The sample card, whose first pair is rewritten 30 s long (the others stay 3 s), so that
    # seeking and the 10-second steps have room while the card stays quick to write.
    subprocess.run([mkcard, "card", card], check=True, stdout=subprocess.DEVNULL, timeout=300)
    subprocess.run([mkcard, "single", "pair", os.path.join(card, "cont_rec"), "--seconds", "30"],
                   check=True, stdout=subprocess.DEVNULL, timeout=300)


def make_dropped(mkcard, folder, count):
    """Front recordings outside the card, in a folder named as a card's continuous one, later
    than every recording of the card so that they list after it: the first one written by
    mkcard, the rest copies of it under the following minutes' names."""
    names = [os.path.join(folder, "REC_2026_05_14_09_%02d_00_F.mp4" % i) for i in range(count)]
    subprocess.run([mkcard, "single", "normal", names[0], "--seconds", "10"], check=True,
                   stdout=subprocess.DEVNULL, timeout=300)
    for name in names[1:]:
        shutil.copyfile(names[0], name)
    return names


def start_xvfb():
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
    return ":" + number.decode().strip()


def main(bin_dir, work):
    missing = [tool for tool in ("Xvfb", "xdotool") if not shutil.which(tool)]
    if not xshot.can_capture():
        missing.append("libX11 (or xwd)")
    if not xdnd.available():
        missing.append("libX11")
    if missing:
        if os.environ.get("CI"):
            print("e2e: %s is not installed, and CI runs every suite" % missing[0])
            return 1
        print("e2e: %s is not installed, skipping" % missing[0])
        return SKIP
    began = time.monotonic()
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    card, home = os.path.join(work, "card"), os.path.join(work, "home")
    os.makedirs(home)
    make_card(os.path.join(bin_dir, "mkcard"), card)
    dropped = make_dropped(os.path.join(bin_dir, "mkcard"), os.path.join(work, "files", "cont_rec"), 8)
    display = start_xvfb()
    screen = xshot.Display(display)

    # No session bus on a bare display: SDL would have libdbus start one, and the helper it
    # forks from a sanitized, threaded program can hang in the allocator before it runs.
    env = dict(os.environ, DISPLAY=display, PLATFORM_PRESENTER="sdl", PLATFORM_AUDIO="null",
               PLATFORM_HOME=home, PLATFORM_REMOVABLE_DRIVES=card, XDG_CONFIG_HOME=home,
               DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(work, "no-bus"))
    env.pop("WAYLAND_DISPLAY", None)
    shot_no = [0]

    def shot(name=None):
        s = screen.grab()
        if name:
            shot_no[0] += 1
            s.save_png(os.path.join(work, "%02d-%s.png" % (shot_no[0], name)))
        return s

    def region(box):
        return screen.grab(*box)

    def xdo(*args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=env, check=True, timeout=20)

    def point(x, y):
        # The presenter takes a click where the last motion left the pointer: move there first.
        xdo("mousemove", x - 3, y - 3)
        time.sleep(0.1)
        xdo("mousemove", x, y)
        time.sleep(0.2)

    def click(x, y, times=1):
        point(x, y)
        xdo("click", "--repeat", times, "--delay", 80, 1)

    def start():
        p = subprocess.Popen([os.path.join(bin_dir, "tessaly")], env=env, stdout=open(os.path.join(work, "viewer.log"), "ab"),
                             stderr=subprocess.STDOUT)
        started.append(p)
        return p

    def row_box(row, width=60):
        """The start of the title of the list's row (0 the top one), or `width` pixels of it."""
        x, y, _, h = ROW_TEXT
        return (x, y + row * ROW_PITCH, width, h)

    def title(row):
        """The pixels of the row's whole title."""
        box = row_box(row, 160)
        return region(box).region(*box)

    def differ(a, b):
        """How many pixels of two same-sized pictures differ."""
        return sum(1 for i in range(0, len(a) - 2, 3) if abs(a[i] - b[i]) + abs(a[i + 1] - b[i + 1]) + abs(a[i + 2] - b[i + 2]) > 30)

    def row_text(row=0):
        box = row_box(row)
        return region(box).distinct(*box, step=1) > 4

    def front_sky():
        return region(FRONT_SKY).mean(*FRONT_SKY)[2] > 150

    def rear_sky(box):
        r, g, b = region(box).mean(*box)
        return r > 150 and b < 120

    def seek_fill():
        """Where the seek bar's fill ends (pixels from its left end), -1 without a fill."""
        box = (SEEK_LEFT, SEEK_ROW, SEEK_RIGHT - SEEK_LEFT, 1)
        rgb = region(box).region(*box)
        ends = [i // 3 for i in range(0, len(rgb), 3) if blueish(rgb[i], rgb[i + 1], rgb[i + 2])]
        return max(ends) if ends else -1

    def outside_dark():
        return max(region(OUTSIDE).mean(*OUTSIDE)) < 20

    viewer = start()
    step = "start"
    try:
        # The splash first, alone on the screen: its rings lie beyond the dialog's right edge.
        poll("the splash", lambda: region(SPLASH_CIRCLES).distinct(*SPLASH_CIRCLES) > 8, timeout=60, every=0.02)
        shot("splash")

        step = "lists"
        # The card's lists fill in once the splash has gone (until then it covers the list).
        poll("the card's lists", lambda: row_text() and max(region(SPLASH_CIRCLES).mean(*SPLASH_CIRCLES)) < 5,
             timeout=60)
        shot("lists")

        step = "play"
        # A single double click, as soon as the list is there, plays the first recording: the
        # road's sky fills the front picture and the burnt-in frame number moves on.
        click(*FIRST_ROW, times=2)
        poll("a picture in the front window after a double click", front_sky, timeout=30)
        a = shot("playing")
        poll("the front picture to change", lambda: a.changed(region(COUNTER), *COUNTER, step=2) > 0.02, timeout=10)
        # The rear picture, with its orange sky, plays in the right-hand window beside it, not
        # hidden behind the map's placeholder.
        poll("the rear picture in the right-hand window", lambda: rear_sky(REAR_SKY), timeout=10)

        step = "swap"
        # The swap button beside "Front" puts the rear picture on the left; a second swap takes
        # it away again.
        click(*SWAP)
        poll("the rear picture on the left after a swap", lambda: rear_sky(FRONT_SKY), timeout=10)
        shot("swapped")
        click(*SWAP)
        poll("the rear picture off the left after a second swap", lambda: not rear_sky(FRONT_SKY), timeout=10)

        step = "seek"
        # A click on the seek bar a quarter along moves the fill (and the time) there.
        target = (SEEK_RIGHT - SEEK_LEFT) // 4
        click(SEEK_LEFT + target, SEEK_ROW)
        poll("the seek bar's fill at the clicked point", lambda: abs(seek_fill() - target) < 30, timeout=10)
        shot("seeked")

        step = "10 s steps"
        # Forward 10 s moves the fill a third of the 30 s bar on; back 10 s moves it back.
        third = (SEEK_RIGHT - SEEK_LEFT) // 3
        for button, sign, name in ((FORWARD_10, 1, "forward"), (BACK_10, -1, "back")):
            before = seek_fill()
            time.sleep(0.5)  # the buttons ignore a click within 400 ms of the last
            click(*button)
            poll("the seek bar to move " + name + " 10 s",
                 lambda: 0.7 * third < sign * (seek_fill() - before) < 1.5 * third, timeout=10)
            shot(name + "-10s")

        step = "map"
        # The fold button before "Map" shows the map page in place of the rear view; the track
        # of the recording's GPS fixes is drawn on it in red, over the page's light ground.
        click(*MAP_TOGGLE)

        def track_drawn():
            return region(MAP_AREA).count(*MAP_AREA, lambda r, g, b: r > 180 and g < 170 and b < 170 and r - g > 60) > 20
        poll("the map track on the map page", track_drawn, timeout=20)
        shot("map")
        click(*REAR_TOGGLE)
        poll("the rear picture back in place of the map", lambda: rear_sky(REAR_SKY), timeout=10)

        step = "full screen"
        # The full-screen button spreads the picture over the whole screen; Ctrl+Enter leaves
        # full screen, and so does the restore button of the caption along the top.
        for leave in ("ctrl+Return", "restore"):
            click(*FULL_SCREEN)
            poll("the picture over the whole screen", lambda: region(OUTSIDE).mean(*OUTSIDE)[2] > 150, timeout=10)
            shot("full-screen")
            if leave == "restore":
                # The caption shows again with the next mouse movement.
                xdo("mousemove", 1000, 500)
                time.sleep(0.2)
                click(*CAPTION_RESTORE)
            else:
                xdo("key", leave)
            poll("the dialog back after leaving full screen by " + leave,
                 lambda: outside_dark() and front_sky(), timeout=10)
        shot("full-screen-left")

        step = "card"
        # The card's folder taken away: the viewer stops, its lists empty and neither window
        # keeps a picture; back in its place, the lists come back.
        os.rename(card, card + ".out")
        poll("the lists to empty after the card was removed", lambda: not row_text(), timeout=20)
        poll("both pictures gone after the card was removed",
             lambda: not front_sky() and not rear_sky(REAR_SKY), timeout=10)
        shot("card-removed")
        os.rename(card + ".out", card)
        poll("the lists to come back after the card was inserted", row_text, timeout=20)
        shot("card-inserted")

        step = "drop"
        # A recording dragged from elsewhere and let go over the list joins it, in the row after
        # the card's recordings; a double click plays it. (The player stopped when the card went.)
        if row_text(LIST_ROWS) or front_sky():
            fail("a row after the card's recordings, or a picture, before anything was dropped")
        xdnd.drop_files(display, dropped[:1], *DROP_POINT, timeout=20)
        poll("the dropped recording in the list", lambda: row_text(LIST_ROWS), timeout=10)
        shot("dropped")
        click(FIRST_ROW[0], FIRST_ROW[1] + LIST_ROWS * ROW_PITCH, times=2)
        poll("the dropped recording playing after a double click, its fill moving along the seek bar",
             lambda: front_sky() and seek_fill() > 10, timeout=30)
        a = shot("dropped-playing")
        poll("the dropped recording's picture to change",
             lambda: a.changed(region(COUNTER), *COUNTER, step=2) > 0.02, timeout=10)

        step = "wheel"
        # More recordings dropped at once make the list longer than its window. One notch of the
        # wheel down over the list scrolls it two rows (the third row's title comes to the top);
        # a notch up scrolls it back.
        xdnd.drop_files(display, dropped[1:], *DROP_POINT, timeout=20)
        poll("the list filled past its window", lambda: row_text(9), timeout=10)
        before = [title(r) for r in range(3)]
        point(*DROP_POINT)
        xdo("click", 5)
        poll("the list scrolled two rows by the wheel",
             lambda: differ(title(0), before[0]) > 8 and differ(title(0), before[2]) < 3, timeout=10)
        shot("wheel-down")
        xdo("click", 4)
        poll("the list scrolled back by the wheel", lambda: differ(title(0), before[0]) < 3, timeout=10)

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
    finally:
        screen.close()
    print("e2e: all journeys passed in %.0f s; captures in %s" % (time.monotonic() - began, work))
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
