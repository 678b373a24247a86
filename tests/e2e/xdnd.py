"""Files dropped on another client's window through the XDND drag-and-drop protocol (version 5),
as a file manager would drop them: this side is the drag source, on its own connection to the X
server through libX11. It owns the XdndSelection, moves the pointer to the drop point, sends
XdndEnter (one type: text/uri-list) and XdndPosition to the window there that is XDND aware,
waits for its XdndStatus, sends XdndDrop, answers the target's SelectionRequest with the files'
file:// URIs and waits for XdndFinished. Every wait is bounded; a failure raises DropError."""
import ctypes
import ctypes.util
import os
import time
import urllib.parse

c_int, c_long, c_ulong, c_void_p = ctypes.c_int, ctypes.c_long, ctypes.c_ulong, ctypes.c_void_p

PROPERTY_NOTIFY, SELECTION_REQUEST, SELECTION_NOTIFY, CLIENT_MESSAGE = 28, 30, 31, 33
PROPERTY_CHANGE_MASK = 1 << 22
PROP_MODE_REPLACE, PROP_MODE_APPEND = 0, 2
XA_ATOM, XA_STRING = 4, 31
NONE = 0
VERSION = 5


class DropError(Exception):
    pass


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int), ("display", c_void_p),
                ("window", c_ulong), ("message_type", c_ulong), ("format", c_int), ("l", c_long * 5)]


class _SelectionRequest(ctypes.Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int), ("display", c_void_p),
                ("owner", c_ulong), ("requestor", c_ulong), ("selection", c_ulong), ("target", c_ulong),
                ("property", c_ulong), ("time", c_ulong)]


class _Selection(ctypes.Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int), ("display", c_void_p),
                ("requestor", c_ulong), ("selection", c_ulong), ("target", c_ulong), ("property", c_ulong),
                ("time", c_ulong)]


class _Property(ctypes.Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int), ("display", c_void_p),
                ("window", c_ulong), ("atom", c_ulong), ("time", c_ulong), ("state", c_int)]


class _Event(ctypes.Union):
    _fields_ = [("type", c_int), ("client", _ClientMessage), ("request", _SelectionRequest),
                ("selection", _Selection), ("property", _Property), ("pad", c_long * 24)]


_ERROR_HANDLER = ctypes.CFUNCTYPE(c_int, c_void_p, c_void_p)


def _library():
    path = ctypes.util.find_library("X11")
    if not path:
        raise DropError("libX11 is not installed")
    x = ctypes.CDLL(path)
    x.XOpenDisplay.restype = c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = c_ulong
    x.XDefaultRootWindow.argtypes = [c_void_p]
    x.XCreateSimpleWindow.restype = c_ulong
    x.XCreateSimpleWindow.argtypes = [c_void_p, c_ulong, c_int, c_int, ctypes.c_uint, ctypes.c_uint,
                                      ctypes.c_uint, c_ulong, c_ulong]
    x.XInternAtom.restype = c_ulong
    x.XInternAtom.argtypes = [c_void_p, ctypes.c_char_p, c_int]
    x.XSelectInput.argtypes = [c_void_p, c_ulong, c_long]
    x.XChangeProperty.argtypes = [c_void_p, c_ulong, c_ulong, c_ulong, c_int, c_int, c_void_p, c_int]
    x.XGetWindowProperty.argtypes = [c_void_p, c_ulong, c_ulong, c_long, c_long, c_int, c_ulong,
                                     ctypes.POINTER(c_ulong), ctypes.POINTER(c_int), ctypes.POINTER(c_ulong),
                                     ctypes.POINTER(c_ulong), ctypes.POINTER(c_void_p)]
    x.XSetSelectionOwner.argtypes = [c_void_p, c_ulong, c_ulong, c_ulong]
    x.XGetSelectionOwner.restype = c_ulong
    x.XGetSelectionOwner.argtypes = [c_void_p, c_ulong]
    x.XSendEvent.argtypes = [c_void_p, c_ulong, c_int, c_long, ctypes.POINTER(_Event)]
    x.XTranslateCoordinates.argtypes = [c_void_p, c_ulong, c_ulong, c_int, c_int, ctypes.POINTER(c_int),
                                        ctypes.POINTER(c_int), ctypes.POINTER(c_ulong)]
    x.XWarpPointer.argtypes = [c_void_p, c_ulong, c_ulong, c_int, c_int, ctypes.c_uint, ctypes.c_uint,
                               c_int, c_int]
    x.XPending.argtypes = x.XFlush.argtypes = x.XCloseDisplay.argtypes = [c_void_p]
    x.XSync.argtypes = [c_void_p, c_int]
    x.XNextEvent.argtypes = [c_void_p, ctypes.POINTER(_Event)]
    x.XDestroyWindow.argtypes = [c_void_p, c_ulong]
    x.XFree.argtypes = [c_void_p]
    x.XSetErrorHandler.restype = c_void_p
    x.XSetErrorHandler.argtypes = [c_void_p]
    return x


