#!/usr/bin/env bash
# The Debian package built from this build tree and unpacked into a
# scratch root: its files and maintainer scripts, the driver entry its
# post-install writes (naming the unpacked library here), a data source
# added in the terminal dialog (SQLConfigDataSource with a window, under a
# pseudo-terminal), and a query against the unpacked server through the
# data source of the package's template. 77 (skipped) without cpack or
# dpkg-deb.
#   package_test.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1 work=$2 root=$2/root
command -v cpack >/dev/null && command -v dpkg-deb >/dev/null || exit 77
rm -rf "$work" && mkdir -p "$work/odbc"
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log") || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/velora-odbc_*_"$(dpkg --print-architecture)".deb)
dpkg-deb -x "$deb" "$root" && dpkg-deb -e "$deb" "$work/control"
share=$root/usr/share/velora-odbc lib=$(ls "$root"/usr/lib/*/odbc/libveldrv32.so)
grep -q '^ExecStart=/usr/bin/velora-server --database /var/lib/velora/velora.db --users /var/lib/velora/users ' "$root/usr/lib/systemd/system/velora-server.service"
grep -q 'odbcinst -i -d -f /usr/share/velora-odbc/driver.ini' "$work/control/postinst"
grep -q 'odbcinst -u -d -n Velora' "$work/control/prerm"

export ODBCSYSINI=$work/odbc ODBCINI=$work/odbc/odbc.ini HOME=$work/odbc
sed "s|= /usr/|= $root/usr/|" "$share/driver.ini" | odbcinst -i -d -r >/dev/null
diff <(printf '[Velora]\nDescription=Velora ODBC driver\nDriver=%s\nSetup=%s\nThreading=0\nUsageCount=1\n\n' "$lib" "$lib") "$ODBCSYSINI/odbcinst.ini"
add='import ctypes, sys; sys.exit(1 - ctypes.CDLL("libodbcinst.so.2").SQLConfigDataSource(ctypes.c_void_p(1), 1, b"Velora", b"DSN=Tty\0Service=7\0\0"))'
printf '\nTerminal one\nann\ny\nhost9\n\n' | script -qec "python3 -c '$add'" /dev/null >"$work/tty.out"
diff <(printf '[Tty]\nDriver=Velora\nDescription=Terminal one\nServer=host9\nService=7\nUser=ann\nPassword=Yes\n\n') "$ODBCINI"

mkfifo "$work/port"
timeout 60 "$root/usr/bin/velora-server" --port 0 --port-file "$work/port" --database "$work/db" 2>"$work/server.log" &
trap 'kill $! 2>/dev/null || true' EXIT
sed "s/^Service = .*/Service = $(timeout 20 cat "$work/port")/" "$share/datasource.ini" | odbcinst -i -s -r >/dev/null
out=$(isql -b -v VeloraLocal <<<"SELECT 6 * 7" 2>&1)
[[ $out == *"| 42 "* ]] || { echo "$out"; exit 1; }
