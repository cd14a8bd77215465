#!/usr/bin/python3
"""Installs wine32 (the i386 package that runs 32-bit Windows programs) on a Debian amd64
machine whose kernel runs 32-bit programs.

A plain `apt-get install wine32:i386` fails where the package versions of the two
architectures differ: when one suite's i386 index does not download (its size does not
match the release file while a mirror syncs, say), apt sees that suite's packages for amd64
only, and a Multi-Arch "same" library must have one version on both architectures. Then:

 1. Walk the dependency closure of wine32:i386 (depends and pre-depends only).
 2. For each library of it that is installed on amd64 and is Multi-Arch "same", ask for the
    installed version on i386 when an i386 index holds it; else for the newest i386 version
    on both architectures when that is newer; else download the i386 .deb of the installed
    version from the pool of the suite the amd64 one came from, and install it as a file.
 3. Simulate. For each package the simulation would remove (a -dev package of an upgraded
    library, say), ask for its version from the suites that have an i386 index; for each
    dependency apt finds unmet for want of one exact version, ask for that version; repeat
    until apt agrees and nothing would be removed.
 4. Install everything in one command, with --no-remove.

Some kernels run no 32-bit program at all (a virtual machine's kernel with IA-32 emulation
switched off: execve of an i386 program fails with "Exec format error"). wine32 would not
run there, so it is not installed; a 96-byte i386 program tells first.

No package installed before is ever removed. When wine32 cannot be installed (whatever the
reason, an interruption included), dpkg is left as it was found: the i386 packages this run
installed are purged, and the i386 architecture is removed again if this run added it.
Prints one line saying what it did; exits 0 when wine32 is installed and can run, else 1.
Run as root. With --dry-run it prints the final install command instead of running it (it
adds the i386 architecture and downloads what it needs, to find that command, and then
leaves dpkg as it was). With --kernel-check it only tells whether the kernel runs 32-bit
programs (exit 0) or not (exit 1, with the line saying so); it needs no python3-apt.
"""
import errno
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import urllib.parse

apt_pkg = None  # python3-apt's module, loaded once wine32 is to be installed

WINE32 = "wine32:i386"
NO_RECOMMENDS = ["--no-install-recommends"]
LOCK_WAIT = ["-o", "DPkg::Lock::Timeout=900"]
MAX_ROUNDS = 5


class CannotInstall(Exception):
    """wine32 cannot be installed here; the message says why."""


def run(*cmd):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          universal_newlines=True, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))


def last_error(output):
    """The last line apt marked as an error, or the last line at all."""
    lines = [line for line in output.splitlines() if line.strip()]
    errors = [line for line in lines if line.startswith("E: ")]
    return (errors or lines or ["no output"])[-1]


def wine32_installed():
    return run("dpkg-query", "-W", "-f", "${Status}", WINE32).stdout == "install ok installed"


def has_i386():
    return "i386" in run("dpkg", "--print-foreign-architectures").stdout.split()


def i386_packages():
    """Names of the i386 packages the package database holds (installed or not purged)."""
    listing = run("dpkg-query", "-W", "-f", "${Package} ${Architecture}\n").stdout.splitlines()
    return {line.split()[0] for line in listing if line.endswith(" i386")}


def restore(had_i386, had_packages):
    """Purges the i386 packages that were not there before and removes the i386
    architecture if it was not there before; returns what it did, in words."""
    done = []
    added = sorted(i386_packages() - had_packages)
    if added:
        result = run("dpkg", "--purge", *[name + ":i386" for name in added])
        done.append("the %d i386 packages it installed were purged" % len(added) if result.returncode == 0
                    else "purging the i386 packages it installed failed: " + last_error(result.stdout))
    if not had_i386 and has_i386():
        result = run("dpkg", "--remove-architecture", "i386")
        done.append("the i386 architecture was removed again" if result.returncode == 0
                    else "the i386 architecture could not be removed: " + last_error(result.stdout))
    return "".join("; " + what for what in done)


def open_cache():
    global apt_pkg
    if apt_pkg is None:
        try:
            import apt_pkg as module
        except ImportError:
            raise CannotInstall("python3-apt is not installed")
        apt_pkg = module
    apt_pkg.init()
    return apt_pkg.Cache(progress=None)


def wine32_closure():
    """Names of the i386 packages wine32:i386 needs, directly or not (no virtual names)."""
    result = run("apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests",
                 "--no-conflicts", "--no-breaks", "--no-replaces", "--no-enhances", WINE32)
    if result.returncode != 0:
        raise CannotInstall("apt-cache depends: " + last_error(result.stdout))
    names = set()
    for line in result.stdout.splitlines():
        if line.endswith(":i386") and not line.startswith((" ", "<")):
            names.add(line[:-len(":i386")])
    return names


def package(cache, name, arch):
    try:
        return cache[(name, arch)]
    except KeyError:
        return None


def index_files(version):
    """The package index files (not the dpkg status) that list this version."""
    return [pf for pf, _ in version.file_list if pf.index_type == "Debian Package Index"]


