"""What Wine programs do to host folders, seen from the host through the
kernel's fanotify interface (Linux, through ctypes): it holds a program's
opening of a file until the test lets it go on. Wine opens every file with the
host's own calls, so it sees the program's steps one by one."""

import ctypes
import errno
import os
import select
import struct
import threading

_LIBC = ctypes.CDLL(None, use_errno=True)
_LIBC.fanotify_mark.argtypes = [ctypes.c_int, ctypes.c_uint, ctypes.c_uint64, ctypes.c_int,
                                ctypes.c_char_p]

FAN_CLOEXEC = 0x1
FAN_CLASS_CONTENT = 0x4
FAN_MARK_ADD = 0x1
FAN_OPEN_PERM = 0x10000
FAN_EVENT_ON_CHILD = 0x08000000
FAN_ALLOW = 0x1
_FANOTIFY_EVENT = struct.Struct("IBBHQii")
_FANOTIFY_RESPONSE = struct.Struct("iI")
AT_FDCWD = -100


def _check(result):
    if result < 0:
        code = ctypes.get_errno()
        raise OSError(code, os.strerror(code))
    return result


class OpenGate:
    """Holds every opening of a file in folder: on_open(path) runs while the
    opening process waits in its open call, which goes on only afterwards.
    Needs CAP_SYS_ADMIN; unavailable() says why it cannot be used here."""

    def __init__(self, folder, on_open):
        self.folder = folder
        self.on_open = on_open
        self.fd = None
        self.stop_read, self.stop_write = None, None
        self.thread = None

    @staticmethod
    def unavailable():
        """None when fanotify permission events work here, else the reason."""
        fd = _LIBC.fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, os.O_RDONLY)
        if fd < 0:
            code = ctypes.get_errno()
            return "fanotify permission events unavailable: %s" % errno.errorcode.get(code, code)
        os.close(fd)
        return None

    def __enter__(self):
        self.fd = _check(_LIBC.fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, os.O_RDONLY))
        _check(_LIBC.fanotify_mark(self.fd, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_EVENT_ON_CHILD,
                                   AT_FDCWD, os.fsencode(self.folder)))
        self.stop_read, self.stop_write = os.pipe()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()
        return self

    def __exit__(self, *exc):
        os.write(self.stop_write, b"x")
        self.thread.join(timeout=30)
        for fd in (self.fd, self.stop_read, self.stop_write):
            os.close(fd)

    def _serve(self):
        while True:
            ready, _, _ = select.select([self.fd, self.stop_read], [], [])
            if self.stop_read in ready:
                return
            data = os.read(self.fd, 4096)
            offset = 0
            while offset < len(data):
                length, _, _, _, _, event_fd, _ = _FANOTIFY_EVENT.unpack_from(data, offset)
                offset += length
                try:
                    self.on_open(os.readlink("/proc/self/fd/%d" % event_fd))
                finally:
                    os.write(self.fd, _FANOTIFY_RESPONSE.pack(event_fd, FAN_ALLOW))
                    os.close(event_fd)