class _Source:
    def __init__(self, x, display_name):
        self.x = x
        self.dpy = x.XOpenDisplay(display_name.encode())
        if not self.dpy:
            raise DropError("cannot open the X display " + display_name)
        self.root = x.XDefaultRootWindow(self.dpy)
        # The source's own window: it owns the selection and receives the target's replies
        # (client messages sent without an event mask reach the window's creator).
        self.window = x.XCreateSimpleWindow(self.dpy, self.root, 0, 0, 1, 1, 0, 0, 0)
        x.XSelectInput(self.dpy, self.window, PROPERTY_CHANGE_MASK)
        self.atoms = {}

    def atom(self, name):
        if name not in self.atoms:
            self.atoms[name] = self.x.XInternAtom(self.dpy, name.encode(), 0)
        return self.atoms[name]

    def close(self):
        self.x.XDestroyWindow(self.dpy, self.window)
        self.x.XCloseDisplay(self.dpy)

    def events(self, deadline):
        """The events that arrive until the deadline, one at a time."""
        event = _Event()
        while time.monotonic() < deadline:
            if not self.x.XPending(self.dpy):
                time.sleep(0.005)
                continue
            self.x.XNextEvent(self.dpy, ctypes.byref(event))
            yield event

    def server_time(self, deadline):
        # A zero-length append changes nothing but stamps a PropertyNotify with the server's time:
        # the selection is owned from then, and the drop asks for it at that time.
        self.x.XChangeProperty(self.dpy, self.window, self.atom("_E2E_TIME"), XA_STRING, 8, PROP_MODE_APPEND,
                               None, 0)
        self.x.XFlush(self.dpy)
        for event in self.events(deadline):
            if event.type == PROPERTY_NOTIFY and event.property.window == self.window:
                return event.property.time
        raise DropError("no PropertyNotify to take the server's time from")

    def aware_version(self, window):
        """The XDND version the window's XdndAware property names, 0 without one."""
        actual, fmt, count, after, data = c_ulong(), c_int(), c_ulong(), c_ulong(), c_void_p()
        status = self.x.XGetWindowProperty(self.dpy, window, self.atom("XdndAware"), 0, 1, 0, XA_ATOM,
                                           ctypes.byref(actual), ctypes.byref(fmt), ctypes.byref(count),
                                           ctypes.byref(after), ctypes.byref(data))
        version = 0
        if status == 0 and data.value:
            if actual.value == XA_ATOM and fmt.value == 32 and count.value == 1:
                version = ctypes.cast(data, ctypes.POINTER(c_ulong))[0]
            self.x.XFree(data)
        return version

    def target_at(self, x, y):
        """The XDND-aware window under the screen point, from the top-level window down, and
        its version; (0, 0) when there is none."""
        window = self.root
        while True:
            tx, ty, child = c_int(), c_int(), c_ulong()
            if not self.x.XTranslateCoordinates(self.dpy, self.root, window, x, y, ctypes.byref(tx),
                                                ctypes.byref(ty), ctypes.byref(child)) or not child.value:
                return 0, 0
            window = child.value
            version = self.aware_version(window)
            if version:
                return window, version

    def send(self, window, message, *longs):
        event = _Event()
        m = event.client
        m.type, m.window, m.message_type, m.format = CLIENT_MESSAGE, window, self.atom(message), 32
        for i, value in enumerate(longs):
            m.l[i] = value
        self.x.XSendEvent(self.dpy, window, 0, 0, ctypes.byref(event))
        self.x.XFlush(self.dpy)

    def answer(self, request, uris):
        """Converts the selection to the requested target: the URI list as text, or the list of
        targets; any other target is refused (the property None). True when the files went."""
        text_targets = [self.atom(name) for name in ("text/uri-list", "text/plain", "UTF8_STRING")]
        reply = _Event()
        s = reply.selection
        s.type, s.requestor, s.selection = SELECTION_NOTIFY, request.requestor, request.selection
        s.target, s.time = request.target, request.time
        # A requestor that names no property is an old client: the target's name is the property.
        prop = request.property or request.target
        gave_files = False
        if request.selection != self.atom("XdndSelection"):
            prop = NONE
        elif request.target in text_targets:
            data = ctypes.create_string_buffer(uris, len(uris))
            self.x.XChangeProperty(self.dpy, request.requestor, prop, request.target, 8, PROP_MODE_REPLACE,
                                   data, len(uris))
            gave_files = True
        elif request.target == self.atom("TARGETS"):
            targets = (c_ulong * 4)(self.atom("TARGETS"), *text_targets)
            self.x.XChangeProperty(self.dpy, request.requestor, prop, XA_ATOM, 32, PROP_MODE_REPLACE,
                                   targets, len(targets))
        else:
            prop = NONE
        s.property = prop
        self.x.XSendEvent(self.dpy, request.requestor, 0, 0, ctypes.byref(reply))
        self.x.XFlush(self.dpy)
        return gave_files


