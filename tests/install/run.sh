#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what landed there:
# the program runs from it, finds our reader library through its RPATH,
# and takes another library of the same name through LD_LIBRARY_PATH.
#   run.sh BUILD_DIR STANDIN_LIBRARY_DIR SCREENSHOT_CHECK
set -euo pipefail
build=$1 standin=$2 checker=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" > /dev/null
libdir=$(find "$prefix" -name 'libfelica_for_vb.so.1' -printf '%h\n' | head -n 1)
for f in bin/qavo-card-reader share/applications/qavo-card-reader.desktop \
         share/icons/hicolor/32x32/apps/qavo-card-reader.png share/qavo-card-reader/samples/demo-card.json; do
  test -e "$prefix/$f" || { echo "missing: $f"; exit 1; }
done
test -n "$libdir" || { echo "missing: libfelica_for_vb.so.1"; exit 1; }
soname=$(objdump -p "$libdir/libfelica_for_vb.so.1" | awk '/SONAME/ { print $2 }')
test "$soname" = libfelica_for_vb.so.1 || { echo "soname is $soname"; exit 1; }
exported=$(nm -D --defined-only "$libdir/libfelica_for_vb.so.1" | awk '$2 == "T" { print $3 }' | sort | tr '\n' ' ')
expected="close_reader_writer dispose_library get_last_error_types initialize_library open_reader_writer_auto polling_and_get_card_information read_block_without_encryption "
test "$exported" = "$expected" || { echo "exports: $exported"; exit 1; }
desktop-file-validate "$prefix/share/applications/qavo-card-reader.desktop"

program=$prefix/bin/qavo-card-reader
resolved() { realpath "$(ldd "$program" | awk '/libfelica_for_vb.so.1/ { print $3 }')"; }
test "$(resolved)" = "$(realpath "$libdir/libfelica_for_vb.so.1")" || { echo "program finds: $(resolved)"; exit 1; }
test "$(LD_LIBRARY_PATH=$standin resolved)" = "$(realpath "$standin/libfelica_for_vb.so.1")" \
  || { echo "LD_LIBRARY_PATH does not take precedence"; exit 1; }

# The installed program shows its window, reads the installed demo card at a
# press of READ, and ends once its window is gone, each within a bound.
"$(dirname "$0")/../screenshot/run.sh" "$program" "$checker" "$prefix/share/qavo-card-reader/samples/demo-card.json" \
  "$prefix/window.png" 1
echo "install: ok"
