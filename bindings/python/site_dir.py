"""Prints the folder, relative to an install prefix, where this interpreter looks for
pure-Python packages installed under that prefix. Used by the build: site_dir.py PREFIX."""
import os
import sys
import sysconfig

prefix = sys.argv[1].rstrip("/")
debian = "deb_system" in sysconfig.get_scheme_names()
if debian and prefix == "/usr":
    scheme = "deb_system"  # /usr/lib/python3/dist-packages, Debian's own packages
elif os.name == "nt":
    scheme = "nt"
else:
    scheme = "posix_prefix"
base = os.path.abspath(os.sep + "prefix")
path = os.path.relpath(sysconfig.get_path("purelib", scheme, vars={"base": base, "platbase": base}), base)
if debian and scheme == "posix_prefix":
    path = path.replace("site-packages", "dist-packages")  # Debian's interpreter reads dist-packages
print(path.replace(os.sep, "/"))
