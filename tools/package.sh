#!/usr/bin/env bash
# Installs what is missing, builds Quillon with the tests' optimisation and Debian's hardening
# flags, and makes its Debian package, quillon_VERSION_ARCH.deb, in the repository's folder
# (the programs stripped). Install it with
#   apt install ./quillon_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

# dpkg-shlibdeps (of build-essential's dpkg-dev) computes the dependencies; CPack finds the
# binaries to read with `file`.
bash tools/install-deps.sh file
# Debian's hardening flags: stack protector, fortified functions, read-only relocations.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_BUILD_TESTS=OFF \
    -DQUILLON_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build build-package -j "$(nproc 2>/dev/null || echo 2)"
(cd build-package && cpack -G DEB >/dev/null)
for deb in build-package/quillon_*.deb; do
    mv -f "$deb" .
    echo "Made $(basename "$deb")"
done
