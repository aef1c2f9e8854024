# Shell helpers to drive krogw-host through its standard input and watch its plain
# output; sourced by the demo and the console host's test.
#   host_start OUT COMMAND...   starts COMMAND with stdin from us, stdout into OUT
#   host_send TEXT              one command line
#   host_lines                  lines of output so far (a mark for host_wait)
#   host_wait REGEX SECONDS [MARK]  true once a line after MARK matches
#   host_end SECONDS            closes stdin after "quit" and waits for the exit status
#   gwsim_wait LOG ADDRESS SECONDS  true once the simulator logging into LOG listens there

host_start() {
  host_out=$1
  shift
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  "$@" <"$fifo" >"$host_out" 2>"$host_out.err" &
  host_pid=$!
  exec {host_in}>"$fifo"
  rm -f "$fifo"
}

host_send() {
  echo "$1" >&"$host_in"
}

host_lines() {
  wc -l <"$host_out"
}

host_wait() {
  local regex=$1 seconds=$2 mark=${3:-0}
  local end=$((SECONDS + seconds))
  while [ "$SECONDS" -le "$end" ]; do
    tail -n +"$((mark + 1))" "$host_out" | grep -qE "$regex" && return 0
    kill -0 "$host_pid" 2>/dev/null || break
    sleep 0.2
  done
  tail -n +"$((mark + 1))" "$host_out" | grep -qE "$regex"
}

host_end() {
  local seconds=$1 waited=0
  host_send quit
  exec {host_in}>&-
  while kill -0 "$host_pid" 2>/dev/null && [ "$waited" -lt $((seconds * 5)) ]; do
    sleep 0.2
    waited=$((waited + 1))
  done
  kill "$host_pid" 2>/dev/null || true
  wait "$host_pid"
}

gwsim_wait() {
  local log=$1 address=$2 tenths=$(($3 * 10))
  for _ in $(seq "$tenths"); do
    grep -q "listening on $address" "$log" && return 0
    sleep 0.1
  done
  echo "the simulator does not listen on $address:" >&2
  cat "$log" >&2
  return 1
}
