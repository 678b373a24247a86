"""Captures of an X display: the root window's pixels (all of them, or one rectangle) read straight
from the X server through libX11, read by region (only the rows a check looks at are converted),
regions compared, and a PNG written for a person to look at. Where libX11 cannot be loaded, xwd's
dump of the whole root window is read instead."""
import ctypes
import ctypes.util
import shutil
import struct
import subprocess
import zlib


class Shot:
    def __init__(self, width, height, data, at, bytes_per_line, lsb_first, left=0, top=0):
        # data[at:] holds the rows of 32-bit pixels 0x00RRGGBB, bytes_per_line apart; in
        # LSB-first order the bytes of a pixel are B G R X. (left, top) is where the picture's
        # first pixel sits on the screen: regions are asked for in screen coordinates.
        self.width, self.height, self.left, self.top = width, height, left, top
        self._data, self._at, self._stride = data, at, bytes_per_line
        self._order = (2, 1, 0) if lsb_first else (1, 2, 3)

    def _rows(self, x, y, w, h):
        """RGB bytes, 3 per pixel, of the rectangle (screen coordinates) clipped to the picture."""
        x, y = x - self.left, y - self.top
        if x < 0:
            w, x = w + x, 0
        if y < 0:
            h, y = h + y, 0
        w, h = min(w, self.width - x), min(h, self.height - y)
        if w <= 0 or h <= 0:
            return b""
        r_i, g_i, b_i = self._order
        out = bytearray(3 * w * h)
        for r in range(h):
            start = self._at + (y + r) * self._stride + 4 * x
            row = self._data[start:start + 4 * w]
            o = 3 * w * r
            out[o:o + 3 * w:3] = row[r_i::4]
            out[o + 1:o + 3 * w:3] = row[g_i::4]
            out[o + 2:o + 3 * w:3] = row[b_i::4]
        return bytes(out)

    def pixel(self, x, y):
        return tuple(self._rows(x, y, 1, 1))

    def region(self, x, y, w, h):
        return self._rows(x, y, w, h)

    def mean(self, x, y, w, h):
        data = self.region(x, y, w, h)
        n = max(1, len(data) // 3)
        return tuple(sum(data[i::3]) / n for i in range(3))

    def count(self, x, y, w, h, test, step=1):
        """How many pixels of the region (every `step`-th one) satisfy test(r, g, b)."""
        data = self.region(x, y, w, h)
        return sum(1 for i in range(0, len(data) - 2, 3 * step) if test(data[i], data[i + 1], data[i + 2]))

    def changed(self, other, x, y, w, h, step=7):
        """Share of sampled pixels of the region that differ between two captures."""
        a, b = self.region(x, y, w, h), other.region(x, y, w, h)
        idx = range(0, min(len(a), len(b)) - 2, 3 * step)
        diff = sum(1 for i in idx if abs(a[i] - b[i]) + abs(a[i + 1] - b[i + 1]) + abs(a[i + 2] - b[i + 2]) > 30)
        return diff / max(1, len(idx))

    def distinct(self, x, y, w, h, step=5):
        data = self.region(x, y, w, h)
        return len({data[i:i + 3] for i in range(0, len(data) - 2, 3 * step)})

    def save_png(self, path):
        rgb = self._rows(self.left, self.top, self.width, self.height)
        raw = b"".join(b"\0" + rgb[3 * self.width * r:3 * self.width * (r + 1)] for r in range(self.height))

        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xffffffff)
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0))
                    + chunk(b"IDAT", zlib.compress(raw, 3)) + chunk(b"IEND", b""))


def parse_xwd(data):
    fields = struct.unpack(">25I", data[:100])
    header_size, version, pixmap_format, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    ncolors = fields[19]
    if version != 7 or pixmap_format != 2 or bits_per_pixel != 32:
        raise ValueError("unexpected xwd dump: version %d format %d bpp %d" % (version, pixmap_format, bits_per_pixel))
    return Shot(width, height, data, header_size + 12 * ncolors, bytes_per_line, byte_order == 0)


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


class Display:
    """One connection to the X server, kept open: a grab is a single request, quick enough to
    poll something that is on the screen for a fraction of a second."""
    ZPIXMAP, ALL_PLANES = 2, 0xffffffffffffffff

    def __init__(self, name):
        self.name = name
        self._x = None
        path = ctypes.util.find_library("X11")
        if not path:
            return
        x = ctypes.CDLL(path)
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.POINTER(_XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._dpy = x.XOpenDisplay(name.encode())
        if not self._dpy:
            raise RuntimeError("cannot open the X display " + name)
        self._x, self._root = x, x.XDefaultRootWindow(self._dpy)
        x.XDisplayWidth.argtypes = x.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.width, self.height = x.XDisplayWidth(self._dpy, 0), x.XDisplayHeight(self._dpy, 0)

    def grab(self, x=0, y=0, w=None, h=None):
        """The screen, or the rectangle (x, y, w, h) of it, as a Shot in screen coordinates."""
        if self._x is None:
            return capture_xwd(self.name)
        # A rectangle outside the root would be an X error, which ends the program.
        x, y = min(max(0, x), self.width - 1), min(max(0, y), self.height - 1)
        w = self.width - x if w is None else max(1, min(w, self.width - x))
        h = self.height - y if h is None else max(1, min(h, self.height - y))
        image = self._x.XGetImage(self._dpy, self._root, x, y, w, h, self.ALL_PLANES, self.ZPIXMAP)
        if not image:
            raise RuntimeError("XGetImage failed")
        try:
            im = image.contents
            if im.bits_per_pixel != 32:
                raise ValueError("unexpected X image: %d bits per pixel" % im.bits_per_pixel)
            data = ctypes.string_at(im.data, im.bytes_per_line * im.height)
            return Shot(im.width, im.height, data, 0, im.bytes_per_line, im.byte_order == 0, x, y)
        finally:
            self._x.XFree(image.contents.data)
            self._x.XFree(image)

    def close(self):
        if self._x is not None:
            self._x.XCloseDisplay(self._dpy)
            self._x = None


def can_capture():
    return bool(ctypes.util.find_library("X11") or shutil.which("xwd"))


def capture_xwd(display):
    data = subprocess.run(["xwd", "-root", "-silent", "-display", display], check=True,
                          stdout=subprocess.PIPE, timeout=20).stdout
    return parse_xwd(data)
