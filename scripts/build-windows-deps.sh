#!/usr/bin/env bash
# Builds static libpng, libjpeg and libdeflate for 64-bit Windows from Debian's
# own source packages; MinGW has no packages of them. The result is cached outside the
# work tree (see windows_deps_dir) and rebuilt only when missing. Only adding
# the source-package entry to apt needs root.
set -euo pipefail
. "$(dirname "$0")/common.sh"

prefix=$(windows_deps_dir)
if [ -f "$prefix/lib/libpng16.a" ] && [ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/lib/libdeflate.a" ] && [ -f "$prefix/.complete" ]; then
    exit 0
fi

here=$(cd "$(dirname "$0")/.." && pwd)
sources=/etc/apt/sources.list.d/tsr-deb-src.sources
if ! apt-get source --print-uris libpng1.6 >/dev/null 2>&1; then
    as_root tee "$sources" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    as_root apt-get update -qq
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
apt-get source -qq libpng1.6 libjpeg-turbo libdeflate >/dev/null 2>&1

toolchain="$here/cmake/mingw-w64-x86_64.cmake"
rm -rf "$prefix"
mkdir -p "$prefix"

cmake -S libjpeg-turbo-*/ -B jpeg-build -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF -DWITH_JPEG8=OFF >/dev/null
cmake --build jpeg-build -j"$(nproc)" --target install >/dev/null

cmake -S libpng1.6-*/ -B png-build -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
      -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a >/dev/null
cmake --build png-build -j"$(nproc)" --target install >/dev/null

# libdeflate's own makefile names a MinGW static library libdeflatestatic.lib.
make -C libdeflate-*/ -j"$(nproc)" CC=x86_64-w64-mingw32-gcc AR=x86_64-w64-mingw32-ar libdeflatestatic.lib >/dev/null
cp libdeflate-*/libdeflatestatic.lib "$prefix/lib/libdeflate.a"
cp libdeflate-*/libdeflate.h "$prefix/include/"

# JUCE compiles its JPEG loader with JPEG_INTERNALS, which needs this header.
cp libjpeg-turbo-*/jpegint.h "$prefix/include/"

# JUCE includes jpeglib.h inside a namespace of its own and names
# jpeglibNamespace::boolean. When the Windows headers came first, jconfig.h
# skips its own typedef in favour of theirs, so bring that one into the namespace.
cat >> "$prefix/include/jconfig.h" <<'CFG'

#if defined(__cplusplus) && defined(__RPCNDR_H__)
 using ::boolean;
#endif
CFG

touch "$prefix/.complete"
echo "Windows libraries built in $prefix"
