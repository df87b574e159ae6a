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
  for _ in $(seq 1 100); do
    answers && break
    if ! kill -0 "$service_pid" 2>/dev/null; then
      echo "The sample atlas service did not start." >&2
      service_pid=""
      break
    fi
    sleep 0.05
  done
fi

status=0
"$app" "$@" || status=$?
exit $status
