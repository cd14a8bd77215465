#!/usr/bin/env bash
# Builds the packages and checks them as a user meets them (docs/packaging.md).
#   deb: the Debian packages, from the native build (build/native, installing to /usr):
#        lintian must report no error; unpacked with dpkg-deb -x into a scratch root, they
#        must serve the consumer program (CMake with and without versions, pkg-config)
#        and Debian's python3 (the Python package with the library beside it; its modules
#        byte-compiled at install, Debian's way), run
#        `rizeroz --version` (the packages' version, and packaging/changelog's) and show
#        the man page, and carry the viewer page (scripts/web.sh) in
#        /usr/share/rizeroz/web, as it was built.
#   web: the viewer page as a zip of its own (rizeroz-web-VERSION.zip: one folder with
#        index.html and its files), as built by scripts/web.sh.
#   npm: the npm package rizeroz-VERSION.tgz (npm pack), the library's WebAssembly module
#        of web/CMakeLists.txt's rizeroz-npm-package with web/npm's files
#        (docs/javascript.md); it must hold exactly the package's files.
#        tests/npm/npm.test.mjs installs it into an empty project and tests it
#        (scripts/test.sh web).
#   zip: the Windows zips, from the 32-bit and the 64-bit mingw-w64 builds
#        (build/windows-i686, build/windows-x86_64): their layout, the DLL's exports, the
#        import library for Microsoft's linker, the CMake package for both linkers, and
#        docs/windows.md's example built against each; a C program built by clang for
#        the MSVC targets and linked by lld-link with its defaults (/SAFESEH on x86)
#        against each rizeroz.lib, run under wine (the 32-bit one where wine32 runs).
# The build folders of scripts/test.sh are reused as they are configured when they exist
# (adding only what packaging needs); otherwise a Release build is made for packaging
# alone. The packages land in build/packages.
# Usage: scripts/package.sh [deb|zip|web|npm]...   (default: all four)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${RIZEROZ_BUILD_ROOT:-$root/build}
jobs=${RIZEROZ_JOBS:-$(nproc 2>/dev/null || echo 2)}
packages=$out/packages
kinds=("$@")
[ "$(id -u)" != 0 ] || "$root/scripts/setup.sh"
[ ${#kinds[@]} -gt 0 ] || kinds=(deb zip web npm)
# The viewer page's files (web/CMakeLists.txt), as scripts/web.sh builds them.
web_site=$out/web/site
web_pages=(index.html viewer.css viewer.js rizeroz-worker.js)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$packages"

# Configures and builds FOLDER when a test step has made it (with ALWAYS, an array of
# arguments that packaging needs), else FALLBACK with ALWAYS and the rest of the
# arguments. Sets `dir` to the folder used.
build() {
  local folder=$1 fallback=$2; shift 2
  if [ -f "$folder/CMakeCache.txt" ]; then
    dir=$folder
    cmake "$dir" "${always[@]}" >/dev/null
  else
    dir=$fallback
    cmake -S "$root" -B "$dir" "${always[@]}" "$@" >/dev/null
  fi
  echo "build folder: $dir"
  cmake --build "$dir" -j "$jobs" >/dev/null
}

pack_deb() {
  echo "=== package deb: build ==="
  # Debian's paths: /usr, with the library in the multiarch folder, and the Python
  # package where /usr's interpreter looks (no folder kept from another prefix).
  # The tool's package carries the viewer page.
  "$root/scripts/web.sh" >/dev/null
  local always=(-DCMAKE_INSTALL_PREFIX=/usr -DRIZEROZ_PYTHON_SITEDIR= -DRIZEROZ_WEB_SITE="$web_site") dir
  build "$out/native" "$out/package-deb" -DCMAKE_BUILD_TYPE=Release -DRIZEROZ_BUILD_TESTS=OFF
  rm -f "$packages"/*.deb
  (cd "$dir" && cpack -G DEB -B "$scratch/cpack" >/dev/null)
  mv "$scratch"/cpack/*.deb "$packages/"
  ls "$packages"/*.deb

  echo "=== package deb: lintian ==="
  lintian --fail-on error "$packages"/*.deb 2> >(grep -v 'running with root privileges' >&2)

  echo "=== package deb: unpacked into a scratch root ==="
  local tree=$scratch/root
  for deb in "$packages"/*.deb; do
    dpkg-deb -x "$deb" "$tree"
  done
  # Debian's python3 imports the package from /usr/lib/python3/dist-packages, the place
  # of the packages of all its versions, and it loads the unpacked library.
  cmake -DPREFIX="$tree/usr" -DSOURCE_DIR="$root/tests/consumer" -DWORK_DIR="$scratch/consumer" \
    -DPYTHON=/usr/bin/python3 -DPYTHON_SITEDIR=lib/python3/dist-packages -P "$root/cmake/RunConsumerTest.cmake"
  echo "consumer: built with find_package (with and without versions) and pkg-config, and ran;"
  echo "python3 read its file with the unpacked package and library"
  # Debian's way with Python modules: only .py files in the package, byte-compiled when it
  # is installed (postinst: py3compile) and cleaned before it is removed (prerm: py3clean).
  local python_deb
  python_deb=$(ls "$packages"/python3-rizeroz_*.deb)
  if dpkg-deb -c "$python_deb" | grep -q '\.pyc$' || ! dpkg-deb -I "$python_deb" postinst | grep -q py3compile ||
     ! dpkg-deb -I "$python_deb" prerm | grep -q py3clean; then
    echo "$python_deb: holds .pyc files, or its postinst and prerm do not call py3compile and py3clean" >&2
    return 1
  fi
  py3compile "$tree/usr/lib/python3/dist-packages/rizeroz"
  echo "python3-rizeroz: .py files only, byte-compiled at install by py3compile (tried on the unpacked files)"
  local version
  version=$(dpkg-deb -f "$packages"/rizeroz_*.deb Version)
  local said
  said=$("$tree/usr/bin/rizeroz" --version)
  if [ "$said" != "rizeroz $version" ]; then
    echo "rizeroz --version says '$said'; the package is $version" >&2
    return 1
  fi
  echo "$said"
  local logged
  logged=$(dpkg-parsechangelog -l "$root/packaging/changelog" -S Version)
  if [ "$logged" != "$version" ]; then
    echo "packaging/changelog's last entry is $logged; the packages are $version: add an entry" >&2
    return 1
  fi
  local page=$tree/usr/share/man/man1/rizeroz.1.gz warnings
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$scratch/page.txt")
  if [ -n "$warnings" ] || ! grep -q "EXIT STATUS" "$scratch/page.txt"; then
    echo "man -l $page: ${warnings:-the page has no EXIT STATUS}" >&2
    return 1
  fi
  echo "man -l rizeroz.1.gz: $(wc -l <"$scratch/page.txt") lines, no warnings"
  local page_file
  for page_file in "${web_pages[@]}"; do
    if ! cmp -s "$tree/usr/share/rizeroz/web/$page_file" "$web_site/$page_file"; then
      echo "rizeroz: /usr/share/rizeroz/web/$page_file is missing or not the page built" >&2
      return 1
    fi
  done
  echo "the viewer page: /usr/share/rizeroz/web/ (${web_pages[*]})"
}

# The viewer page as a zip of its own: one folder, rizeroz-web-VERSION/, holding the page's
# files as scripts/web.sh built them (docs/web.md).
pack_web() {
  echo "=== package web ==="
  "$root/scripts/web.sh" >/dev/null
  local version name
  version=$(library_version)
  name=rizeroz-web-$version
  rm -rf "${scratch:?}/$name" "$packages/$name.zip"
  mkdir "$scratch/$name"
  cp "${web_pages[@]/#/$web_site/}" "$scratch/$name/"
  (cd "$scratch" && cmake -E tar cf "$packages/$name.zip" --format=zip "$name")
  mkdir "$scratch/unpacked-web"
  (cd "$scratch/unpacked-web" && cmake -E tar xf "$packages/$name.zip")
  local listed
  listed=$(cd "$scratch/unpacked-web" && find . -type f | sort | tr '\n' ' ')
  local wanted
  wanted=$(printf "./$name/%s\n" "${web_pages[@]}" | sort | tr '\n' ' ')
  if [ "$listed" != "$wanted" ] || ! diff -r "$scratch/unpacked-web/$name" "$web_site" >/dev/null; then
    echo "$packages/$name.zip holds $listed; wanted $wanted, as built" >&2
    return 1
  fi
  echo "$packages/$name.zip: ${web_pages[*]}"
}

# The library's version, MAJOR.MINOR.PATCH (RizErozVersion.h), as the packages carry it.
library_version() {
  sed -n 's/^#define RIZEROZ_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)$/\2/p' \
    "$root/rodazivuziradovizozari/RizErozVersion.h" | paste -sd.
}

# The npm package: the folder that web/CMakeLists.txt's rizeroz-npm-package makes (in the
# viewer page's build, configured by scripts/web.sh), packed by npm pack.
npm_files=(README.md index.d.ts index.js node.js package.json rizeroz-module.js rizeroz-wasm.js)
pack_npm() {
  echo "=== package npm ==="
  "$root/scripts/web.sh" >/dev/null
  NODE_PATH=${NODE_PATH:-/usr/share/nodejs} cmake --build "$out/web" -j "$jobs" --target rizeroz-npm-package >/dev/null
  local version tgz
  version=$(library_version)
  tgz=$packages/rizeroz-$version.tgz
  rm -f "$tgz"
  (cd "$out/web/npm" && npm pack --pack-destination "$packages" --loglevel=error >/dev/null)
  local listed wanted
  listed=$(tar tzf "$tgz" | sort | tr '\n' ' ')
  wanted=$(printf "package/%s\n" "${npm_files[@]}" | sort | tr '\n' ' ')
  if [ "$listed" != "$wanted" ]; then
    echo "$tgz holds $listed; wanted $wanted" >&2
    return 1
  fi
  echo "$tgz: ${npm_files[*]} ($(stat -c %s "$tgz") bytes)"
}

# wine runs 32-bit programs when wine32 is installed and the kernel runs its i386 loader,
# as scripts/test.sh's windows step decides.
wine32_runs() {
  dpkg -s wine32:i386 >/dev/null 2>&1 && /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# A program of the C interface built as Microsoft's toolchain builds one: clang for
# ARCH-pc-windows-msvc, lld-link with its default options, the zip's rizeroz.lib
# (cmake/CheckMsvcLink.cmake); it runs under wine in the windows step's prefix, the
# 32-bit one only where wine32 runs.
check_msvc_program() {  # i686 or x86_64, the zip
  local arch=$1 zip=$2 run=()
  export RIZEROZ_WINEPREFIX=$out/wineprefix-$arch RIZEROZ_WINE=wine
  [ "$arch" = x86_64 ] && [ -x /usr/lib/wine/wine64 ] && RIZEROZ_WINE=/usr/lib/wine/wine64
  if [ "$arch" = x86_64 ] || wine32_runs; then
    run=(-DRUN="$root/scripts/wine-run.sh")
  else
    echo "wine32 does not run here: the 32-bit program is linked, not run"
  fi
  local status=0
  cmake -DZIP="$zip" -DWORK_DIR="$scratch/zip-$arch" -DARCH="$arch" -DSOURCE_DIR="$root" "${run[@]}" \
    -P "$root/cmake/CheckMsvcLink.cmake" || status=$?
  [ ${#run[@]} -eq 0 ] || WINEPREFIX="$RIZEROZ_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
  return "$status"
}

pack_zip() {  # i686 or x86_64
  local arch=$1 triple
  triple=$([ "$arch" = i686 ] && echo i686-w64-mingw32 || echo x86_64-w64-mingw32)
  echo "=== package zip ($arch): build ==="
  # The zip holds the tool as well.
  local always=(-DRIZEROZ_BUILD_TOOLS=ON) dir toolchain=$root/cmake/toolchains/mingw-w64-$arch.cmake
  build "$out/windows-$arch" "$out/package-zip-$arch" -DCMAKE_BUILD_TYPE=Release -DRIZEROZ_BUILD_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain"
  rm -rf "$scratch/cpack"
  (cd "$dir" && cpack -G ZIP -B "$scratch/cpack" >/dev/null)
  local zip
  zip=$(ls "$scratch"/cpack/*.zip)
  rm -f "$packages/$(basename "$zip")"
  # CPack's zip lists a folder twice that two parts of the install fill (bin/): the zip
  # is made again from what it holds, every entry once.
  rm -rf "$scratch/rezip" && mkdir -p "$scratch/rezip"
  (cd "$scratch/rezip" && cmake -E tar xf "$zip" &&
    cmake -E tar cf "$packages/$(basename "$zip")" --format=zip "$(basename "$zip" .zip)") || return
  zip=$packages/$(basename "$zip")
  echo "$zip"
  cmake -DZIP="$zip" -DWORK_DIR="$scratch/zip-$arch" -DOBJDUMP="$triple-objdump" -DTOOLCHAIN="$toolchain" \
    -DSOURCE_DIR="$root" -P "$root/cmake/CheckWindowsZip.cmake" || return
  check_msvc_program "$arch" "$zip"
}

for kind in "${kinds[@]}"; do
  case "$kind" in
    deb) pack_deb ;;
    # Not `a && b`: set -e does not stop the script when `a` fails there.
    zip) pack_zip i686; pack_zip x86_64 ;;
    web) pack_web ;;
    npm) pack_npm ;;
    *) echo "unknown package kind: $kind (deb, zip, web or npm)" >&2; exit 2 ;;
  esac
done
echo "Packages built and checked in $packages: ${kinds[*]}"
