#!/usr/bin/env bash
# Runs wine_test.exe under Wine, in a private prefix of ARCH (win32 or
# win64) in WORK, under Xvfb, against a velora-server (with one user,
# wine/secret) on loopback. The settings file velodbc.ini goes into the
# prefix's Windows directory. With MSI, the drivers are installed from it
# first, the program loads the registered one, and after it the uninstall
# must leave neither the drivers' registry keys nor their files.
#   run_wine_test.sh SERVER EXE WORK ARCH [MSI]
set -euo pipefail
server=$1 exe=$2 work=$3 arch=$4 msi=${5:-}
export WINEPREFIX=$work/wineprefix WINEARCH=$arch WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
wine=wine
if [ "$arch" = win64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  wine=$WINELOADER
fi
mkdir -p "$work"
# Wine's loader for 32-bit programs needs a kernel that runs 32-bit x86
# code; some virtual machines' kernels are built without it. There the
# session cannot run at all: it is reported as skipped, with the reason,
# rather than as a failure of the driver.
if ! out=$($wine --version 2>&1) && [[ $out == *"Exec format error"* ]]; then
  echo "SKIPPED: this machine's kernel cannot run 32-bit programs: $out"
  exit 77
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 $wine wineboot -i
  # No window manager under Xvfb: Wine manages its windows itself.
  timeout 60 $wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
  timeout 60 wineserver -w
fi
rm -f "$work/port" "$work/test.db" "$work/tls.db" "$work/users"
echo secret | "$server" adduser --users "$work/users" --password-stdin wine >/dev/null 2>&1
"$server" --address 127.0.0.1 --port 0 --port-file "$work/port" --database "$work/test.db" \
  --users "$work/users" 2>"$work/server.log" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null || true' EXIT
# A second server with a certificate for localhost; "other" is a
# certificate of another name, a CA the first does not come from.
for stem in cert:localhost other:other.example; do
  [ -f "$work/${stem%:*}.pem" ] || openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -days 3650 -subj "/CN=${stem#*:}" -addext "subjectAltName=DNS:${stem#*:}" -keyout "$work/${stem%:*}.key" \
    -out "$work/${stem%:*}.pem" >/dev/null 2>&1
  cp "$work/${stem%:*}.pem" "$WINEPREFIX/drive_c/velora-${stem%:*}.pem"
done
rm -f "$work/port-tls"
"$server" --address 127.0.0.1 --port 0 --port-file "$work/port-tls" --database "$work/tls.db" \
  --users "$work/users" --tls-cert "$work/cert.pem" --tls-key "$work/cert.key" 2>"$work/server-tls.log" &
tlspid=$!
trap 'kill $pid $tlspid 2>/dev/null; wait $pid $tlspid 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$work/port" ] && [ -s "$work/port-tls" ] && break; sleep 0.1; done
# A port on which nothing listens: bound and closed again.
refused=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[Debug]\r\nLogFile=C:\\velora-trace.log\r\nLogMode=A2N2\r\n' >"$WINEPREFIX/drive_c/windows/velodbc.ini"
cd "$(dirname "$exe")"
drivers=("")
if [ -n "$msi" ]; then
  timeout 120 $wine msiexec /i "Z:${msi//\//\\}" /qn
  # The installer's wineserver (and its desktop) run without a display;
  # ended here, the program's own start under Xvfb gets one that has it.
  timeout 60 wineserver -k || true
  drivers=("Velora ANSI" "Velora")
fi
rc=0
for driver in "${drivers[@]}"; do
  rm -f "$WINEPREFIX/drive_c/velora-trace.log"
  xvfb-run -a -s "-screen 0 800x600x24 -nolisten tcp" \
    sh -c "timeout 120 $wine '$exe' $(cat "$work/port") $refused $(cat "$work/port-tls") ${driver:+'$driver'}; rc=\$?; wineserver -k; exit \$rc" ||
    rc=$?
done
if [ -n "$msi" ]; then
  timeout 120 $wine msiexec /x "Z:${msi//\//\\}" /qn
  key='HKLM\SOFTWARE\ODBC\ODBCINST.INI'
  for driver in "${drivers[@]}"; do
    if timeout 60 $wine reg query "$key\\$driver" >/dev/null 2>&1 ||
      timeout 60 $wine reg query "$key\\ODBC Drivers" /v "$driver" >/dev/null 2>&1; then
      echo "FAIL uninstall left the registration of $driver"
      rc=1
    fi
  done
  if [ -e "$WINEPREFIX/drive_c/Program Files/Velora ODBC" ]; then
    echo "FAIL uninstall left $(ls "$WINEPREFIX/drive_c/Program Files/Velora ODBC")"
    rc=1
  fi
  timeout 60 wineserver -k || true
fi
exit $rc
