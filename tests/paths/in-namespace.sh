#!/bin/sh
# Runs a test in user and mount namespaces of its own, where no setting of
# the machine reaches it: a private /run/pcscd (the tests' pcscd needs no
# root there, and neither it nor the test meets the system's pcscd, which
# goes on untouched) and an empty /etc/nfc, with libnfc's variables pinned.
#   in-namespace.sh COMMAND [ARGUMENT...]
# Listing the tests needs none: where no namespace can be made, the tests are found, and each fails with the line below.
for argument in "$@"; do [ "$argument" = --gtest_list_tests ] && exec "$@"; done
if ! unshare --user --map-root-user --mount true 2>/dev/null; then
  echo "the reader tests need user namespaces, which are disabled here or refused in a chroot: enable them (sysctl kernel.unprivileged_userns_clone=1 and user.max_user_namespaces > 0), and run the tests where / is its mount namespace's root (unshare --mount, then pivot_root, as scripts/fresh-debian does), not in a chroot" >&2
  exit 1
fi
exec env -u LIBNFC_DEVICE -u LIBNFC_DEFAULT_DEVICE LIBNFC_AUTO_SCAN=true LIBNFC_INTRUSIVE_SCAN=false LIBNFC_LOG_LEVEL=1 \
  unshare --user --map-root-user --mount sh -c \
  '{ [ -d /run/pcscd ] && mount -t tmpfs none /run/pcscd; } || { mount -t tmpfs none /run && mkdir /run/pcscd; } &&
   { [ ! -d /etc/nfc ] || mount -t tmpfs none /etc/nfc; } && exec "$@"' \
  in-namespace "$@"
