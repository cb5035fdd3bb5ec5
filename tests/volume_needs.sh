# Sourced by the volume tests: what they need, and how they say they cannot
# run here (exit 77, a skip; a failure when TARSEL_REQUIRE_VOLUMES is set).
cannot_run() {
    echo "cannot run: $*"
    [ -z "$TARSEL_REQUIRE_VOLUMES" ] || exit 1
    exit 77
}
# needs WHY_ROOT TOOL...
needs() {
    [ "$(id -u)" = 0 ] || cannot_run "needs root ($1)"
    shift
    for tool; do
        command -v "$tool" >/dev/null 2>&1 || cannot_run "$tool is missing (scripts/setup-debian installs it)"
    done
}
