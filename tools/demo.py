"""Installs the service with its Windows Installer package as a deployment
tool would, publishes a release with plumix-publish, serves it with nginx,
runs one update cycle of the service against it and shows what happened, then
runs again to show that the check is not due."""

import datetime
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

import environment  # noqa: E402
from environment import ADDRESS, SERVICE  # noqa: E402

# What an administrator gives the package on the msiexec command line.
PROPERTIES = ("UPDATEMODE=silent", "SERVERDOMAIN=" + ADDRESS, "VERBOSELOGGING=1")

# The log reader's native build (tools/run-demo.sh builds it).
LOG_READER = os.environ.get("PLUMIX_LOG_READER", os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "build", "native", "tools", "log-reader",
    "plumix-log-reader"))


def heading(text):
    print("\n== " + text)


def show_log(env):
    """The install log as the administrator's log reader prints it."""
    path = env.prefix.host_path(environment.SERVICE_LOG)
    if not os.path.exists(path):
        print("  (no install log)")
        return
    reader = subprocess.run([LOG_READER, path], stdout=subprocess.PIPE, check=True, timeout=60)
    for line in reader.stdout.decode("utf-8").splitlines():
        print("  " + line)


def show_state(env):
    last, attempts = env.update_state()
    if last:
        seconds = last / 10000000 - 11644473600
        when = datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc).isoformat(timespec="seconds")
        print("  LastUpdateCheck = %d (%s)" % (last, when))
    else:
        print("  LastUpdateCheck = %s" % last)
    print("  UpdateAttempts  = %s" % attempts)
    print("  ActiveX Version = %s" % env.installed_version("ActiveX"))


def show_service(env):
    service = env.prefix.reg_values("HKLM\\System\\CurrentControlSet\\Services\\" + SERVICE)
    if service is None:
        print("  (no service)")
        return
    print("  %s: %s" % (SERVICE, service.get("DisplayName")))
    print("  program: %s" % service.get("ImagePath"))
    print("  start: %s, account: %s" % ({2: "automatic", 3: "on demand"}.get(service.get("Start")),
                                       service.get("ObjectName")))


def show_task(env):
    task = env.task()
    if task is None:
        print("  (no task)")
        return
    print("  program: %s" % task["application"])
    print("  author:  %s" % task["author"])
    for trigger in task["triggers"]:
        print("  daily from %04d-%02d-%02d %02d:%02d, every %d minutes for %d minutes" % (
            trigger["begin"] + (trigger["start_hour"], trigger["start_minute"],
                                trigger["minutes_interval"], trigger["minutes_duration"])))


def main():
    env = environment.Environment(os.path.join(environment.BUILD, "demo"))
    package = environment.shipped_package()
    print("Preparing a Wine prefix in Windows XP mode and installing the service ...")
    env.set_up(package=package, properties=PROPERTIES)
    try:
        env.make_run_folders()
        heading("msiexec /i %s /qn %s  (exit code 0)" % (os.path.basename(package),
                                                        " ".join(PROPERTIES)))
        show_service(env)
        show_state(env)
        show_task(env)
        heading("ksm.cfg as the package wrote it")
        for line in env.settings_bytes().decode().splitlines():
            print("  " + line)

        env.set_installed("ActiveX", "10.1.0.5")
        tree = os.path.join(env.work, "release")
        heading("plumix-publish release --out %s --check-frequency 2 ..." % tree)
        published = env.publish_release(tree, "10.2.0.1", "10.2.0.1", 2)
        for line in (published.stdout + published.stderr).splitlines():
            print("  " + line)
        if published.returncode != 0:
            sys.exit("the release was refused")
        env.start_origin(tree)
        heading("nginx serves the release on %s (https for the manifest, http for the "
                "packages)" % ADDRESS)
        heading("Starting %s without arguments, as the scheduled task does" % env.program)
        env.run_scheduled_start()
        heading("Install log of the service")
        show_log(env)
        heading("Requests seen by nginx at %s" % ADDRESS)
        for request in env.requests():
            print("  %s %s  (%s)" % (request["scheme"], request["path"], request["user_agent"]))
        heading("Registry state")
        show_state(env)
        heading("Scheduled task")
        show_task(env)
        heading("The installer's record of how it was started")
        print("  " + (env.installer_record() or "(the installer did not run)"))

        heading("Second start: the check is not due")
        os.remove(env.prefix.host_path(environment.SERVICE_LOG))
        env.run_scheduled_start()
        show_log(env)
    finally:
        env.tear_down()


if __name__ == "__main__":
    main()
