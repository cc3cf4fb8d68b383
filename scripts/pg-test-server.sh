#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the store tests and the benchmark.
#
#   scripts/pg-test-server.sh start RUNTIME_DIR   prints shell lines to eval:
#       export LUMARC_TEST_PG='DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=...;...'
#   scripts/pg-test-server.sh restart RUNTIME_DIR restarts it (tests of a lost server)
#   scripts/pg-test-server.sh stop RUNTIME_DIR    stops it and removes the cluster
#
# The cluster lives in RUNTIME_DIR/pg, listens on a free TCP port of
# 127.0.0.1 only and keeps its unix socket in the cluster folder. initdb
# refuses root, so as root the server runs as the "postgres" user.
# Everything but the export lines goes to stderr.
set -euo pipefail

cmd=${1:-}
runtime=${2:-}
if [ -z "$cmd" ] || [ -z "$runtime" ]; then
  echo "usage: $0 start|restart|stop RUNTIME_DIR" >&2
  exit 2
fi
runtime=$(cd "$runtime" && pwd)
pgdir="$runtime/pg"
data="$pgdir/data"

bindir=""
for d in /usr/lib/postgresql/15/bin $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
  if [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ]; then bindir=$d; break; fi
done
if [ -z "$bindir" ]; then
  echo "pg-test-server: PostgreSQL server binaries not found (package postgresql)" >&2
  exit 1
fi

as_pg() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

port_free() {
  # Nothing answers on 127.0.0.1:$1.
  ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

case "$cmd" in
start)
  if [ -f "$data/postmaster.pid" ]; then
    echo "pg-test-server: a cluster is already running in $data" >&2
    exit 1
  fi
  mkdir -p "$pgdir"
  if [ "$(id -u)" -eq 0 ]; then
    # The postgres user must reach the cluster folder inside the runtime dir.
    chmod o+x "$runtime"
    chown postgres: "$pgdir"
  fi
  chmod 700 "$pgdir"
  user=lumarc_test
  db=lumarc_test
  pw=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
  pwfile="$pgdir/pwfile"
  ( umask 077; printf '%s\n' "$pw" > "$pwfile" )
  [ "$(id -u)" -eq 0 ] && chown postgres: "$pwfile"
  as_pg "$bindir/initdb" -D "$data" -U "$user" --pwfile="$pwfile" -E UTF8 --locale=C \
        --auth-local=trust --auth-host=scram-sha-256 >"$pgdir/initdb.log" 2>&1 || {
    echo "pg-test-server: initdb failed:" >&2; cat "$pgdir/initdb.log" >&2; exit 1; }
  rm -f "$pwfile"
  started=0
  for attempt in $(seq 1 20); do
    port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
    port_free "$port" || continue
    if as_pg "$bindir/pg_ctl" -D "$data" -l "$pgdir/server.log" -w -t 30 \
         -o "-c listen_addresses=127.0.0.1 -p $port -c unix_socket_directories=$pgdir -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
         start >"$pgdir/pg_ctl.log" 2>&1; then
      started=1
      break
    fi
  done
  if [ "$started" != 1 ]; then
    echo "pg-test-server: the server did not start:" >&2
    cat "$pgdir/pg_ctl.log" "$pgdir/server.log" >&2 2>/dev/null || true
    exit 1
  fi
  as_pg "$bindir/createdb" -h "$pgdir" -p "$port" -U "$user" "$db" >&2
  echo "$port" > "$pgdir/port"
  echo "export LUMARC_TEST_PG='DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=$port;DATABASE=$db;UID=$user;PWD=$pw'"
  # For tests that restart the server under a running program.
  echo "export LUMARC_TEST_PG_CTL='$(cd "$(dirname "$0")" && pwd)/$(basename "$0")'"
  echo "export LUMARC_TEST_PG_RUNTIME='$runtime'"
  ;;
restart)
  # A fast restart on the same port: every connection is cut.
  as_pg "$bindir/pg_ctl" -D "$data" -m fast -w -t 30 restart >"$pgdir/pg_ctl.log" 2>&1 || {
    echo "pg-test-server: restart failed:" >&2; cat "$pgdir/pg_ctl.log" >&2; exit 1; }
  ;;
stop)
  if [ -f "$data/postmaster.pid" ]; then
    as_pg "$bindir/pg_ctl" -D "$data" -m fast -w -t 30 stop >/dev/null 2>&1 ||
      as_pg "$bindir/pg_ctl" -D "$data" -m immediate stop >/dev/null 2>&1 || true
  fi
  rm -rf "$pgdir"
  ;;
*)
  echo "usage: $0 start|restart|stop RUNTIME_DIR" >&2
  exit 2
  ;;
esac