def i386_suites(cache):
    """(site, archive, component) of every suite whose i386 index apt has."""
    return {(pf.site, pf.archive, pf.component) for pf in cache.file_list
            if pf.architecture == "i386" and pf.index_type == "Debian Package Index"}


def newest(versions):
    best = None
    for version in versions:
        if best is None or apt_pkg.version_compare(version.ver_str, best.ver_str) > 0:
            best = version
    return best


def i386_deb_uri(cache, sources, installed):
    """Where the i386 .deb of an installed amd64 version lies: beside the amd64 one."""
    records = apt_pkg.PackageRecords(cache)
    for pf, at in installed.file_list:
        index = sources.find_index(pf)
        if index is None or not records.lookup((pf, at)) or not records.filename.endswith("_amd64.deb"):
            continue
        return index.archive_uri(records.filename[:-len("_amd64.deb")] + "_i386.deb")
    return None


def plan_same_versions(cache, names):
    """Requests that give each Multi-Arch "same" library one version on both architectures.

    Returns (requests, downloads): apt-get arguments, and (name, version, uri) of the i386
    files to fetch because no i386 index holds the installed amd64 version."""
    sources = apt_pkg.SourceList()
    sources.read_main_list()
    requests, downloads = [], []
    for name in sorted(names):
        amd64, i386 = package(cache, name, "amd64"), package(cache, name, "i386")
        if amd64 is None or amd64.current_ver is None or i386 is None:
            continue
        same = [v for v in i386.version_list
                if v.multi_arch == apt_pkg.Version.MULTI_ARCH_SAME and index_files(v)]
        if not same:
            continue
        installed = amd64.current_ver.ver_str
        candidate = newest(same)
        if any(v.ver_str == installed for v in same):
            requests.append("%s:i386=%s" % (name, installed))
        elif apt_pkg.version_compare(candidate.ver_str, installed) > 0:
            if not any(v.ver_str == candidate.ver_str and index_files(v) for v in amd64.version_list):
                raise CannotInstall("%s %s is in the i386 index only" % (name, candidate.ver_str))
            requests += ["%s:amd64=%s" % (name, candidate.ver_str), "%s:i386=%s" % (name, candidate.ver_str)]
        else:
            uri = i386_deb_uri(cache, sources, amd64.current_ver)
            if uri is None:
                raise CannotInstall("no index names a file for %s:i386 %s" % (name, installed))
            downloads.append((name, installed, uri))
    return requests, downloads


def fetch(downloads, folder):
    """Downloads the i386 files and checks that each is the package and version asked for.

    No index lists these files, so there is no hash to check them against."""
    files = []
    for name, version, uri in downloads:
        path = os.path.join(folder, urllib.parse.unquote(os.path.basename(uri)))
        result = run("/usr/lib/apt/apt-helper", "download-file", uri, path)
        if result.returncode != 0:
            raise CannotInstall("download of %s failed: %s" % (uri, last_error(result.stdout)))
        fields = run("dpkg-deb", "-f", path, "Package", "Version", "Architecture").stdout.split()
        if fields != ["Package:", name, "Version:", version, "Architecture:", "i386"]:
            raise CannotInstall("%s is not %s:i386 %s" % (uri, name, version))
        os.chmod(path, 0o644)
        files.append(path)
    return files


def simulate(cache, requests):
    """Further requests a real install of these needs; [] when apt agrees and removes nothing.

    A package the install would remove is asked for in its version from a suite with an i386
    index; a dependency that apt finds unmet for want of one exact version is asked for in
    that version. CannotInstall when apt refuses for another reason."""
    result = run("apt-get", "-s", "install", *NO_RECOMMENDS, *requests)
    if result.returncode == 0:
        removed = re.findall(r"^Remv (\S+)", result.stdout, re.M)
        return [keep_request(cache, name.split(":")[0]) for name in removed]
    unmet = re.findall(r"Depends: (\S+) \(= ([^)\s]+)\) but \S+ is to be installed", result.stdout)
    if not unmet:
        raise CannotInstall(last_error(result.stdout))
    return [exact_request(cache, name, version) for name, version in sorted(set(unmet))]


def exact_request(cache, name, version):
    """NAME=VERSION, refused when it would downgrade an installed package."""
    base, _, arch = name.partition(":")
    pkg = package(cache, base, arch or "amd64")
    if pkg is not None and pkg.current_ver is not None and \
            apt_pkg.version_compare(version, pkg.current_ver.ver_str) < 0:
        raise CannotInstall("%s would have to go back to %s" % (name, version))
    return "%s=%s" % (name, version)


def keep_request(cache, name):
    """The request that keeps a package the install would remove: its version from a suite
    with an i386 index, where the pinned libraries come from."""
    suites = i386_suites(cache)
    amd64 = package(cache, name, "amd64")
    if amd64 is None or amd64.current_ver is None:
        raise CannotInstall("the install would remove %s" % name)
    matching = [v for v in amd64.version_list
                if any((pf.site, pf.archive, pf.component) in suites for pf in index_files(v))]
    if not matching:
        raise CannotInstall("the install would remove %s, and no suite with an i386 index has it" % name)
    return exact_request(cache, name, newest(matching).ver_str)


