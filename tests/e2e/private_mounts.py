"""Faults of the machine's own disks, made for real in a private mount
namespace: a folder on a small file system that fills, or a read-only view of
a folder. Nothing but the test process and what it starts afterwards (the
update server, the Wine server, the service) sees these mounts, and they
vanish with the process."""

import contextlib
import ctypes
import os
import shutil
import subprocess
import tempfile
import unittest

CLONE_NEWNS = 0x00020000
CLONE_NEWNET = 0x40000000


def _run(*args):
    result = subprocess.run(args, capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        raise AssertionError("%s: %s" % (" ".join(args), result.stderr.strip()))


def enter_private_namespaces():
    """Moves this process, and every process it starts from now on, into new
    mount and network namespaces in which only the loopback interface exists.
    Call it before any thread or Wine process is started. Raises SkipTest
    with the reason where the host refuses."""
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(CLONE_NEWNS | CLONE_NEWNET) != 0:
        raise unittest.SkipTest("the host refuses private mount namespaces: " +
                                os.strerror(ctypes.get_errno()))
    # A new namespace starts with copies of the host's mounts that still pass
    # mount events both ways; private ones pass none.
    _run("mount", "--make-rprivate", "/")
    _run("ip", "link", "set", "lo", "up")


def _unmount(folder):
    # A process that keeps a file or its working folder there (Wine's own
    # processes do) holds the mount: detach it from the tree all the same.
    _run("umount", "--lazy", folder)


@contextlib.contextmanager
def small_disk(folder, size):
    """folder on an empty file system of size bytes (rounded up to pages),
    which fills once they are written."""
    _run("mount", "-t", "tmpfs", "-o", "size=%d,mode=0755" % size, "tmpfs", folder)
    try:
        yield
    finally:
        _unmount(folder)


@contextlib.contextmanager
def full_disk(folder):
    """folder with its present content on a file system with no room left:
    creating an empty file works, writing one more byte does not."""
    with tempfile.TemporaryDirectory() as copy:
        shutil.copytree(folder, copy, symlinks=True, dirs_exist_ok=True)
        used = sum(os.path.getsize(os.path.join(path, name))
                   for path, _, names in os.walk(copy) for name in names)
        size = used + 64 * 1024
        with small_disk(folder, size):
            shutil.copytree(copy, folder, symlinks=True, dirs_exist_ok=True)
            _fill(os.path.join(folder, ".filler"), size)
            yield


def _fill(path, size):
    """Writes zeros to path until the file system refuses more; at most size
    bytes."""
    chunk = b"\0" * 4096
    with open(path, "wb", buffering=0) as filler:
        try:
            for _ in range(size // len(chunk) + 1):
                filler.write(chunk)
        except OSError:
            return
    raise AssertionError("%s did not fill after %d bytes" % (path, size))


@contextlib.contextmanager
def small_overlay(folder, free, work_dir):
    """folder as it is, but every change to it goes to a file system with
    free bytes of room: new files, and files written to, fill it. For a folder
    too large to copy, such as C:\\windows."""
    os.makedirs(work_dir, exist_ok=True)
    with small_disk(work_dir, free):
        upper = os.path.join(work_dir, "upper")
        work = os.path.join(work_dir, "work")
        os.makedirs(upper)
        os.makedirs(work)
        _run("mount", "-t", "overlay", "overlay", "-o",
             "lowerdir=%s,upperdir=%s,workdir=%s" % (folder, upper, work), folder)
        try:
            yield
        finally:
            _unmount(folder)


@contextlib.contextmanager
def read_only(folder):
    """folder as it is, but nobody can change it, not even root."""
    _run("mount", "--bind", folder, folder)
    try:
        _run("mount", "-o", "remount,bind,ro", folder)
        yield
    finally:
        _unmount(folder)