def available():
    return bool(ctypes.util.find_library("X11"))


def uri_list(paths):
    return b"".join(b"file://" + urllib.parse.quote(os.path.abspath(p)).encode() + b"\r\n" for p in paths)


def drop_files(display_name, paths, x, y, timeout=10.0):
    """Drags the files onto the screen point (x, y) and lets them go there. Returns the number of
    selection requests answered with the files; raises DropError when no window there takes
    drops, the target refuses, or a step's reply does not come within `timeout` seconds."""
    lib = _library()
    errors = []

    # An X error (a requestor's window gone before its answer) would otherwise end the process.
    def on_error(_dpy, _event):
        errors.append(1)
        return 0
    handler = _ERROR_HANDLER(on_error)
    previous = lib.XSetErrorHandler(ctypes.cast(handler, c_void_p))
    try:
        source = _Source(lib, display_name)
        try:
            return _drop(source, uri_list(paths), x, y, timeout)
        except DropError as e:
            if errors:
                raise DropError("%s (after %d X errors)" % (e, len(errors))) from None
            raise
        finally:
            source.close()
    finally:
        lib.XSetErrorHandler(previous)


def _drop(src, uris, x, y, timeout):
    xl, dpy = src.x, src.dpy
    now = src.server_time(time.monotonic() + timeout)
    xl.XSetSelectionOwner(dpy, src.atom("XdndSelection"), src.window, now)
    if xl.XGetSelectionOwner(dpy, src.atom("XdndSelection")) != src.window:
        raise DropError("could not own the XdndSelection")
    # The drag moves the pointer; the target may take the drop point from it.
    xl.XWarpPointer(dpy, NONE, src.root, 0, 0, 0, 0, x, y)
    xl.XSync(dpy, 0)
    target, version = src.target_at(x, y)
    if not target:
        raise DropError("no XDND-aware window at (%d, %d)" % (x, y))
    version = min(version, VERSION)
    uri_type = src.atom("text/uri-list")
    src.send(target, "XdndEnter", src.window, version << 24, uri_type, 0, 0)
    src.send(target, "XdndPosition", src.window, 0, (x << 16) | y, now, src.atom("XdndActionCopy"))

    def reply(name, deadline, on_request=None):
        for event in src.events(deadline):
            if event.type == CLIENT_MESSAGE and event.client.message_type == src.atom(name) \
                    and event.client.l[0] == target:
                return event.client
            if event.type == SELECTION_REQUEST and on_request:
                on_request(event.request)
        raise DropError("no %s from the target within %.0f s" % (name, timeout))

    status = reply("XdndStatus", time.monotonic() + timeout)
    if not status.l[1] & 1:
        src.send(target, "XdndLeave", src.window, 0, 0, 0, 0)
        raise DropError("the target does not accept text/uri-list here")
    src.send(target, "XdndDrop", src.window, 0, now, 0, 0)
    answered = []
    finished = reply("XdndFinished", time.monotonic() + timeout,
                     lambda request: answered.append(src.answer(request, uris)))
    if version >= 5 and not finished.l[1] & 1:
        raise DropError("the target reports the drop as not performed")
    if not any(answered):
        raise DropError("the target finished without asking for the files")
    return sum(answered)
