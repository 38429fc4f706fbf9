#!/usr/bin/env bash
# Throwaway PostgreSQL 15 and MariaDB servers for the tests, on loopback ports of
# their own, in one work directory. Usage:
#   scripts/db-servers.sh start DIR   # starts both, writes DIR/env (source it)
#   scripts/db-servers.sh stop DIR    # stops both by pid and removes DIR
# DIR/env exports VT_PG_CONN and VT_MARIADB_CONN (ODBC connection strings).
set -euo pipefail

PG_PORT=${VT_PG_PORT:-55432}
MARIADB_PORT=${VT_MARIADB_PORT:-53306}
PG_BIN=/usr/lib/postgresql/15/bin

start_pg() {
  local w=$1/pg
  install -d -o postgres -g postgres "$w"
  runuser -u postgres -- "$PG_BIN/initdb" -D "$w/data" -U postgres --auth=trust -E UTF8 \
    --locale=C.UTF-8 >"$w/initdb.log" 2>&1
  runuser -u postgres -- "$PG_BIN/pg_ctl" -D "$w/data" -l "$w/pg.log" -w -t 60 \
    -o "-p $PG_PORT -k $w -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null
}

start_mariadb() {
  local m=$1/mariadb
  install -d -o mysql -g mysql "$m"
  mariadb-install-db --no-defaults --datadir="$m/data" --user=mysql \
    --auth-root-authentication-method=normal --skip-test-db >"$m/install.log" 2>&1
  mariadbd --no-defaults --datadir="$m/data" --socket="$m/mysqld.sock" --pid-file="$m/mysqld.pid" \
    --port="$MARIADB_PORT" --bind-address=127.0.0.1 --user=mysql \
    --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
    --skip-log-bin --log-error="$m/err.log" </dev/null >/dev/null 2>&1 &
  local i
  for i in $(seq 1 100); do
    if mariadb-admin --no-defaults --socket="$m/mysqld.sock" -uroot ping >/dev/null 2>&1; then
      mariadb --no-defaults --socket="$m/mysqld.sock" -uroot -e "CREATE DATABASE IF NOT EXISTS vttest"
      return 0
    fi
    sleep 0.2
  done
  echo "MariaDB did not start; see $m/err.log" >&2
  return 1
}

stop_all() {
  local dir=$1
  local pid
  if [ -f "$dir/pg/data/postmaster.pid" ]; then
    pid=$(head -n 1 "$dir/pg/data/postmaster.pid")
    kill -INT "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  if [ -f "$dir/mariadb/mysqld.pid" ]; then
    pid=$(cat "$dir/mariadb/mysqld.pid")
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -rf "$dir"
}

case "${1:-}" in
  start)
    dir=$2
    mkdir -p "$dir"
    chmod 755 "$dir"
    start_pg "$dir"
    start_mariadb "$dir"
    cat >"$dir/env" <<ENV
export VT_PG_CONN='Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=$PG_PORT;Database=postgres;Uid=postgres;Pwd=;'
export VT_MARIADB_CONN='Driver=MariaDB Unicode;Server=127.0.0.1;Port=$MARIADB_PORT;Uid=root;Pwd=;Database=vttest;'
ENV
    echo "database servers up: PostgreSQL on $PG_PORT, MariaDB on $MARIADB_PORT ($dir)"
    ;;
  stop)
    stop_all "$2"
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
