#!/usr/bin/env bash
# Installs what is missing, builds the application and starts it, with the
# local sample atlas service running beside it (unless a service already
# answers on the port). The service stops when the application exits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release
app="$root/build/Nuvaro.app/Contents/MacOS/Tessary"
service="$root/build/sampleservice"
port=${NUVARO_SERVICE_PORT:-8640}
# The application asks the service on this port too while its "Host"
# preference is empty (a stored "Host" is used as it is).
export NUVARO_SERVICE_PORT=$port
echo "Built $app"

answers() {
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null
}

service_pid=""
stop_service() {
  if [ -n "$service_pid" ]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
}

if answers; then
  echo "A service already answers on 127.0.0.1:$port; using it."
else
  "$service" --port "$port" --data "$root/build/sample-service" &
  service_pid=$!
  trap stop_service EXIT
  trap 'exit 130' INT TERM
  # Without the service every search fails: the application starts only once
  # the service answers. The service says itself why it could not start.
  why="did not answer within 10 s"
  for _ in $(seq 1 200); do
    answers && why="" && break
    if ! kill -0 "$service_pid" 2>/dev/null; then
      service_status=0
      wait "$service_pid" || service_status=$?
      service_pid=""
      why="stopped with status $service_status"
      break
    fi
    sleep 0.05
  done
  if [ -n "$why" ]; then
    echo "The sample atlas service on 127.0.0.1:$port $why; the application is not started." >&2
    exit 1
  fi
fi

status=0
"$app" "$@" || status=$?
exit $status
