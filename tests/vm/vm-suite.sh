#!/bin/sh
# Runs inside the virtual machine, as root: the end-to-end tests, then the
# one that needs a user without access to the unit's node.
# Usage: vm-suite.sh BUILD-DIR
set -u
build="$1"
tests="$build/tests/vantrel_vm_tests"
unit="$build/src/unit/quorvex-virtual-unit"
status=0

"$tests" --gtest_filter='-NoAccess.*' || status=1

# The unit's node belongs to root (0600): an ordinary user may not open it.
"$unit" > /tmp/unit-noaccess.log 2>&1 &
pid=$!
i=0
while ! grep -q 'ready;' /tmp/unit-noaccess.log && [ $i -lt 100 ]; do sleep 0.2; i=$((i + 1)); done
mkdir -p /tmp/nobody && chown 65534:65534 /tmp/nobody && chmod 700 /tmp/nobody
setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/tmp/nobody XDG_RUNTIME_DIR=/tmp/nobody \
  "$tests" --gtest_filter='NoAccess.*' || status=1
kill -INT $pid
wait $pid || status=1
exit $status
