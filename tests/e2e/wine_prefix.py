"""A Wine prefix in the build tree, driven from the host for end-to-end tests."""

import os
import re
import shutil
import subprocess
import time


class WinePrefix:
    """One prefix under STATE_DIR/prefix, with the loader for the build's
    architecture. Every call is bounded by a time-out."""

    def __init__(self, state_dir, arch):
        self.state_dir = state_dir
        self.arch = arch
        self.path = os.path.join(state_dir, "prefix")
        self.env = dict(os.environ)
        for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                     "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"):
            self.env.pop(name, None)
        self.env.update({
            "WINEPREFIX": self.path,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
            "WINEARCH": "win64" if arch == "x86_64" else "win32",
            "WINESERVER": "/usr/lib/wine/wineserver64",
        })
        self.loader = "/usr/lib/wine/wine64" if arch == "x86_64" else "/usr/lib/wine/wine"
        self.env["WINELOADER"] = self.loader
        # wine-run keeps the prefix's server alive and starts Wine's system
        # processes without the caller's pipes, which a call here waits on.
        self.runner = [os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
            os.path.abspath(__file__)))), "tools", "wine", "wine-run"), state_dir, arch]

    # -- life cycle -------------------------------------------------------

    def create(self, windows_version):
        """A new prefix in the given Windows version mode (e.g. winxp64)."""
        self.kill_server()
        shutil.rmtree(self.path, ignore_errors=True)
        for mark in ("prefix.ready",):
            if os.path.exists(os.path.join(self.state_dir, mark)):
                os.remove(os.path.join(self.state_dir, mark))
        os.makedirs(self.state_dir, exist_ok=True)
        self.run(["winecfg", "-v", windows_version], timeout=300)

    def kill_server(self):
        if os.path.isdir(self.path):
            subprocess.run([self.env["WINESERVER"], "-k"], env=self.env, timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run([self.env["WINESERVER"], "-w"], env=self.env, timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, args, timeout=120, check=False, cwd=None):
        return subprocess.run(self.runner + list(args), env=self.env, timeout=timeout,
                              check=check, cwd=cwd, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, errors="replace")

    # -- files ------------------------------------------------------------

    def host_path(self, windows_path):
        """Host path of a C: drive path such as C:\\windows\\x."""
        assert windows_path[:3].upper() == "C:\\"
        return os.path.join(self.path, "drive_c", *windows_path[3:].split("\\"))

    def exit_code(self, program, *args, cwd=None):
        """The full 32-bit exit code of a Windows program, read on the Windows
        side (a Linux process status keeps only 8 bits)."""
        # Wine quotes arguments that hold spaces or quotes when it builds the
        # command line, so the parts go to cmd one by one (program paths here
        # have no spaces; an empty argument arrives as "").
        result = self.run(["cmd", "/v:on", "/c", program] + list(args) +
                          ["&", "echo", "EXITCODE=!errorlevel!"], cwd=cwd)
        match = re.search(r"EXITCODE=(-?\d+)", result.stdout)
        if not match:
            raise AssertionError("no exit code in: %r %r" % (result.stdout, result.stderr))
        return int(match.group(1))

    # -- registry ---------------------------------------------------------

    def reg_values(self, key):
        """{name: value} of a key (int for DWORD and QWORD, str for text,
        bytes otherwise), or None when the key is missing. Read through
        "reg export": Wine's "reg query" cannot show QWORD values."""
        export = os.path.join(self.state_dir, "export.reg")
        if os.path.exists(export):
            os.remove(export)
        result = self.run(["reg", "export", key, "Z:" + export.replace("/", "\\"), "/y"])
        if result.returncode != 0 or not os.path.exists(export):
            return None
        with open(export, "rb") as exported:
            text = exported.read().decode("utf-16")
        values = {}
        for line in text.replace("\\\r\n  ", "").splitlines():
            match = re.match(r'^"(.+)"=(.*)$', line)
            if not match:
                continue
            name, data = match.groups()
            if data.startswith("dword:"):
                values[name] = int(data[6:], 16)
            elif data.startswith("hex(b):"):
                values[name] = int.from_bytes(bytes.fromhex(data[7:].replace(",", "")), "little")
            elif data.startswith('"'):
                values[name] = data[1:-1].replace('\\\\', '\\')
            else:
                values[name] = bytes.fromhex(data.split(":", 1)[1].replace(",", ""))
        return values

    def reg_add(self, key, name, kind, data):
        result = self.run(["reg", "add", key, "/v", name, "/t", kind, "/d", str(data), "/f"])
        assert result.returncode == 0, result.stderr

    def reg_delete_key(self, key):
        self.run(["reg", "delete", key, "/f"])

    # -- services ---------------------------------------------------------

    def sc(self, *args):
        return self.run(["sc"] + list(args))

    def service_state(self, name):
        result = self.sc("query", name)
        match = re.search(r"STATE\s*:\s*\d+\s+(\w+)", result.stdout)
        return match.group(1) if match else None

    def wait_service_state(self, name, state, timeout=90):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.service_state(name) == state:
                return True
            time.sleep(0.2)
        return False
