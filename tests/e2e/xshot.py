"""Captures of an X display: xwd's dump of the root window read into rows of RGB, regions compared,
and a PNG written for a person to look at."""
import struct
import subprocess
import zlib


class Shot:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb  # rgb: bytes, 3 per pixel

    def pixel(self, x, y):
        at = 3 * (y * self.width + x)
        return tuple(self.rgb[at:at + 3])

    def region(self, x, y, w, h):
        x, y = max(0, x), max(0, y)
        w, h = min(w, self.width - x), min(h, self.height - y)
        return b"".join(self.rgb[3 * ((y + r) * self.width + x):3 * ((y + r) * self.width + x + w)]
                        for r in range(h))

    def mean(self, x, y, w, h):
        data = self.region(x, y, w, h)
        n = max(1, len(data) // 3)
        return tuple(sum(data[i::3]) / n for i in range(3))

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
        raw = b"".join(b"\0" + self.rgb[3 * self.width * r:3 * self.width * (r + 1)] for r in range(self.height))

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
    at = header_size + 12 * ncolors
    rgb = bytearray(3 * width * height)
    # 32-bit pixels 0x00RRGGBB; in LSB-first order the bytes are B G R X.
    b_i, g_i, r_i = (0, 1, 2) if byte_order == 0 else (3, 2, 1)
    for r in range(height):
        row = data[at + r * bytes_per_line: at + r * bytes_per_line + 4 * width]
        out = 3 * width * r
        rgb[out:out + 3 * width:3] = row[r_i::4]
        rgb[out + 1:out + 3 * width:3] = row[g_i::4]
        rgb[out + 2:out + 3 * width:3] = row[b_i::4]
    return Shot(width, height, bytes(rgb))


def capture(display):
    data = subprocess.run(["xwd", "-root", "-silent", "-display", display], check=True,
                          stdout=subprocess.PIPE, timeout=20).stdout
    return parse_xwd(data)
