"""Checks a wheel of the package as an installer reads it: its name and tag, every file
against its RECORD line, the library inside the package, and the version the library's
header gives.   check_wheel.py WHEEL ROOT"""
import base64
import hashlib
import pathlib
import re
import sys
import sysconfig
import zipfile

wheel, root = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
header = (root / "rodazivuziradovizozari" / "RizErozVersion.h").read_text(encoding="utf-8")
version = ".".join(re.findall(r"^#define RIZEROZ_VERSION_(?:MAJOR|MINOR|PATCH) ([0-9]+)$", header, re.M))
platform = re.sub(r"[-.]", "_", sysconfig.get_platform())
assert wheel.name == f"rizeroz-{version}-py3-none-{platform}.whl", wheel.name
with zipfile.ZipFile(wheel) as archive:
    info = f"rizeroz-{version}.dist-info"
    record = archive.read(f"{info}/RECORD").decode().splitlines()
    listed = {line.rsplit(",", 2)[0] for line in record}
    assert listed == set(archive.namelist()), listed ^ set(archive.namelist())
    for line in record:
        name, digest, size = line.rsplit(",", 2)
        if name != f"{info}/RECORD":
            data = archive.read(name)
            expected = "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
            assert (digest, int(size)) == (expected, len(data)), name
    assert f"Version: {version}\n" in archive.read(f"{info}/METADATA").decode()
    assert f"Tag: py3-none-{platform}\n" in archive.read(f"{info}/WHEEL").decode()
    libraries = [n for n in listed if re.fullmatch(r"rizeroz/(librizeroz\.so\.[0-9]+|rizeroz\.dll)", n)]
    assert len(libraries) == 1, sorted(listed)
print(f"{wheel.name}: {len(record)} files as RECORD lists them, with {libraries[0]}")
