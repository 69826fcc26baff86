#!/bin/sh
# Runs a test in user and mount namespaces of its own, with a private
# /run/pcscd: the tests' pcscd needs no root there, and neither it nor the
# test meets the system's pcscd, which goes on untouched.
#   in-namespace.sh COMMAND [ARGUMENT...]
if ! unshare --user --map-root-user --mount true 2>/dev/null; then
  echo "the PC/SC tests need user namespaces, which are disabled here: enable them (sysctl kernel.unprivileged_userns_clone=1 and user.max_user_namespaces > 0)" >&2
  exit 1
fi
exec unshare --user --map-root-user --mount sh -c \
  '{ [ -d /run/pcscd ] && mount -t tmpfs none /run/pcscd; } || { mount -t tmpfs none /run && mkdir /run/pcscd; } && exec "$@"' \
  in-namespace "$@"
