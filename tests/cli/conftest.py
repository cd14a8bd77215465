"""What the pytest tests of the rizeroz tool share: the tool (--tool, run through
--emulator for a cross build, so under wine for Windows), a run of it with its output, its
errors and its exit code, and a run whose resident memory is watched.

CTest runs them from the build's bin folder; paths given to the tool are relative to it
or absolute, so that the same cases run natively and under wine.
"""
import collections
import os
import signal
import subprocess
import tempfile
import threading
import time

import pytest

EXIT_OK, EXIT_WARNINGS, EXIT_ERROR, EXIT_USAGE, EXIT_DIFFERENT = 0, 1, 2, 64, 1

Result = collections.namedtuple("Result", "code out err peak_mb")


def pytest_addoption(parser):
    parser.addoption("--tool", required=True, help="the rizeroz program")
    parser.addoption("--emulator", default="", help="what runs it (wine for a Windows build)")


class Tool:
    def __init__(self, program, emulator):
        self.command = ([emulator] if emulator else []) + [program]
        self.emulated = bool(emulator)

    def run(self, *args, budget_mb=None, timeout=120, env=None, feed=None, **extra):
        """Runs the tool; output goes to files, not pipes (a wine server started by the
        program inherits its handles and lives on for a while). With `budget_mb`, the
        process is killed once its resident size passes that many MB. `feed`, an iterable
        of bytes, goes to its standard input through a pipe. `extra` goes to
        subprocess.Popen (input, stdin, user, preexec_fn)."""
        if "input" in extra:
            given = tempfile.TemporaryFile()
            given.write(extra.pop("input"))
            given.seek(0)
            extra["stdin"] = given
        extra.setdefault("stdin", subprocess.DEVNULL)
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            if feed is not None:
                extra["stdin"] = subprocess.PIPE
            process = subprocess.Popen(self.command + [str(a) for a in args], stdout=out, stderr=err,
                                       env=dict(os.environ, **env) if env else None, **extra)
            if feed is not None:
                threading.Thread(target=pour, args=(feed, process.stdin), daemon=True).start()
            status, usage = watch(process, budget_mb, timeout)
            text = lambda f: (f.seek(0), f.read())[1].decode("utf-8", "replace").replace("\r\n", "\n")
            return Result(os.waitstatus_to_exitcode(status), text(out), text(err), usage.ru_maxrss / 1024.0)


def pour(feed, pipe):
    """Writes the pieces of `feed` into `pipe` until the reader stops reading."""
    try:
        for piece in feed:
            pipe.write(piece)
    except (BrokenPipeError, OSError):
        pass
    finally:
        try:
            pipe.close()
        except OSError:
            pass


def resident_mb(pid):
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return 0.0


def watch(process, budget_mb, timeout):
    """Waits for `process`; kills it when it passes `budget_mb` of resident memory (when
    given) or runs past `timeout` seconds. The status and the resource usage from wait4.
    The resident size, not the address space, is what counts: AddressSanitizer reserves
    terabytes of address space that it never touches."""
    deadline = time.time() + timeout
    while True:
        pid, status, usage = os.wait4(process.pid, os.WNOHANG)
        if pid == process.pid:
            process.returncode = os.waitstatus_to_exitcode(status)
            return status, usage
        over = budget_mb is not None and resident_mb(process.pid) > budget_mb
        if over or time.time() > deadline:
            process.kill()
            _, status, usage = os.wait4(process.pid, 0)
            process.returncode = os.waitstatus_to_exitcode(status)
            raise AssertionError("%s: %s" % (" ".join(process.args[-3:]), "passed %.0f MB of memory" % budget_mb
                                             if over else "still running after %d s" % timeout))
        time.sleep(0.005)


def default_signals():
    """For preexec_fn: the signals that end a process by default do so in the child, even
    when this run inherited them ignored (a job started in the background, nohup)."""
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT):
        signal.signal(number, signal.SIG_DFL)


def wait_for_file_in(process, folder, besides, timeout=60):
    """Waits until `process` has a file open in `folder` other than `besides` (its
    temporary file, named or not); False when it ends or the time runs out first."""
    folder, besides, deadline = os.path.abspath(folder), os.path.abspath(besides), time.time() + timeout
    while process.poll() is None and time.time() < deadline:
        try:
            links = [os.readlink("/proc/%d/fd/%s" % (process.pid, fd)) for fd in os.listdir("/proc/%d/fd" % process.pid)]
        except OSError:
            links = []
        if any(link.startswith(folder + "/") and not link.startswith(besides) for link in links):
            return True
        time.sleep(0.002)
    return False


@pytest.fixture(scope="session")
def tool(request):
    return Tool(request.config.getoption("--tool"), request.config.getoption("--emulator"))


@pytest.fixture
def scratch(tmp_path):
    """A scratch folder, as a path with '/' that the tool takes natively and under wine."""
    return tmp_path.as_posix()


@pytest.fixture(scope="session")
def baseline_mb(tool):
    """The tool's own resident size when it reads a small file: the ground a memory budget
    stands on (larger under the sanitizers)."""
    if tool.emulated or not os.path.exists("/proc/self/status"):
        pytest.skip("memory is measured natively on Linux only: under an emulator it is the emulator's")
    return tool.run("check", "data/sample.xml").peak_mb
