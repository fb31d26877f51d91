# Radicale for the scripts, on a free port of 127.0.0.1, stopped by its own
# process id. Source it, write the htpasswd file DIR/users ("user:password"
# lines), then
#   start_radicale DIR [LOG_LEVEL]   sets radicale_port and radicale_pid
#   stop_radicale                    (safe to call twice; put it in a trap)
# The configuration is DIR/radicale.conf, the storage DIR/collections, the
# log DIR/radicale.log. start_radicale waits until the server answers and
# fails with its log when it does not start within 60 s.
radicale_pid=""
radicale_port=""

start_radicale() {
  local dir="$1" level="${2:-warning}"
  radicale_port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
  cat >"$dir/radicale.conf" <<CONF
[server]
hosts = 127.0.0.1:$radicale_port
[auth]
type = htpasswd
htpasswd_filename = $dir/users
htpasswd_encryption = plain
delay = 0
[storage]
filesystem_folder = $dir/collections
[rights]
type = owner_only
[web]
type = none
[logging]
level = $level
CONF
  radicale --config "$dir/radicale.conf" >"$dir/radicale.log" 2>&1 &
  radicale_pid=$!
  local _
  for _ in $(seq 1 600); do
    (exec 3<>"/dev/tcp/127.0.0.1/$radicale_port") 2>/dev/null && return 0
    if ! kill -0 "$radicale_pid" 2>/dev/null; then
      echo "Radicale did not start:" >&2
      cat "$dir/radicale.log" >&2
      radicale_pid=""
      return 1
    fi
    sleep 0.1
  done
  echo "Radicale did not answer within 60 s:" >&2
  cat "$dir/radicale.log" >&2
  return 1
}

stop_radicale() {
  if [ -n "$radicale_pid" ]; then
    kill "$radicale_pid" 2>/dev/null || true
    wait "$radicale_pid" 2>/dev/null || true
    radicale_pid=""
  fi
}
