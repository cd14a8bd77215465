"""The build back end (PEP 517) that makes the Python package's wheel and source archive.

`pip install .`, `pip wheel .` and `python -m build` at the repository's root come here
(pyproject.toml). The wheel is made by CMake: it builds the library alone (no tool, no
tests) in a build folder of its own, then packs the package of bindings/python/rizeroz
with the library beside it. The package calls the library through ctypes, so the wheel
serves every Python 3 of the platform: its tag is py3-none-PLATFORM.

Needs only the Python standard library, CMake and a C++ compiler: the machines that
build the project reach no package index (docs/python.md).

The source archive (`python -m build --sdist`) holds the files git tracks (`git ls-files`,
as they stand in the working tree: a new file is in it once it is added). Where the
sources are no git checkout of their own (an unpacked source archive, a copy), it holds
every file of the tree but build folders, caches and an editable install's
_location.py.

`pip install -e .` (an editable install, PEP 660) builds the library alone in the same
way and installs a path file that imports the package from bindings/python as it stands,
so that a change to its .py files takes effect at once; the package finds the library in
its build folder through bindings/python/rizeroz/_location.py, which the install writes
(git ignores it). A change to the C++ sources needs the install again.

Settings (`pip wheel . --config-settings build-dir=build/wheel`):
  build-dir   the CMake build folder, kept and reused (by default a temporary one; for an
              editable install build/python-editable, which must stay)
"""

import base64
import hashlib
import io
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACKAGE = os.path.join(ROOT, "bindings", "python", "rizeroz")
NAME = "rizeroz"
SUMMARY = "Read, change and write RIZ Eroz data files"
# What a source archive made from a tree that is no git checkout leaves out.
SOURCE_SKIPPED = {".git", "build", "out", "__pycache__"}


def version():
    """The project's one version, kept in the public header RizErozVersion.h."""
    with open(os.path.join(ROOT, "rodazivuziradovizozari", "RizErozVersion.h"), encoding="utf-8") as header:
        numbers = dict(re.findall(r"^#define RIZEROZ_VERSION_(MAJOR|MINOR|PATCH) ([0-9]+)$", header.read(), re.M))
    return "{MAJOR}.{MINOR}.{PATCH}".format(**numbers)


def metadata():
    with open(os.path.join(ROOT, "packaging", "python", "description"), encoding="utf-8") as text:
        description = text.read().split("\n", 1)[1].strip()
    return (f"Metadata-Version: 2.1\nName: {NAME}\nVersion: {version()}\nSummary: {SUMMARY}\n"
            "Requires-Python: >=3.9\nProvides-Extra: numpy\nRequires-Dist: numpy; extra == \"numpy\"\n"
            f"Description-Content-Type: text/plain\n\n{description}\n")


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def build_library(build_dir):
    """Builds the library with CMake in `build_dir`; returns its path."""
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
    configure = ["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release", "-DRIZEROZ_BUILD_TESTS=OFF",
                 "-DRIZEROZ_BUILD_TOOLS=OFF", "-DRIZEROZ_BUILD_BENCH=OFF", "-DRIZEROZ_BUILD_FUZZ=OFF",
                 f"-DRIZEROZ_PYTHON_EXECUTABLE={sys.executable}"]
    for command in (configure, ["cmake", "--build", build_dir, "--config", "Release", "--target", "rizeroz",
                                "--parallel", jobs]):
        subprocess.run(command, check=True, stdout=sys.stderr)
    # The build tree's package records where the library lies, relative to itself.
    location = os.path.join(build_dir, "python", "rizeroz", "_location.py")
    with open(location, encoding="utf-8") as text:
        relative = re.search(r'^LIBRARY = "(.*)"$', text.read(), re.M).group(1)
    return os.path.normpath(os.path.join(os.path.dirname(location), relative))


def platform_tag():
    return re.sub(r"[-.]", "_", sysconfig.get_platform())


