#!/usr/bin/env bash
# The examples under README.md's "Connecting from your application" run as written against
# the test server, with its port, data source and driver name put in: each must print
# "héllo" once per connection. Run by run_with_server.sh.
#   readme_examples.sh README.md PYTHON
set -euo pipefail
readme=$1 python=$2
port=$(sed -n 's/^Service = //p' "$ODBCINI")
rm -f "$VELORA_WORK"/example*
awk -v dir="$VELORA_WORK" '/^## /{on = /^## Connecting from your application/} on && /^```[a-z]+$/{file = dir "/example" ++n "." substr($0, 4); next}
  /^```$/{file = ""} on && file{print > file}' "$readme"
declare -A run=([python]=$python [perl]=perl [php]=php [r]=Rscript)
failed=0 count=0
for example in "$VELORA_WORK"/example*; do
  count=$((count + 1))
  sed -i "s/VeloraSample/$VELORA_DSN/; s/5480/$port/; s/{Velora}/{$VELORA_DRIVER}/" "$example"
  output=$("${run[${example##*.}]}" "$example" 2>&1) || true
  [[ $output == $'h\xc3\xa9llo\nh\xc3\xa9llo' ]] || { echo "FAIL $example printed: $output" >&2; failed=1; }
done
[[ $count -eq 5 ]] || { echo "FAIL found $count examples, want 5" >&2; failed=1; }
[[ $failed -eq 0 ]] && echo "README examples: OK"
exit "$failed"