def install(requests, dry_run):
    if dry_run:
        print("apt-get install -y --no-remove --no-install-recommends " + " ".join(requests))
        return
    result = run("apt-get", *LOCK_WAIT, "install", "-y", "--no-remove", *NO_RECOMMENDS, *requests)
    if result.returncode != 0 or not wine32_installed():
        raise CannotInstall("apt-get install: " + last_error(result.stdout))


def install_wine32(dry_run):
    """Installs wine32; returns what it did, in words."""
    added_i386 = not has_i386()
    if added_i386:
        if run("dpkg", "--add-architecture", "i386").returncode != 0:
            raise CannotInstall("dpkg cannot add the i386 architecture")
    cache = open_cache()
    if added_i386 or package(cache, "wine32", "i386") is None:
        run("apt-get", *LOCK_WAIT, "update")  # a failing index is what the pins below work around
        cache = open_cache()
    if package(cache, "wine32", "i386") is None:
        raise CannotInstall("no i386 index offers wine32")

    try:
        if not simulate(cache, [WINE32]):
            install([WINE32], dry_run)
            return "with a plain apt-get install"
    except CannotInstall:
        pass  # the versions of the two architectures differ: pin them

    requests, downloads = plan_same_versions(cache, wine32_closure())
    folder = tempfile.mkdtemp(prefix="wine32-")
    try:
        os.chmod(folder, 0o755)
        files = fetch(downloads, folder)
        pinned = len(requests) + len(files)
        for _ in range(MAX_ROUNDS):
            wanted = simulate(cache, requests + files + [WINE32])
            if not wanted:
                break
            more = [r for r in wanted if r not in requests]
            if not more:
                raise CannotInstall("apt still asks for %s" % " ".join(wanted))
            requests += more
        else:
            raise CannotInstall("no set of versions found in %d rounds" % MAX_ROUNDS)
        kept = len(requests) + len(files) - pinned
        install(requests + files + [WINE32], dry_run)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return ("with %d requests that give libraries one version on both architectures (%d of them "
            "an i386 .deb that no index lists, fetched beside the amd64 one) and %d more that keep "
            "every installed package" % (pinned, len(files), kept))


def kernel_runs_i386():
    """Whether the kernel runs 32-bit x86 programs: runs one that only exits with status 0."""
    code = bytes([0xb8, 1, 0, 0, 0, 0x31, 0xdb, 0xcd, 0x80])  # mov eax, 1 (exit); xor ebx, ebx; int 0x80
    base, header_size, entry_size = 0x08048000, 52, 32
    size = header_size + entry_size + len(code)
    header = struct.pack("<4s4B8xHHIIIIIHHHHHH", b"\x7fELF", 1, 1, 1, 0,  # 32-bit, little-endian
                         2, 3, 1, base + header_size + entry_size,  # executable, i386, entry point
                         header_size, 0, 0, header_size, entry_size, 1, 0, 0, 0)
    segment = struct.pack("<8I", 1, 0, base, base, size, size, 5, 0x1000)  # the file, read and execute
    folder = tempfile.mkdtemp(prefix="i386-probe-")
    try:
        path = os.path.join(folder, "exit0")
        with open(path, "wb") as probe:
            probe.write(header + segment + code)
        os.chmod(path, 0o755)
        return subprocess.run([path]).returncode == 0
    except OSError as why:
        return why.errno != errno.ENOEXEC  # anything else (a noexec /tmp) is no answer: try
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main():
    dry_run = "--dry-run" in sys.argv[1:]
    if not kernel_runs_i386():
        print("setup: this machine's kernel runs no 32-bit program, so wine32 cannot run here%s; "
              "the Windows tests use the 64-bit build"
              % (" (it is installed all the same)" if wine32_installed() else " and is not installed"))
        return 1
    if "--kernel-check" in sys.argv[1:]:
        return 0
    if wine32_installed():
        print("setup: wine32 is installed")
        return 0
    had_i386, had_packages = has_i386(), i386_packages()
    try:
        how = install_wine32(dry_run)
    except BaseException as why:
        # Whatever stopped the install, dpkg goes back to what it was.
        restored = restore(had_i386, had_packages)
        if not isinstance(why, Exception):
            raise
        if not isinstance(why, CannotInstall):
            why = "%s: %s" % (type(why).__name__, why)
        print("setup: wine32 cannot be installed here (%s)%s; the Windows tests use the 64-bit build"
              % (why, restored))
        return 1
    if dry_run:
        how += restore(had_i386, had_packages)
    print("setup: wine32 %s %s" % ("would be installed" if dry_run else "installed", how))
    return 0


if __name__ == "__main__":
    sys.exit(main())
