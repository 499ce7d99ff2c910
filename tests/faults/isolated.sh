#!/bin/sh
# Runs a test program with a private, empty /run/vantrelvpn, so the services
# it starts there and the ones other suites start never meet. Needs root and
# mount namespaces; without them the program runs as it is and the ctest
# resource lock is the only guard.
if [ "$(id -u)" = 0 ] && mkdir -p /run/vantrelvpn && unshare -m --propagation private true 2>/dev/null; then
    exec unshare -m --propagation private sh -c \
        'mount -t tmpfs -o mode=0755 tmpfs /run/vantrelvpn && exec "$@"' isolated "$@"
fi
exec "$@"
