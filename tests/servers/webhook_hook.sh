#!/bin/sh
# The command of the test's webhook receiver, run once per request with the
# receiver's folder, the request's body, its headers (JSON) and its method.
# It counts the request and notes its time, then does what line n of the plan
# says for request n (the last line again once the plan is used up):
#   accept   keep the request as body.n, headers.n, method.n
#   fail     exit 1, which webhook answers with HTTP 500
#   stall N  answer after N seconds, keeping nothing
dir=$1
n=$(($(cat "$dir/count" 2>/dev/null || echo 0) + 1))
echo "$n" > "$dir/count"
date +%s.%N >> "$dir/times"
step=$(sed -n "${n}p" "$dir/plan")
[ -n "$step" ] || step=$(tail -n 1 "$dir/plan")
case $step in
fail)
  echo "refused by the plan"
  exit 1
  ;;
stall*)
  sleep "${step#stall }"
  exit 0
  ;;
esac
printf '%s' "$3" > "$dir/headers.$n"
printf '%s' "$4" > "$dir/method.$n"
# The body last, whole: its file tells that the request was kept.
printf '%s' "$2" > "$dir/body.$n.tmp" && mv "$dir/body.$n.tmp" "$dir/body.$n"
echo accepted
