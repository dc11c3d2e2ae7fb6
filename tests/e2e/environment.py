"""The world of an end-to-end test: a Wine prefix in Windows XP mode (Task
Scheduler 1.0 works completely there) with the service installed, and the
local update server on a loopback address serving a manifest and signed
packages."""

import glob
import json
import ntpath
import os
import shutil
import subprocess
import sys
import tempfile
import time

import install_log
import task_job
from wine_prefix import WinePrefix

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                                "update-server"))
from nginx_origin import FAKETIME_LIBRARY, NginxOrigin  # noqa: E402,F401
from update_server import HANDSHAKE_RULE  # noqa: E402,F401 (the fault rule of the TLS handshake)

SERVICE = "QuorvelPlumixPlayerUpdateSvc"
PROGRAM = "C:\\plumix\\PlumixPlayerUpdateService.exe"
SERVICE_LOG = "C:\\windows\\Oskvar\\Plumix\\PlumixInstall.log"
SETTINGS = "C:\\windows\\system32\\Oskvar\\Plumix\\ksm.cfg"
CONSOLE_DIR = "C:\\windows\\system32"
CONSOLE_LOG = "C:\\windows\\system32\\Oskvar\\Plumix\\PlumixInstall.log"
INSTALLER = "C:\\windows\\PlumixPlayerInstaller.exe"
TASK_JOB = "C:\\windows\\tasks\\Quorvel Plumix Player Updater.job"
STATE_KEY = "HKLM\\SOFTWARE\\Wendral\\PlumixPlayer"
VARIANT_KEYS = {
    "ActiveX": "HKLM\\Software\\Wendral\\PlumixPlayerActiveX",
    "Plugin": "HKLM\\Software\\Wendral\\PlumixPlayerPlugin",
}
MANIFEST_PATH = "/pub/plumixplayer/update/current/sau/11/xml/version.xml"
PACKAGE_PATHS = {
    ("ActiveX", False): "/pub/plumixplayer/update/current/sau/11/install/install_all_win_ax_sgn.z",
    ("ActiveX", True): "/pub/plumixplayer/update/current/sau/11/install/install_all_win_64_ax_sgn.z",
    ("Plugin", False): "/pub/plumixplayer/update/current/sau/11/install/install_all_win_pl_sgn.z",
    ("Plugin", True): "/pub/plumixplayer/update/current/sau/11/install/install_all_win_64_pl_sgn.z",
}
FILETIME_PER_HOUR = 36000000000
# The program as shipped, a test build whose network waits are bounded by
# five seconds (and its watchdog's grace by ten), and one whose whole cycle is
# bounded by fifteen (tests/e2e/short_bounds_service.cpp), relative to the
# build tree.
SHIPPED_PROGRAM = os.path.join("src", "PlumixPlayerUpdateService.exe")
SHORT_DOWNLOAD_PROGRAM = os.path.join("tests", "plumix-service-short-download.exe")
SHORT_CYCLE_PROGRAM = os.path.join("tests", "plumix-service-short-cycle.exe")
PROCESS_NAME = b"PlumixPlayerUpdateService.exe"
# Where the deployment package installs the program; a 32-bit package on
# 64-bit Windows puts it under "Program Files (x86)".
PACKAGE_PROGRAM = "C:\\Program Files\\Quorvel\\Plumix Player\\PlumixPlayerUpdateService.exe"
PACKAGE_PROGRAM_WOW64 = ("C:\\Program Files (x86)\\Quorvel\\Plumix Player\\"
                         "PlumixPlayerUpdateService.exe")

BUILD = os.environ.get("PLUMIX_BUILD_DIR", "")
SOURCE = os.environ.get("PLUMIX_SOURCE_DIR", os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))))
ARCH = os.environ.get("PLUMIX_ARCH", "x86_64")
ADDRESS = os.environ.get("PLUMIX_E2E_ADDRESS", "127.0.0.6")
# The native release tool (build/native/tools/publish/plumix-publish).
PUBLISH = os.environ.get("PLUMIX_PUBLISH", "")

# ksm.cfg of a silently updating machine whose updates come from ADDRESS, and
# the lines every cycle under it starts and ends with.
SILENT_VERBOSE = ("SilentAutoUpdateEnable=1\nSilentAutoUpdateVerboseLogging=1\n"
                  "SilentAutoUpdateServerDomain=%s\n" % ADDRESS)
POLICY_SILENT = ["1628 " + ADDRESS, "1629 " + ADDRESS, "1614", "1615"]
SERVICE_END = ["1612", "1620"]


