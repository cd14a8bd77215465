"""What the pytest tests of the rizeroz tool share: the tool (--tool, run through
--emulator for a cross build, so under wine for Windows), a run of it with its output, its
errors and its exit code, and a run whose resident memory is watched.

CTest runs them from the build's bin folder; paths given to the tool are relative to it
or absolute, so that the same cases run natively and under wine.
"""
import collections
import contextlib
import os
import shutil
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
    parser.addoption("--tool-version", default="", help="the version the tool must print")
    for name in ("--xmllint", "--dtd", "--man", "--guide", "--completion"):
        parser.addoption(name, default="", help="a file the interoperability and documentation tests use")
    parser.addoption("--shim", default="", help="the stand-in for open, fdopen and fsync (tests/shim), preloaded "
                     "where the save's named temporary file is tested")


class Tool:
    def __init__(self, program, emulator):
        self.command = ([emulator] if emulator else []) + [program]
        self.emulated = bool(emulator)

    def run(self, *args, **options):
        """Runs the tool (`_run_once`). Under wine a program now and then ends at once with
        exit code 1 and no output (docs/windows.md); such a run is made once more when its
        input can be given again. A fault of the tool's that ends so ends so both times."""
        result = self._run_once(*args, **dict(options))
        again = self.emulated and "feed" not in options and "stdin" not in options
        if again and result.code == 1 and not result.out and not result.err:
            result = self._run_once(*args, **dict(options))
        return result

    def _run_once(self, *args, budget_mb=None, timeout=120, env=None, feed=None, **extra):
        """Runs the tool; output goes to files, not pipes (a wine server started by the
        program inherits its handles and lives on for a while). With `budget_mb`, the
        process is killed once its resident size passes that many MB. `feed`, an iterable
        of bytes, goes to its standard input through a pipe. `extra` goes to
        subprocess.Popen (input, stdin, user, preexec_fn)."""
        text = extra.pop("input", None)
        if text is not None:
            given = tempfile.TemporaryFile()
            given.write(text)
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


class Group:
    """The cases of one test with a scratch folder of its own under `root`, named with '/'
    as the tool takes it natively and under wine; collects failures, which the fixture `g`
    reports together at the test's end."""

    def __init__(self, name, tool, root):
        self.name, self.tool, self.failures, self.skipped = name, tool, [], []
        self.dir = os.path.join(root, name).replace(os.sep, "/")
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)

    def path(self, name):
        return self.dir + "/" + name

    def write(self, name, text):
        with open(self.path(name), "wb") as f:
            f.write(text if isinstance(text, bytes) else text.encode("utf-8"))
        return self.path(name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read().decode("utf-8")

    def listing(self):
        return sorted(os.listdir(self.dir))

    def expect(self, condition, what, result=None):
        if not condition:
            self.failures.append("%s: %s%s" % (self.name, what, "\n%r" % (result,) if result is not None else ""))
        return condition

    def run(self, *args, code=None, out=None, env=None, **extra):
        result = self.tool.run(*args, env=env, **extra)
        if code is not None:
            self.expect(result.code == code, "rizeroz %s: exit %d expected" % (" ".join(args), code), result)
        if out is not None:
            self.expect(result.out == out, "rizeroz %s: unexpected stdout" % " ".join(args), result)
        return result

    def expect_error(self, result, *fragments, code=EXIT_ERROR):
        """An error is one sentence on stderr, "FILE:LINE:COLUMN: error: ...", "FILE: error: ..." or
        "rizeroz: error: ...", one line, ending in '.'."""
        lines = result.err.splitlines()
        self.expect(result.code == code, "exit %d expected" % code, result)
        self.expect(len(lines) == 1 and ": error: " in lines[0] and lines[0].endswith("."),
                    "stderr should be one sentence", result)
        for fragment in fragments:
            self.expect(fragment in result.err, "stderr should name %r" % fragment, result)


def pour(feed, pipe):
    """Writes the pieces of `feed` into `pipe`, then closes it; stops when the reader stops
    reading (a broken pipe, an OSError)."""
    with contextlib.suppress(OSError), pipe:
        for piece in feed:
            pipe.write(piece)


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
def g(request, tool, tmp_path):
    """A Group in the test's own temporary folder (pytest's tmp_path); its failures fail the
    test, all of them told."""
    name = "".join(c if c.isalnum() or c in "-_" else "_" for c in request.node.name)
    group = Group(name, tool, tmp_path.as_posix())
    yield group
    if group.failures:
        pytest.fail("\n".join(group.failures), pytrace=False)
    shutil.rmtree(group.dir, ignore_errors=True)


@pytest.fixture(scope="session")
def option(request):
    """The value of one of the options above, or a skip when it was not given."""
    def value(name):
        given = request.config.getoption(name)
        if not given:
            pytest.skip("%s was not given" % name)
        return given
    return value


@pytest.fixture
def native(tool):
    """For a test that watches the tool's processes, files, devices and signals as Linux
    shows them: skipped under an emulator."""
    if tool.emulated or not os.path.isdir("/proc/self/fd"):
        pytest.skip("tried natively on Linux only")


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
