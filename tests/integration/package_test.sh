#!/usr/bin/env bash
# The Debian packages built from this build tree and unpacked into a
# scratch root: their files, dependencies (from dpkg-shlibdeps), lintian's
# verdict (no errors; when lintian is installed), the manual pages, the
# unit and its configuration file; velora-odbc's maintainer scripts run
# against a private unixODBC folder (the post-install registers the
# drivers, the pre-removal unregisters them); a data source added in the
# terminal dialog (SQLConfigDataSource with a window, under a
# pseudo-terminal), and a query against the unpacked server through the
# data source of the package's template. 77 (skipped) without cpack or
# dpkg-deb.
#   package_test.sh BUILD_DIR WORK_DIR
set -euo pipefail
trap 'echo "package_test.sh: line $LINENO failed: $BASH_COMMAND" >&2' ERR
build=$1 work=$2 root=$2/root
command -v cpack >/dev/null && command -v dpkg-deb >/dev/null || exit 77
rm -rf "$work" && mkdir -p "$work/odbc" "$work/drivers"
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log") || { cat "$work/cpack.log"; exit 1; }
arch=$(dpkg --print-architecture)
for name in odbc server; do
  deb=$work/velora-${name}_*_$arch.deb
  dpkg-deb -x $deb "$root" && dpkg-deb -e $deb "$work/$name"
  depends=$(dpkg-deb -f $deb Depends)
  [[ $depends == *libc6* && $depends == *libstdc++6* ]] || { echo "$name: Depends: $depends"; exit 1; }
  if command -v lintian >/dev/null; then
    lintian --fail-on error --suppress-tags dir-or-file-in-opt $deb >"$work/lintian-$name.log" 2>&1 ||
      { cat "$work/lintian-$name.log"; exit 1; }
  fi
done
# The SQLAlchemy dialect: for all architectures, found through its entry
# point in the unpacked tree.
py=$(ls "$work"/python3-sqlalchemy-velora_*_all.deb)
dpkg-deb -x "$py" "$root"
[[ $(dpkg-deb -f "$py" Depends) == *python3-sqlalchemy*velora-odbc* ]]
! command -v lintian >/dev/null || lintian --fail-on error "$py" >"$work/lintian-py.log" 2>&1 ||
  { cat "$work/lintian-py.log"; exit 1; }
! python3 -c 'import sqlalchemy' 2>/dev/null || PYTHONPATH=$root/usr/lib/python3/dist-packages python3 -c \
  'import sqlalchemy; assert sqlalchemy.create_engine("velora://u@h:1/").dialect.name == "velora"'
[[ $(dpkg-deb -f "$work"/velora-odbc_*.deb Depends) == *libssl3*odbcinst* ||
   $(dpkg-deb -f "$work"/velora-odbc_*.deb Depends) == *odbcinst*libssl3* ]]
[[ $(dpkg-deb -f "$work"/velora-server_*.deb Depends) == *adduser*libpq5*libsqlite3* ]]
share=$root/usr/share/velora-odbc lib=$(ls "$root"/usr/lib/*/odbc/libveldrv32.so)
libw=$(ls "$root"/usr/lib/*/odbc/libvelodbcw.so)
for f in usr/bin/velora-server etc/velora/velora-server.conf usr/share/doc/velora-server/copyright \
         usr/share/doc/velora-odbc/copyright usr/share/doc/velora-odbc/changelog.gz \
         usr/share/man/man1/velora-server.1.gz usr/share/man/man7/velora-odbc.7.gz; do
  [[ -f $root/$f ]] || { echo "missing $f"; exit 1; }
done
! dpkg-deb -c "$work"/velora-odbc_*.deb | grep -q 'bin/velora-server'
! dpkg-deb -c "$work"/velora-server_*.deb | grep -q 'libveldrv32'
grep -qx /etc/velora/velora-server.conf "$work/server/conffiles"
unit=$root/lib/systemd/system/velora-server.service
grep -qx 'ExecStart=/usr/bin/velora-server --config /etc/velora/velora-server.conf' "$unit"
if command -v systemctl >/dev/null && systemctl --root="$root" cat velora-server >"$work/unit" 2>/dev/null; then
  grep -q 'ExecReload=/bin/kill -HUP' "$work/unit"
fi
"$root/usr/bin/velora-server" --config "$root/etc/velora/velora-server.conf" --print-config |
  grep -qx 'database = /var/lib/velora/velora.db'
for page in man1/velora-server.1 man7/velora-odbc.7; do
  MANWIDTH=80 man -l "$root/usr/share/man/$page.gz" 2>&1 | grep -q '^SYNOPSIS\|^DESCRIPTION' ||
    { echo "man $page does not render"; exit 1; }
done
grep -q 'adduser --system' "$work/server/postinst"

# The maintainer scripts, their paths pointed at the scratch root.
export ODBCSYSINI=$work/odbc ODBCINI=$work/odbc/odbc.ini HOME=$work/odbc
for t in "$share"/drivers/*.ini; do sed "s|= /usr/|= $root/usr/|" "$t" >"$work/drivers/${t##*/}"; done
sed -i "s|/usr/share/velora-odbc/drivers|$work/drivers|; s|/etc/odbcinst.ini|$work/iodbcinst.ini|" \
  "$work/odbc/postinst" "$work/odbc/prerm"
sh "$work/odbc/postinst" configure && sh "$work/odbc/postinst" configure  # again: an upgrade
[[ $(odbcinst -q -d) == $'[Velora]\n[Velora ANSI]' ]]
# The library for iODBC, where the build has it, in iODBC's file only.
libi=$(ls "$root"/usr/lib/*/odbc/libvelodbcw-iodbc.so 2>/dev/null || true)
[[ -z $libi ]] || diff <(printf '[Velora iODBC]\nDescription = Velora ODBC driver\nDriver = %s\nSetup = %s\nThreading = 0\n' \
                          "$libi" "$libi") "$work/iodbcinst.ini"
diff <(printf '[%s]\nDescription=Velora ODBC driver\nDriver=%s\nSetup=%s\nThreading=0\nUsageCount=1\n\n' \
         Velora "$libw" "$libw" "Velora ANSI" "$lib" "$lib") "$ODBCSYSINI/odbcinst.ini"
add='import ctypes, sys; sys.exit(1 - ctypes.CDLL("libodbcinst.so.2").SQLConfigDataSource(ctypes.c_void_p(1), 1, b"Velora", b"DSN=Tty\0Service=7\0\0"))'
printf '\nTerminal one\nann\ny\nhost9\n\n' | script -qec "python3 -c '$add'" /dev/null >"$work/tty.out"
diff <(printf '[Tty]\nDriver=Velora\nDescription=Terminal one\nServer=host9\nService=7\nUser=ann\nPassword=Yes\n\n') "$ODBCINI"

mkfifo "$work/port"
timeout 60 "$root/usr/bin/velora-server" --port 0 --port-file "$work/port" --database "$work/db" 2>"$work/server.log" &
trap 'kill $! 2>/dev/null || true' EXIT
sed "s/^Service = .*/Service = $(timeout 20 cat "$work/port")/" "$share/datasource.ini" | odbcinst -i -s -r >/dev/null
out=$(isql -b -v VeloraLocal <<<"SELECT 6 * 7" 2>&1)
[[ $out == *"| 42 "* ]] || { echo "$out"; exit 1; }

sh "$work/odbc/prerm" remove
! grep -q "^\[Velora" <(odbcinst -q -d 2>&1)  # both unregistered
! grep -q "^\[Velora" "$work/iodbcinst.ini" 2>/dev/null
