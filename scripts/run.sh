#!/usr/bin/env bash
# Installs what is missing, builds the application and starts it, with the
# local sample atlas service running beside it (unless the sample service
# already answers on the port). The service stops when the application exits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
# Only what running needs: the application (with the sample atlas and its
# help page; the desktop files are written when the build is configured) and
# the sample service with its data. The test suites and benchmarks are built
# in the same folder by scripts/test.sh.
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release \
  --target Tessary --target sampledata --target sampleservice
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

# What answers the sample service's status request on the port: its reply
# without CRs, empty when nothing answers within 5 s.
status_reply() {
  timeout 5 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$1" || exit 1
    printf "GET /control/status HTTP/1.1\r\nHost: 127.0.0.1:%s\r\nConnection: close\r\n\r\n" "$1" >&3
    head -c 65536 <&3' status "$port" 2>/dev/null | tr -d '\r' || true
}

# Whether a status reply is the sample service's: 200, then the request
# counter and the build number.
sample_status=$'^requests [0-9]+\nbuild [0-9]+\n'
is_sample_service() {
  [[ $1 == "HTTP/1.1 200 "* && $1 == *$'\n\n'* && ${1#*$'\n\n'} =~ $sample_status ]]
}

service_pid=""
stop_service() {
  if [ -n "$service_pid" ]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
}

if answers; then
  reply=$(status_reply)
  if ! is_sample_service "$reply"; then
    if [ -z "$reply" ]; then
      what="gives no reply to the sample service's status request"
    else
      what="answers the sample service's status request with \"${reply%%$'\n'*}\""
      server=$(grep -i -m 1 '^server:' <<<"${reply%%$'\n\n'*}" || true)
      [ -z "$server" ] || what+=" ($server)"
    fi
    echo "Another program listens on 127.0.0.1:$port and $what: it is not the sample atlas service;" \
      "the application is not started." >&2
    exit 1
  fi
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
