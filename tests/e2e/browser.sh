#!/usr/bin/env bash
# Stands in for the desktop's web browser during end-to-end runs: opens the
# address it is given in headless chromium through chromedriver and presses
# the page's "Confirm" button, the way a user finishes a sign-in.
# Set E2E_BROWSER_ACTION=deny to press "Deny" instead, and E2E_BROWSER=curl to
# send the button's form with curl instead of chromium (a screen reader on the
# session would read chromium's pages too). Progress lines go to
# $E2E_BROWSER_LOG (default: standard error).
set -u

url=${1:?usage: browser.sh URL}
log=${E2E_BROWSER_LOG:-/dev/stderr}
button=confirm
[ "${E2E_BROWSER_ACTION:-confirm}" = deny ] && button=deny

say() { printf 'browser: %s\n' "$*" >>"$log"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/e2e-browser.XXXXXX") || exit 1
driver_pid=
session=
api=
cleanup() {
    if [ -n "$session" ]; then
        curl -s -m 10 -X DELETE "$api/session/$session" >/dev/null
    fi
    if [ -n "$driver_pid" ]; then
        kill "$driver_pid" 2>/dev/null
        wait "$driver_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Only answers from 127.0.0.1 are wanted; a proxy from the environment would
# send the sign-in page elsewhere.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY

if [ "${E2E_BROWSER:-chromium}" = curl ]; then
    reply=$(curl -s -m 30 -X POST "$url/$button" 2>&1) || { say "posting $button failed: $reply"; exit 1; }
    say "posted $button to $url"
    exit 0
fi

say "opening $url"
chromedriver --port=0 >"$work/driver.log" 2>&1 &
driver_pid=$!
port=
for _ in $(seq 1 100); do
    port=$(sed -n 's/.*started successfully on port \([0-9]*\).*/\1/p' "$work/driver.log")
    [ -n "$port" ] && break
    kill -0 "$driver_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$port" ]; then
    say "chromedriver did not start: $(tr '\n' ' ' <"$work/driver.log")"
    exit 1
fi
api="http://127.0.0.1:$port"

call() { # method path [json body]
    curl -s -m 60 -X "$1" -H 'Content-Type: application/json' ${3:+--data "$3"} "$api$2"
}

args='"--headless=new","--no-sandbox","--disable-gpu","--disable-dev-shm-usage","--no-first-run",'
args+='"--no-default-browser-check","--disable-background-networking","--disable-component-update",'
args+='"--disable-sync","--disable-extensions","--user-data-dir='"$work"'/profile"'
reply=$(call POST /session '{"capabilities":{"alwaysMatch":{"browserName":"chrome",
    "goog:chromeOptions":{"binary":"/usr/bin/chromium","args":['"$args"']}}}}')
session=$(printf '%s' "$reply" | grep -o '"sessionId":"[^"]*"' | cut -d'"' -f4)
if [ -z "$session" ]; then
    say "no browser session: $reply"
    exit 1
fi

# The address is handed over as a JSON string; it comes from the service, so
# quotes and backslashes are escaped rather than trusted.
json_url=$(printf '%s' "$url" | sed 's/\\/\\\\/g; s/"/\\"/g')
call POST "/session/$session/url" "{\"url\":\"$json_url\"}" >/dev/null
reply=$(call POST "/session/$session/element" "{\"using\":\"css selector\",\"value\":\"#$button\"}")
element=$(printf '%s' "$reply" | grep -o '"element-6066-11e4-a52e-4f735466cecf":"[^"]*"' | cut -d'"' -f4)
if [ -z "$element" ]; then
    say "no #$button button on the page: $reply"
    exit 1
fi
call POST "/session/$session/element/$element/click" '{}' >/dev/null
title=$(call GET "/session/$session/title" | grep -o '"value":"[^"]*"' | cut -d'"' -f4)
say "pressed $button, page now: $title"
exit 0
