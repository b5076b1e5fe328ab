#!/usr/bin/env bash
# Installs the Debian packages a job needs, when any of them is missing:
#   deps.sh demo   what ./scripts/demo.sh builds and runs: compiler, CMake,
#                  unixODBC, SQLite, OpenSSL, libpq and libcrypt headers
#   deps.sh test   (the default) also what ./scripts/test.sh needs:
#                  GoogleTest, clang, PostgreSQL, the client languages
#                  (Node.js with npm too),
#                  lintian and man-db for the packages, and for the
#                  Windows DLLs the mingw-w64 cross compilers (32- and
#                  64-bit), Wine (32- and 64-bit), Xvfb and wixl for the
#                  installers (i386 packages: only then is the i386
#                  architecture added), and iODBC (libiodbc2, iodbc for
#                  iodbctest) with its headers unpacked into build/iodbc
#                  (libiodbc2-dev conflicts with unixodbc-dev, so it is
#                  not installed); CMake builds the library for iODBC
#                  from them; LibreOffice Base without its GUI, its
#                  database drivers (the ODBC bridge) and Python UNO
set -euo pipefail
purpose=${1:-test}
root=$(cd "$(dirname "$0")/.." && pwd)
demo=(cmake g++ make pkg-config unixodbc unixodbc-dev odbcinst libsqlite3-dev sqlite3 libpq-dev
      libcrypt-dev libssl-dev openssl)
test=(libgtest-dev googletest postgresql postgresql-client patch clang clang-format libclang-rt-14-dev prometheus
      python3 python3-pyodbc python3-sqlalchemy python3-pytest python3-pandas perl libdbd-odbc-perl php-cli php-odbc r-cran-rodbc nodejs dpkg-dev lintian man-db
      g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix wine wine32:i386 wine64 xvfb xauth fonts-wine
      wixl msitools libiodbc2 iodbc libreoffice-base-nogui libreoffice-base-drivers python3-uno)
case "$purpose" in
  demo) packages=("${demo[@]}") ;;
  test) packages=("${demo[@]}" "${test[@]}") ;;
  *) echo "deps.sh: unknown purpose $purpose (demo or test)" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# npm builds the Node.js client test's odbc package from source; some
# Node.js packages carry it, Debian's has it apart.
if [[ $purpose == test ]] && ! command -v npm >/dev/null; then missing+=(npm); fi
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  if [[ " ${missing[*]} " == *:i386\ * ]]; then
    dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  fi
  # Several installers may share the machine; a mirror in mid-sync fails an
  # index download now and then, so downloads are retried.
  apt=(apt-get -o DPkg::Lock::Timeout=900 -o Acquire::Retries=5)
  $SUDO "${apt[@]}" update -qq
  $SUDO "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"
fi

if [[ $purpose == test && ! -f $root/build/iodbc/usr/include/iodbc/sql.h ]]; then
  download=$(mktemp -d)
  chmod 755 "$download"  # apt's download user writes there
  if (cd "$download" && apt-get download -qq libiodbc2-dev) &&
     mkdir -p "$root/build/iodbc" && dpkg-deb -x "$download"/libiodbc2-dev_*.deb "$root/build/iodbc"; then
    echo "iODBC's headers: $root/build/iodbc/usr/include/iodbc"
  else
    echo "deps.sh: iODBC's headers could not be fetched: the library for iODBC is not built" >&2
  fi
  rm -rf "$download"
fi
