#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need,
# when any of them is missing.
set -euo pipefail
packages=(cmake g++ make pkg-config libgtest-dev googletest unixodbc unixodbc-dev odbcinst
          libsqlite3-dev sqlite3 libpq-dev postgresql postgresql-client patch libcrypt-dev libssl-dev openssl
          clang clang-format libclang-rt-14-dev
          python3 python3-pyodbc perl libdbd-odbc-perl php-cli php-odbc)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
