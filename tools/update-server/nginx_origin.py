"""A real web server as the update origin, for the demo and the end-to-end
tests beside the local update server (which stays for the fault modes):
Debian's nginx serving a static release tree on one loopback address, the
manifest over HTTPS on port 443 and the packages over plain HTTP on port 80,
as a CDN or any static web server would. It runs with a private configuration file, and its pid file, logs and
temporary folders lie in its own work folder; nothing of the system's nginx
is used or touched. Each request is logged as one JSON line with the fields
the local update server writes (scheme, path, user agent), the client's
address and the Cache-Control sent, and in nginx's combined format in
access.log. Started with a clock offset, nginx runs under libfaketime and
logs its requests that much later, as on a later day.

With rollout=True it serves the tree as plumix-publish rollout has it served:
the generated files in the tree's release store are included (the http part
in the http block, the locations in both servers) and the njs module is
loaded, so each client address is shown the release of its cohort."""

import os
import signal
import socket
import subprocess
import time

MANIFEST_FOLDER = "/pub/plumixplayer/update/current/sau/11/xml/"
PACKAGE_FOLDER = "/pub/plumixplayer/update/current/sau/11/install/"
# Debian's libfaketime (package libfaketime).
FAKETIME_LIBRARY = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"

STORE_NGINX = ".plumix-publish/nginx"

ROLLOUT_MODULE = "load_module /usr/lib/nginx/modules/ngx_http_js_module.so;\n"

PLAIN_LOCATIONS = {
    "manifest": """location {manifest_folder} {{
            add_header Cache-Control "public, max-age=300";
        }}""",
    "packages": """location {package_folder} {{
            add_header Cache-Control "public, no-cache";
        }}""",
}

CONFIGURATION = """\
{module}worker_processes 1;
user root;
pid {work}/nginx.pid;
error_log {work}/error.log warn;

events {{
    worker_connections 64;
}}

http {{
    types {{
        application/xml xml;
    }}
    default_type application/octet-stream;
    client_body_temp_path {work}/temp/body;
    proxy_temp_path {work}/temp/proxy;
    fastcgi_temp_path {work}/temp/fastcgi;
    uwsgi_temp_path {work}/temp/uwsgi;
    scgi_temp_path {work}/temp/scgi;
    log_format requests escape=json
        '{{"scheme":"$scheme","path":"$request_uri","user_agent":"$http_user_agent",'
        '"status":$status,"address":"$remote_addr","cache_control":"$sent_http_cache_control"}}';
    access_log {requests} requests;
    access_log {work}/access.log combined;
    server_tokens off;
{http_include}
    # The manifest: HTTPS only, cached briefly, so that a release reaches the
    # fleet within minutes.
    server {{
        listen {address}:443 ssl;
        ssl_certificate {cert};
        ssl_certificate_key {key};
        root {root};
        {manifest_locations}
        location / {{
            return 404;
        }}
    }}

    # The packages: plain HTTP (their signature protects them). Their paths
    # stay the same from one release to the next, so a cache must ask again
    # (the ETag makes that cheap) rather than keep an old package.
    server {{
        listen {address}:80;
        root {root};
        {package_locations}
        location / {{
            return 404;
        }}
    }}
}}
"""


class NginxOrigin:
    """nginx serving root on address; start() and stop() bracket its life."""

    def __init__(self, work, address, root, cert, key, requests_file, rollout=False):
        self.work = work
        self.rollout = rollout
        self.address = address
        self.root = root
        self.cert = cert
        self.key = key
        self.requests_file = requests_file
        self.process = None

    @property
    def configuration(self):
        """The main configuration file (for plumix-publish rollout --nginx-conf)."""
        return os.path.join(self.work, "nginx.conf")

    @property
    def reload_command(self):
        """What reloads this nginx (for plumix-publish rollout --reload-command)."""
        return "nginx -c %s -s reload" % self.configuration

    def _parts(self):
        root = os.path.abspath(self.root)
        if not self.rollout:
            return dict(module="", http_include="",
                        manifest_locations=PLAIN_LOCATIONS["manifest"].format(
                            manifest_folder=MANIFEST_FOLDER),
                        package_locations=PLAIN_LOCATIONS["packages"].format(
                            package_folder=PACKAGE_FOLDER))
        locations = "include %s/%s/rollout-locations.conf;" % (root, STORE_NGINX)
        return dict(module=ROLLOUT_MODULE,
                    http_include="    include %s/%s/rollout-http.conf;\n" % (root, STORE_NGINX),
                    manifest_locations=locations, package_locations=locations)

    def start(self, timeout=30, clock_offset=None):
        """clock_offset: libfaketime's offset of nginx's clock ("+1d"), or None."""
        os.makedirs(os.path.join(self.work, "temp"), exist_ok=True)
        with open(self.configuration, "w") as out:
            out.write(CONFIGURATION.format(
                work=self.work, requests=self.requests_file, address=self.address,
                root=os.path.abspath(self.root), cert=self.cert, key=self.key, **self._parts()))
        environment = dict(os.environ)
        if clock_offset is not None:
            environment.update(LD_PRELOAD=FAKETIME_LIBRARY, FAKETIME=clock_offset)
        self.process = subprocess.Popen(
            ["nginx", "-c", self.configuration, "-g", "daemon off;"], env=environment,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + timeout
        while not (self._listening(443) and self._listening(80)):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("nginx did not start on %s: %s" % (self.address, self.errors()))
            time.sleep(0.1)

    def stop(self, timeout=30):
        """Ends nginx (master and worker) and waits for it."""
        if self.process is None:
            return
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGQUIT)
            try:
                self.process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=timeout)
        self.process = None

    def workers(self):
        """The process ids of nginx's worker processes now."""
        with open("/proc/%d/task/%d/children" % (self.process.pid, self.process.pid)) as children:
            return set(int(pid) for pid in children.read().split())

    def wait_for_new_workers(self, old, timeout=30):
        """Waits until every worker of old has ended and a new one runs, so that
        every later request is answered under the configuration last loaded."""
        deadline = time.monotonic() + timeout
        while True:
            now = self.workers()
            if now and not now & old:
                return
            if time.monotonic() > deadline:
                raise RuntimeError("nginx workers %s still run after a reload" % (now & old))
            time.sleep(0.05)

    def access_log(self):
        """The combined-format access log."""
        return os.path.join(self.work, "access.log")

    def errors(self):
        try:
            with open(os.path.join(self.work, "error.log")) as log:
                return log.read().strip() or "(no error logged)"
        except FileNotFoundError:
            return "(no error log)"

    def _listening(self, port):
        try:
            with socket.create_connection((self.address, port), timeout=1):
                return True
        except OSError:
            return False
