#!/usr/bin/env bash
# libnfc's own nfc-list must find the emulated FeliCa target.
#   nfc_list_check.sh EMULATOR CARD.json
set -euo pipefail
emulator=$1 card=$2
out=$(mktemp)
"$emulator" "$card" > "$out" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
connstring=$(head -n 1 "$out")
listing=$(LIBNFC_AUTO_SCAN=false LIBNFC_DEFAULT_DEVICE="$connstring" timeout 20 nfc-list -t 2)
echo "$listing"
grep -q "1 Felica (212 kbps) passive target(s) found" <<<"$listing"
grep -q "ID (NFCID2): 01  12  04  1e  5a  3c  7d  01" <<<"$listing"