class Wheel:
    """A wheel being written: each file with its hash for RECORD."""

    def __init__(self, path):
        self.zip = zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED)
        self.record = []

    def add(self, name, data):
        self.zip.writestr(zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0)), data, zipfile.ZIP_DEFLATED)
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        self.record.append(f"{name},sha256={digest},{len(data)}")

    def close(self, record_name):
        self.record.append(f"{record_name},,")
        self.zip.writestr(zipfile.ZipInfo(record_name, (2020, 1, 1, 0, 0, 0)), "\n".join(self.record) + "\n")
        self.zip.close()


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    build_dir = (config_settings or {}).get("build-dir")
    scratch = None if build_dir else tempfile.mkdtemp(prefix="rizeroz-wheel-")
    try:
        library = build_library(os.path.abspath(build_dir or scratch))
        tag = f"py3-none-{platform_tag()}"
        name = f"{NAME}-{version()}-{tag}.whl"
        wheel = Wheel(os.path.join(wheel_directory, name))
        for file in sorted(os.listdir(PACKAGE)):
            if file.endswith((".py", ".typed")) and file != "_location.py":
                with open(os.path.join(PACKAGE, file), "rb") as source:
                    wheel.add(f"{NAME}/{file}", source.read())
        # The library by the name the loader knows it by (its soname), beside the package.
        library_name = os.path.basename(library)
        with open(library, "rb") as source:
            wheel.add(f"{NAME}/{library_name}", source.read())
        wheel.add(f"{NAME}/_location.py", location_module(library_name))
        finish(wheel, tag)
        return name
    finally:
        if scratch:
            shutil.rmtree(scratch, ignore_errors=True)


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    build_dir = (config_settings or {}).get("build-dir") or os.path.join(ROOT, "build", "python-editable")
    library = build_library(os.path.abspath(build_dir))
    with open(os.path.join(PACKAGE, "_location.py"), "wb") as location:
        location.write(location_module(os.path.relpath(library, PACKAGE).replace(os.sep, "/")))
    tag = f"py3-none-{platform_tag()}"
    name = f"{NAME}-{version()}-{tag}.whl"
    wheel = Wheel(os.path.join(wheel_directory, name))
    wheel.add(f"__editable__.{NAME}-{version()}.pth", (os.path.dirname(PACKAGE) + "\n").encode())
    finish(wheel, tag)
    return name


def location_module(library):
    return f'# Where the rizeroz library lies, relative to this package.\nLIBRARY = "{library}"\n'.encode()


def finish(wheel, tag):
    """Adds the wheel's metadata, its WHEEL file and RECORD, and closes it."""
    info = f"{NAME}-{version()}.dist-info"
    wheel.add(f"{info}/METADATA", metadata().encode())
    wheel.add(f"{info}/WHEEL", (f"Wheel-Version: 1.0\nGenerator: {NAME} wheel_backend\n"
                                f"Root-Is-Purelib: false\nTag: {tag}\n").encode())
    wheel.close(f"{info}/RECORD")


def tracked_files():
    """The files git tracks in ROOT, relative to it and sorted, when ROOT is the top of a git
    checkout and git runs; else None."""
    def git(*args):
        return subprocess.run(["git", "-C", ROOT, *args], check=True, capture_output=True).stdout
    try:
        top = git("rev-parse", "--show-toplevel").decode("utf-8", "surrogateescape").strip()
        if not top or os.path.realpath(top) != os.path.realpath(ROOT):
            return None   # ROOT lies inside another project's checkout
        listed = git("ls-files", "-z").decode("utf-8", "surrogateescape").split("\0")
    except (OSError, subprocess.CalledProcessError):
        return None
    # A file deleted from the working tree, not yet from git, is left out.
    return sorted(name for name in listed if name and os.path.isfile(os.path.join(ROOT, name)))


def tree_files():
    """Every file of the tree at ROOT, relative to it and sorted, but build folders, caches
    and an editable install's _location.py."""
    found = []
    for folder, folders, files in os.walk(ROOT):
        folders[:] = sorted(f for f in folders if f not in SOURCE_SKIPPED and not f.startswith("build"))
        found += [os.path.relpath(os.path.join(folder, file), ROOT) for file in files]
    location = os.path.relpath(os.path.join(PACKAGE, "_location.py"), ROOT)
    return sorted(name for name in found if name != location)


def build_sdist(sdist_directory, config_settings=None):
    base = f"{NAME}-{version()}"
    name = f"{base}.tar.gz"
    files = tracked_files()
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz", format=tarfile.PAX_FORMAT) as archive:
        for file in files if files is not None else tree_files():
            archive.add(os.path.join(ROOT, file), f"{base}/{file.replace(os.sep, '/')}", recursive=False)
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = metadata().encode()
        info.size, info.mode = len(data), 0o644
        archive.addfile(info, io.BytesIO(data))
    return name