def on_disk(path):
    """Where a 32-bit program's path under C:\\windows\\system32 lies on disk
    on 64-bit Windows: the system redirects it to syswow64."""
    folder = "C:\\windows\\system32"
    if path.lower().startswith(folder.lower()):
        return "C:\\windows\\syswow64" + path[len(folder):]
    return path


def in_32bit_view(key):
    """Where a 32-bit program's HKLM\\Software key lies in the 64-bit view of
    the registry on 64-bit Windows."""
    head = "HKLM\\SOFTWARE\\"
    assert key.upper().startswith(head), key
    return head + "Wow6432Node\\" + key[len(head):]


def windows_path(host_path):
    """The Z: drive path under which Wine programs see a host path."""
    return "Z:" + os.path.abspath(host_path).replace("/", "\\")


def now_filetime():
    return int((time.time() + 11644473600) * 10000000)


def shipped_package():
    """The deployment package of the build: PlumixPlayerUpdateService-<version>.msi
    (the newest, should an older version's package still lie beside it)."""
    packages = glob.glob(os.path.join(BUILD, "packaging", "msi", "PlumixPlayerUpdateService-*.msi"))
    assert packages, "no deployment package in the build tree"
    return max(packages, key=os.path.getmtime)


def wow64_reason_to_skip():
    """Why the i686 build cannot run here as on 64-bit Windows, or None."""
    probe = subprocess.run([os.path.join(SOURCE, "tools", "wine", "can-run-32bit")],
                           stdout=subprocess.PIPE, text=True)
    if probe.returncode != 0:
        return "WOW64 scenario: " + probe.stdout.strip()
    if ARCH != "i686":
        return "WOW64 scenario: it runs the i686 build, and this build is %s" % ARCH
    return None


def _record_64bit_packages_in_32bit_slots(record_path):
    """Gives each 32-bit package entry of a release record the size and
    digest of its variant's 64-bit package."""
    with open(record_path) as record_file:
        record = json.load(record_file)
    wide = {entry["variant"]: entry for entry in record["packages"] if entry["for64BitWindows"]}
    for entry in record["packages"]:
        if not entry["for64BitWindows"]:
            entry["size"] = wide[entry["variant"]]["size"]
            entry["sha256"] = wide[entry["variant"]]["sha256"]
    with open(record_path, "w") as record_file:
        json.dump(record, record_file, indent=2)


