#!/usr/bin/env bash
# Checks README.md's statements that can be checked mechanically against
# the tree and the built server:
#   check-readme.sh [SERVER_EXE]   (from the repository's top folder)
# - the server's option table lists exactly the options `--help` prints;
# - every key `--print-config` writes is an option of that table;
# - the key table lists the driver's connection keys (its table in
#   odbc/connect/ConnectKeys.h) with their aliases, sources and defaults;
# - every velodbc.ini key of the settings example is read by the driver;
# - the package lists of the quick start are those scripts/deps.sh installs;
# - the package file names carry the project's version;
# - every file or folder the README names in backquotes exists.
# The examples of "Connecting from your application" run as written in the
# client tests (tests/clients/readme_examples.sh).
set -uo pipefail
cd "$(dirname "$0")/.."
server=${1:-build/plain/server/velora-server}
failed=0
fail() { echo "README: $*" >&2; failed=1; }
same() { [[ "$2" == "$3" ]] || fail "$1 differ: README has [$2], the tree [$3]"; }
words() { tr ' ,' '\n\n' | sed '/^$/d' | sort -u | tr '\n' ' '; }

table=$(grep '^| `-' README.md | cut -d'|' -f2 | grep -o -- '--[a-z-]*' | words)
help=$("$server" --help 2>&1 | grep -o '^ *\(-v, \)\?--[a-z-]*' | sed 's/.*--/--/' | grep -vx -- --help | words)
same "server options" "$table" "$help"
for key in $("$server" --print-config --database x.db 2>/dev/null | sed -n 's/^\([a-z-]*\) *=.*/\1/p' | sort -u); do
  [[ " $table " == *" --$key "* || " $table " == *" --no-$key "* ]] || fail "configuration key $key is not in the option table"
done

# The README's key table against the driver's (odbc/connect/ConnectKeys.h):
# the same keys, aliases and sources, and the defaults the README writes as
# values ("empty" or "-" for none; a described default is not compared).
readme_keys=$(sed -n '/^| Key (alias)/,/^$/p' README.md | tail -n +3 | awk -F'|' 'NF > 3 {
  keys = $2; from = $3; fallback = $4
  gsub(/ *\(`/, "/", keys); gsub(/[`) ]/, "", keys); gsub(/[` ]/, "", from); gsub(/^ *| *$/, "", fallback)
  if (fallback == "empty" || fallback == "-") fallback = ""; else if (fallback ~ /^`[^`]*`$/) gsub(/`/, "", fallback); else fallback = "*"
  n = split(keys, k, ","); for (i = 1; i <= n; ++i) print k[i] "|" from "|" fallback }' | sort)
driver_keys=$(tr -d '\n' < odbc/connect/ConnectKeys.h | grep -o '{"[A-Za-z]*", *\("[A-Za-z]*"\|nullptr\), *k[A-Za-z |]*, *"[^"]*"' | awk -F', *' '{
  name = $1; alias = $2; fallback = $4; gsub(/[{"]/, "", name); gsub(/"/, "", alias); gsub(/"/, "", fallback)
  from = $3 ~ /kFromBoth/ ? "both" : $3 ~ /kFromString/ ? "string" : "odbc.ini"
  print name (alias == "nullptr" ? "" : "/" alias) "|" from "|" fallback }' | sort)
[[ -n $driver_keys ]] || fail "no keys found in odbc/connect/ConnectKeys.h"
while IFS='|' read -r key from fallback; do
  row=$(grep "^$key|" <<<"$driver_keys") || { fail "key $key is not in the driver's key table"; continue; }
  if [[ $row != "$key|$from|"* ]]; then
    fail "key $key: README reads it from [$from], the driver from [$(cut -d'|' -f2 <<<"$row")]"
  elif [[ $fallback != "*" && $row != "$key|$from|$fallback" ]]; then
    fail "key $key: README's default [$fallback], the driver's [${row##*|}]"
  fi
done <<<"$readme_keys"
for key in $(cut -d'|' -f1 <<<"$driver_keys"); do
  grep -q "^$key|" <<<"$readme_keys" || fail "key $key of the driver is not in the README's key table"
done
for key in $(sed -n '/^    \[Debug\]/,/^$/p' README.md | sed -n 's/^    \([A-Za-z]*\)=.*/\1/p'); do
  grep -q "\"$key\"" base/Settings.cpp || fail "velodbc.ini key $key is not read"
done

source <(sed -n '/^demo=(/,/)$/p; /^test=(/,/)$/p' scripts/deps.sh)
deps() { local -n list=$1; echo "${list[@]}" | words; }
readme_list() { grep "^| \`./scripts/$1.sh\`" README.md | cut -d'|' -f3 | sed 's/.*deps.sh [a-z]*`: //; s/the demo.s and //; s/ (.*//' | words; }
same "demo packages" "$(readme_list demo)" "$(deps demo)"
same "test packages" "$(readme_list test)" "$(deps test)"

version=$(sed -n 's/^project(VeloraODBC VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
for name in $(grep -o 'velora-[a-z]*_[0-9.]*_amd64.deb' README.md | sort -u); do
  [[ $name == *"_${version}_"* ]] || fail "$name does not carry version $version"
done
for path in $(grep -o '`\(scripts\|tests\|protocol\|packaging\|cmake\|windows\|server\|odbc\|odbc3\|bench\)/[A-Za-z0-9_./-]*`\|`LICENSE`' README.md | tr -d '`' | sort -u); do
  # A program the build makes is named by its source file.
  [[ -e $path || -e ${path%.exe}.cpp ]] || fail "$path does not exist"
done
# The architecture note names files; each must exist (a name with * must
# match one at least; NAME stands for the one a recipe adds).
for path in $(grep -o '`[a-z0-9]*/[A-Za-z0-9_./*-]*`' docs/ARCHITECTURE.md | tr -d '`' | grep -v NAME | sort -u); do
  compgen -G "$path" >/dev/null || fail "docs/ARCHITECTURE.md: $path does not exist"
done
[[ $failed -eq 0 ]] && echo "README statements: OK"
exit "$failed"
