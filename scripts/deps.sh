#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need,
# when any of them is missing: the Linux build's, and for the Windows DLL
# the mingw-w64 cross compiler, 32-bit Wine and Xvfb (i386 packages, so the
# i386 architecture is added first).
set -euo pipefail
packages=(cmake g++ make pkg-config libgtest-dev googletest unixodbc unixodbc-dev odbcinst
          libsqlite3-dev sqlite3 libpq-dev postgresql postgresql-client patch libcrypt-dev libssl-dev openssl clang clang-format libclang-rt-14-dev
          python3 python3-pyodbc perl libdbd-odbc-perl php-cli php-odbc
          g++-mingw-w64-i686 wine wine32:i386 wine64 xvfb xauth fonts-wine)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  # Several installers may share the machine; a mirror in mid-sync fails an
  # index download now and then, so downloads are retried.
  apt=(apt-get -o DPkg::Lock::Timeout=900 -o Acquire::Retries=5)
  $SUDO "${apt[@]}" update -qq
  $SUDO "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"
fi