class Environment:
    """Created once per test process; reset() before every test. With wow64,
    the i686 build runs in a 64-bit prefix as on 64-bit Windows, and every
    path and key is where a 32-bit program's lands there."""

    def __init__(self, state_dir, wow64=False):
        self.state_dir = state_dir
        self.wow64 = wow64
        self.prefix = WinePrefix(state_dir, "x86_64" if wow64 else ARCH)
        self.settings = on_disk(SETTINGS) if wow64 else SETTINGS
        self.console_log = on_disk(CONSOLE_LOG) if wow64 else CONSOLE_LOG
        self.state_key = in_32bit_view(STATE_KEY) if wow64 else STATE_KEY
        self.variant_keys = {variant: in_32bit_view(key) if wow64 else key
                             for variant, key in VARIANT_KEYS.items()}
        self.work = os.path.join(state_dir, "work")
        self.program = PROGRAM
        self.server = None
        self.origin = None

    # -- once -------------------------------------------------------------

    def set_up(self, package=None, properties=()):
        """With package, msiexec installs the program, the service, the task
        and the settings the properties ask for, in place of sc, and the
        program is where the package puts it."""
        self.create_prefix()
        if package is None:
            os.makedirs(self.prefix.host_path("C:\\plumix"), exist_ok=True)
            self.use_program(SHIPPED_PROGRAM)
            result = self.prefix.sc("create", SERVICE, "binPath=", PROGRAM, "type=", "own")
            assert result.returncode == 0, result.stdout + result.stderr
        else:
            # In a new prefix's first session the Task Scheduler 1.0 service
            # does not start for the package's -createDefaultTask (1242 with
            # 1053): the package installs in a fresh one.
            self.prefix.kill_server()
            exit_code, log = self.msiexec("/i", package, *properties)
            assert exit_code == 0, log
        self.settle_service()

    def create_prefix(self):
        """A new prefix with the test CA trusted and a package signer; no
        service yet."""
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.prefix.create("winxp64" if self.prefix.arch == "x86_64" else "winxp")
        self._make_server_certificate()
        self._make_package_signer()

    def settle_service(self):
        """A fresh start of the prefix's server and service manager, which then
        load a new service and settings from the saved registry: without it
        Wine has been seen to answer the first start with 1060 or 1055."""
        self.prefix.kill_server()
        self._warm_up()

    def package_program(self):
        return PACKAGE_PROGRAM_WOW64 if self.wow64 else PACKAGE_PROGRAM

    def msiexec(self, action, package, *properties):
        """msiexec ACTION PACKAGE /qn PROPERTIES with a verbose log, as a
        deployment tool runs it: (its exit code, the log's text). With /i,
        the program is then where the package puts it."""
        log = os.path.join(self.work, "msiexec.log")
        if os.path.exists(log):
            os.remove(log)
        exit_code = self.prefix.exit_code("msiexec", action, windows_path(package), "/qn",
                                          *properties, "/l*v", windows_path(log))
        if action == "/i":
            self.program = self.package_program()
        try:
            with open(log, "rb") as text:
                return exit_code, text.read().decode("utf-8", errors="replace")
        except FileNotFoundError:
            return exit_code, ""

    def tear_down(self):
        self.stop_server()
        self.stop_origin()
        self.prefix.kill_server()

    def use_program(self, build_path):
        """Installs another build of the program as the service's program
        (the service must be stopped); the next start runs it."""
        target = self.prefix.host_path(PROGRAM)
        shutil.copy(os.path.join(BUILD, build_path), target + ".new")
        os.replace(target + ".new", target)

    def _make_server_certificate(self):
        """A test CA trusted in this prefix only, and a server certificate
        whose DNS name is the server's address text."""
        self.certs = os.path.join(self.work, "certs")
        subprocess.run([os.path.join(SOURCE, "tools", "update-server", "make-test-certs.sh"),
                        self.certs, ADDRESS], check=True, capture_output=True)
        trust = os.path.join(BUILD, "tools", "trust-root.exe")
        result = self.prefix.run([trust, "add", windows_path(os.path.join(self.certs, "ca.der"))])
        assert result.returncode == 0, result.stdout + result.stderr

    def _make_package_signer(self):
        """A code-signing certificate issued by the build's development issuer."""
        subprocess.run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj",
                        "/CN=Plumix E2E Signer", "-keyout", "signer.key", "-out", "signer.csr"],
                       check=True, capture_output=True, cwd=self.work)
        self.certify_signer("signer.csr", "signer.pem")

    def certify_signer(self, request, certificate):
        """Issues a code-signing certificate for a certificate request (files
        in the work folder) under the build's development issuer."""
        issuer = os.path.join(BUILD, "issuer")
        run = lambda *args: subprocess.run(args, check=True, capture_output=True, cwd=self.work)
        run("openssl", "x509", "-inform", "DER", "-in", os.path.join(issuer, "issuer.der"),
            "-out", "issuer.pem")
        with open(os.path.join(self.work, "signer.ext"), "w") as ext:
            ext.write("basicConstraints=critical,CA:FALSE\nkeyUsage=digitalSignature\n"
                      "extendedKeyUsage=codeSigning\n")
        run("openssl", "x509", "-req", "-in", request, "-CA", "issuer.pem",
            "-CAkey", os.path.join(issuer, "issuer.key"), "-CAcreateserial", "-days", "365",
            "-extfile", "signer.ext", "-out", certificate)

    def _warm_up(self):
        """Starts and stops the service once so that a later console start
        finds the control pipes settled. Wine's service manager refuses a
        start (1055, database locked) while the process of a service that
        just reported stopped is still ending, so give it time to end."""
        self.prefix.sc("start", SERVICE)
        self.prefix.wait_service_state(SERVICE, "STOPPED")
        time.sleep(5)

    # -- per test ---------------------------------------------------------

    def reset(self):
        self.stop_server()
        self.stop_origin()
        self.prefix.wait_service_state(SERVICE, "STOPPED")
        self.prefix.reg_delete_key(self.state_key)
        for key in self.variant_keys.values():
            self.prefix.reg_delete_key(key)
        for path in (SERVICE_LOG, self.console_log, self.settings, INSTALLER, TASK_JOB,
                     INSTALLER + ".txt"):
            try:
                os.remove(self.prefix.host_path(path))
            except FileNotFoundError:
                pass
        self.make_run_folders()

    def make_run_folders(self):
        """The service's data folders and a fresh root and request log for
        the update server."""
        for folder in ("C:\\windows\\Oskvar\\Plumix", ntpath.dirname(self.settings)):
            os.makedirs(self.prefix.host_path(folder), exist_ok=True)
        self.root = tempfile.mkdtemp(dir=self.work, prefix="root-")
        self.requests_file = os.path.join(self.work, "requests.jsonl")
        self.faults_file = os.path.join(self.work, "faults.json")
        for path in (self.requests_file, self.faults_file):
            if os.path.exists(path):
                os.remove(path)

    # -- the update server ------------------------------------------------

    def start_server(self, *extra):
        script = os.path.join(SOURCE, "tools", "update-server", "update_server.py")
        self.server = subprocess.Popen(
            ["python3", script, "--address", ADDRESS, "--root", self.root,
             "--cert", os.path.join(self.certs, "server.pem"),
             "--key", os.path.join(self.certs, "server.key"),
             "--requests", self.requests_file, "--faults", self.faults_file] + list(extra),
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        line = self.server.stdout.readline()
        assert "ready" in line, line

    def stop_server(self):
        if self.server is not None:
            self.server.terminate()
            self.server.wait(timeout=30)
            self.server.stdout.close()
            self.server = None

    # -- a published release on nginx --------------------------------------

    def publish_release(self, out, activex, plugin, check_frequency, *options, registers=True,
                        signer=None, env=None):
        """Runs plumix-publish release over stand-in installers that install
        the given versions (the same for both architectures) and signs with
        signer (certificate, key), by default the test signer; the finished
        process, its output captured. With registers=False the installers
        carry the versions but register nothing when started: a release that
        does not take."""
        certificate, key = signer or (os.path.join(self.work, "signer.pem"),
                                      os.path.join(self.work, "signer.key"))
        installers = {}
        for variant, version in (("ActiveX", activex), ("Plugin", plugin)):
            installers[variant] = os.path.join(
                self.work, "release-%s-%s%s.exe" % (variant, version, "" if registers else "-bad"))
            subprocess.run([os.path.join(SOURCE, "tools", "standin-installer", "brand-standin"),
                            os.path.join(BUILD, "tools", "standin-installer.exe"),
                            variant if registers else "none", version, installers[variant]],
                           check=True, capture_output=True)
        # The x86_64 build's stand-in cannot go where 32-bit Windows fetches.
        pe32 = {variant: self._pe32_installer(version) if ARCH == "x86_64" else installers[variant]
                for variant, version in (("ActiveX", activex), ("Plugin", plugin))}
        published = subprocess.run(
            [PUBLISH, "release", "--out", out, "--check-frequency", str(check_frequency),
             "--issuer", os.path.join(BUILD, "issuer", "issuer.der"),
             "--signer-cert", certificate, "--signer-key", key,
             "--activex", pe32["ActiveX"], "--activex-64", installers["ActiveX"],
             "--plugin", pe32["Plugin"], "--plugin-64", installers["Plugin"]] +
            list(options), capture_output=True, text=True, timeout=300, env=env)
        if ARCH == "x86_64" and published.returncode == 0:
            # A 64-bit build of the service (only this test path has one)
            # fetches the packages for 32-bit Windows: give it its stand-in,
            # in every stored release (a candidate is served from the store),
            # and keep each release's record true to what it serves.
            for tree in glob.glob(os.path.join(out, ".plumix-publish", "releases", "*")):
                for variant in ("ActiveX", "Plugin"):
                    shutil.copyfile(tree + PACKAGE_PATHS[(variant, True)],
                                    tree + PACKAGE_PATHS[(variant, False)])
                _record_64bit_packages_in_32bit_slots(os.path.join(tree, "release.json"))
        return published

    def _pe32_installer(self, version):
        """A 32-bit program that carries version, made with MinGW from the
        release tool's test installer."""
        path = os.path.join(self.work, "pe32-%s.exe" % version)
        fixtures = os.path.join(SOURCE, "tools", "publish", "tests", "fixtures")
        run = lambda *args: subprocess.run(args, check=True, capture_output=True, cwd=self.work)
        run("i686-w64-mingw32-windres", "-DFIXTURE_VERSION=" + version.replace(".", ","),
            "-i", os.path.join(fixtures, "versioned_installer.rc"), "-o", path + ".o")
        run("i686-w64-mingw32-gcc", "-Os", "-s", "-o", path,
            os.path.join(fixtures, "versioned_installer.c"), path + ".o")
        return path

    def start_origin(self, tree, rollout=False, clock_offset=None):
        """nginx serving a published tree on ADDRESS instead of the local
        update server; its requests are logged where requests() reads. With
        rollout, as plumix-publish rollout has the tree served; with a clock
        offset ("+1d"), nginx logs its requests as that much later."""
        self.origin = NginxOrigin(os.path.join(self.work, "nginx"), ADDRESS, tree,
                                  os.path.join(self.certs, "server.pem"),
                                  os.path.join(self.certs, "server.key"), self.requests_file,
                                  rollout=rollout)
        self.origin.start(clock_offset=clock_offset)

    def stop_origin(self):
        if self.origin is not None:
            self.origin.stop()
            self.origin = None

    def requests(self):
        try:
            with open(self.requests_file) as lines:
                return [json.loads(line) for line in lines if line.strip()]
        except FileNotFoundError:
            return []

    def set_faults(self, rules):
        """Makes the server misbehave: {URL path: fault rule}. The server
        reads the rules again for every request."""
        with open(self.faults_file, "w") as out:
            json.dump(rules, out)

    def serve(self, url_path, data):
        path = os.path.join(self.root, *url_path.strip("/").split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)

    def serve_manifest(self, activex, plugin, check_frequency):
        def element(name, version):
            major, minor, build_major, build_minor = version.split(".")
            return '<%s major="%s" minor="%s" buildMajor="%s" buildMinor="%s"/>' % (
                name, major, minor, build_major, build_minor)
        xml = '<?xml version="1.0"?>\n<version>%s%s<SAUConfig checkFrequency="%d"/></version>\n' % (
            element("ActiveX", activex), element("Plugin", plugin), check_frequency)
        self.serve(MANIFEST_PATH, xml.encode())

    def serve_installer_package(self, variant, version):
        """A signed package of the stand-in installer that registers version
        for variant when it is started with -install."""
        tools = os.path.join(SOURCE, "tools")
        branded = os.path.join(self.work, "installer-%s.exe" % variant)
        package = os.path.join(self.work, "package-%s.z" % variant)
        subprocess.run([os.path.join(tools, "standin-installer", "brand-standin"),
                        os.path.join(BUILD, "tools", "standin-installer.exe"), variant, version,
                        branded], check=True, capture_output=True)
        subprocess.run([os.path.join(tools, "sign-package", "sign-package"), "--content", branded,
                        "--signer-cert", os.path.join(self.work, "signer.pem"),
                        "--signer-key", os.path.join(self.work, "signer.key"), "--out", package],
                       check=True, capture_output=True)
        with open(package, "rb") as signed:
            self.serve(PACKAGE_PATHS[(variant, self.wow64)], signed.read())

    def installer_record(self):
        """The command line the stand-in installer was started with, or None."""
        try:
            with open(self.prefix.host_path(INSTALLER + ".txt"), encoding="utf-8") as record:
                for line in record.read().splitlines():
                    if line.startswith("command-line="):
                        return line[len("command-line="):]
        except FileNotFoundError:
            pass
        return None

    def wait_installer_record(self, timeout=60):
        """The installer runs on by itself after the service stopped."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            record = self.installer_record()
            if record is not None:
                time.sleep(1)  # let it finish registering its version
                return self.installer_record()
            time.sleep(0.2)
        return None

    # -- machine state ----------------------------------------------------

    def temporary_entries(self):
        """Every entry of the prefix's temporary-files folders (the service's
        and the users'), as host paths, for before-and-after comparisons."""
        drive = self.prefix.host_path("C:\\")
        folders = [os.path.join(drive, "windows", "temp")]
        users = os.path.join(drive, "users")
        for user in (os.listdir(users) if os.path.isdir(users) else []):
            folders += [os.path.join(users, user, "Temp"),
                        os.path.join(users, user, "AppData", "Local", "Temp"),
                        os.path.join(users, user, "Local Settings", "Temp")]
        entries = set()
        for folder in folders:
            if os.path.isdir(folder) and not os.path.islink(folder):
                entries.update(os.path.join(folder, name) for name in os.listdir(folder))
        return entries

    def temporary_folder(self):
        """The host path of the temporary-files folder that Wine gives its
        programs, the service included (%TEMP%)."""
        result = self.prefix.run(["cmd", "/c", "echo", "%TEMP%"])
        return self.prefix.host_path(result.stdout.strip())

    def installer_exists(self):
        return os.path.exists(self.prefix.host_path(INSTALLER))

    def write_settings(self, text):
        with open(self.prefix.host_path(self.settings), "wb") as out:
            out.write(text.encode())

    def settings_bytes(self):
        try:
            with open(self.prefix.host_path(self.settings), "rb") as settings:
                return settings.read()
        except FileNotFoundError:
            return None

    def set_installed(self, variant, version, debugger=None):
        key = self.variant_keys[variant]
        self.prefix.reg_add(key, "Version", "REG_SZ", version)
        if debugger is not None:
            self.prefix.reg_add(key, "isScriptDebugger", "REG_DWORD", debugger)

    def installed_version(self, variant):
        values = self.prefix.reg_values(self.variant_keys[variant]) or {}
        return values.get("Version")

    def update_state(self):
        """(LastUpdateCheck, UpdateAttempts) as numbers, None where missing."""
        values = self.prefix.reg_values(self.state_key) or {}
        return (values.get("LastUpdateCheck"), values.get("UpdateAttempts"))

    def set_update_state(self, last_check=None, attempts=None):
        if last_check is not None:
            self.prefix.reg_add(self.state_key, "LastUpdateCheck", "REG_QWORD", last_check)
        if attempts is not None:
            self.prefix.reg_add(self.state_key, "UpdateAttempts", "REG_DWORD", attempts)

    def task(self):
        path = self.prefix.host_path(TASK_JOB)
        return task_job.read_job(path) if os.path.exists(path) else None

    def service_events(self):
        """The service log's events. The last two lines race: the dispatcher
        may return (1620) before the service thread logs its end (1621), and
        the process may even end first, so 1621 is dropped from the tail and
        only 1620 must close the log."""
        events = install_log.event_codes(self.prefix.host_path(SERVICE_LOG))
        tail = [event for event in events[-2:] if event != "1621"]
        return events[:-2] + tail

    def forget_service_log(self):
        """Removes the service's log, so that the next cycle's events stand
        alone."""
        try:
            os.remove(self.prefix.host_path(SERVICE_LOG))
        except FileNotFoundError:
            pass

    def console_events(self):
        return install_log.event_codes(self.prefix.host_path(self.console_log))

    def service_pids(self):
        """Linux pids of the Wine processes that run the program in this
        prefix (never those of other prefixes on the machine)."""
        prefix = b"WINEPREFIX=" + os.fsencode(self.prefix.path)
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as cmdline:
                    if PROCESS_NAME not in cmdline.read():
                        continue
                with open("/proc/%s/environ" % entry, "rb") as environ:
                    if prefix in environ.read().split(b"\0"):
                        pids.append(int(entry))
            except OSError:
                continue
        return pids

    def wait_service_process_gone(self, timeout=30):
        """True once no process runs the program in this prefix."""
        deadline = time.monotonic() + timeout
        while self.service_pids():
            if time.monotonic() >= deadline:
                return False
            time.sleep(0.1)
        return True

    # -- running the program ----------------------------------------------

    def run_switch(self, *args):
        """Runs the program from a console in the system folder; its exit code."""
        return self.prefix.exit_code(self.program, *args, cwd=self.prefix.host_path(CONSOLE_DIR))

    def run_scheduled_start(self, last_event="1620", timeout=120):
        """Starts the program without arguments the way the scheduled task
        does, then waits until the service has stopped and its process has
        written its last line (last_event None: a service that cannot write
        its log). Wine's service manager sometimes refuses the
        start with 1055 (database locked) right after an earlier service run;
        the program logs that as it should (1223 1055), and the start is
        tried again, at most three times."""
        for attempt in range(3):
            if attempt:
                time.sleep(10)
                os.remove(self.prefix.host_path(self.console_log))
            result = self.prefix.run([self.program], cwd=self.prefix.host_path(CONSOLE_DIR),
                                     timeout=timeout)
            if self.console_events()[-1:] != ["1223 1055"]:
                break
        assert self.prefix.wait_service_state(SERVICE, "STOPPED", timeout)
        deadline = time.monotonic() + timeout
        while last_event is not None and time.monotonic() < deadline and last_event not in \
                install_log.event_codes(self.prefix.host_path(SERVICE_LOG)):
            time.sleep(0.2)
        return result

    def hold_service_log(self, seconds):
        """Starts another program that locks the whole service log for
        seconds, as a reader or a log collector could; its process, once it
        holds the lock."""
        holder = subprocess.Popen(
            self.prefix.runner + [os.path.join(BUILD, "tests", "install_log_writer.exe"), "--hold",
                                  str(seconds)],
            cwd=self.prefix.host_path("C:\\windows"), env=self.prefix.env,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = holder.stdout.readline()
        assert line.strip() == "held", line
        return holder
