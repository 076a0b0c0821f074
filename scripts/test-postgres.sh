#!/usr/bin/env bash
# A throw-away PostgreSQL server for the records tests: a cluster in a
# temporary folder that listens only on a Unix socket in that folder.
#
#   eval "$(scripts/test-postgres.sh start)"   # exports TARN_TEST_PG*
#   scripts/test-postgres.sh stop "$TARN_TEST_PGDIR"
#
# The tests stop and start the server through "$TARN_TEST_PGCTL stop|start".
# initdb refuses to run as root, so under root the server runs as the
# package's own user postgres.
set -euo pipefail

bin=/usr/lib/postgresql/15/bin
port=5432

case "${1:-}" in
  start)
    [ -x "$bin/initdb" ] || { echo "test-postgres: $bin/initdb is missing (package postgresql)" >&2; exit 1; }
    dir=$(mktemp -d /tmp/tarn-pg.XXXXXX)
    chmod 755 "$dir"
    as=()
    if [ "$(id -u)" -eq 0 ]; then
      chown postgres:postgres "$dir"
      as=(runuser -u postgres --)
    fi
    "${as[@]}" "$bin/initdb" -D "$dir/data" -A trust -U tarn -E UTF8 --no-sync \
      >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; rm -rf "$dir"; exit 1; }
    cat >"$dir/ctl" <<CTL
#!/bin/sh
# $dir/ctl start|stop: this test server's pg_ctl.
exec ${as[*]} $bin/pg_ctl -D $dir/data -l $dir/server.log -w -t 30 \\
  -o "-c listen_addresses='' -k $dir -p $port -c fsync=off" "\$@"
CTL
    chmod 755 "$dir/ctl"
    "$dir/ctl" start >/dev/null || { cat "$dir/server.log" >&2; rm -rf "$dir"; exit 1; }
    echo "export TARN_TEST_PGDIR=$dir TARN_TEST_PGHOST=$dir TARN_TEST_PGPORT=$port" \
         "TARN_TEST_PGUSER=tarn TARN_TEST_PGCTL=$dir/ctl"
    ;;
  stop)
    dir=${2:?usage: $0 stop DIR}
    case "$dir" in /tmp/tarn-pg.*) ;; *) echo "test-postgres: not a test server: $dir" >&2; exit 2 ;; esac
    if [ -x "$dir/ctl" ]; then "$dir/ctl" stop -m fast >/dev/null 2>&1 || true; fi
    rm -rf "$dir"
    ;;
  *) echo "usage: $0 start | stop DIR" >&2; exit 2 ;;
esac
