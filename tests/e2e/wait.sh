# Sourced by the end-to-end scripts. Every wait there is for an event (a window, a file, a
# server that answers, an exit); the guard, GUARD seconds (default 60), only stops a hang.
# wait_until CMD...: runs CMD until it succeeds; status 1 once the guard has passed.
guard_s=${GUARD:-60}
wait_until() {
  local deadline=$((SECONDS + guard_s))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}
