#!/usr/bin/env bash
# The kill campaign with the signals a program meets in ordinary life: SIGINT (Ctrl-C),
# SIGTERM (a service manager, kill) and SIGHUP (a closed terminal), one at random each run,
# at random moments; the same checks of what is left (the store sound, the log whole,
# imports all or nothing) and the same reruns, which must finish.
#   stress/signals.sh [--short] [RUNS]   (default 600 runs; --short: 16)
# Last line: "signals: R runs, K signals (I INT, T TERM, H HUP), F integrity failures".
exec "$(dirname "$0")/kill_integrity.sh" --signals "$@"
